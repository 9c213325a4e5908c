#pragma once
// The pure parts of the tone: which requests are played, the samples of one
// tone, and how far behind the player may fall before beeps are dropped.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvo {

// Sample rate of every tone; the sound server resamples where it must.
inline constexpr int kToneSampleRate = 48000;

// Longest tone played; longer requests are clamped to it.
inline constexpr int kToneMaxDurationMs = 5000;

// Highest frequency played: just below the Nyquist frequency of kToneSampleRate.
inline constexpr int kToneMaxFrequencyHz = kToneSampleRate / 2 - 1;

// How much not-yet-played tone may wait; a beep beyond it is dropped, since a
// keystroke beep that sounds a second late is worse than none.
inline constexpr std::chrono::milliseconds kToneMaxBacklog{1000};

// A tone as it will be played.
struct ToneRequest {
    int frequencyHz;
    int durationMs;
    bool operator==(const ToneRequest&) const = default;
};

// The tone played for beep(frequencyHz, durationMs): none for a frequency
// outside 1..kToneMaxFrequencyHz or a duration <= 0 (ignored, since no pitch
// or length is a sensible stand-in), the duration clamped to kToneMaxDurationMs.
std::optional<ToneRequest> sanitizeTone(int frequencyHz, int durationMs);

// Mono 16-bit samples of a sine tone at sampleRate, at peak amplitude
// (0..1 of full scale), faded in and out over fadeMs (raised cosine, at most
// half the tone each) so that neither end clicks.
std::vector<int16_t> toneSamples(const ToneRequest& tone, int sampleRate,
                                 double amplitude = 0.4, double fadeMs = 1.0);

// Decides whether a tone of durationMs asked for at now still fits the
// backlog; if it does, moves backlogEnd (when everything admitted so far will
// have played) past it and returns true.
bool admitTone(std::chrono::steady_clock::time_point now,
               std::chrono::steady_clock::time_point& backlogEnd, int durationMs,
               std::chrono::milliseconds maxBacklog = kToneMaxBacklog);

} // namespace kelvo
