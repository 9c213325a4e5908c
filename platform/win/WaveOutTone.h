#pragma once
// The tone on Windows through waveOut, in plain Win32 (no Qt). beep() only
// queues; a worker thread owns the output device, opened on the first beep
// and kept for later ones, and plays the queued tones one after another.
// Without an output device the beeps are silent and one line says so
// (reportLine: standard error when there is one, and the debugger's output).

#include "platform/Tone.h"
#include "platform/ToneSamples.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace kelvo {

class WaveOutTone final : public Tone {
public:
    // maxBacklog: how much unplayed tone may wait before further beeps are dropped.
    explicit WaveOutTone(std::chrono::milliseconds maxBacklog = kToneMaxBacklog);
    // Stops the worker, cutting short the tone that plays and dropping the queued ones.
    ~WaveOutTone() override;
    WaveOutTone(const WaveOutTone&) = delete;
    WaveOutTone& operator=(const WaveOutTone&) = delete;

    // Queues the tone and returns at once; see sanitizeTone() for what is refused.
    void beep(int frequencyHz, int durationMs) override;

    // Blocks until every tone queued so far has played or been dropped, or
    // until timeout; returns false on timeout.
    bool waitUntilPlayed(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // The samples (at kToneSampleRate) the device has reported played, all
    // tones together: what a tone's length came to at the output.
    std::uint64_t samplesPlayed();

private:
    void run();
    void play(const ToneRequest& tone);
    bool openDevice();

    std::mutex mutex_;
    std::condition_variable changed_;          // a tone queued, played, or stopping
    std::deque<ToneRequest> queue_;            // not yet taken by the worker
    int outstanding_ = 0;                      // queued or playing, not yet finished
    bool stopping_ = false;
    const std::chrono::milliseconds maxBacklog_;
    std::chrono::steady_clock::time_point backlogEnd_{};
    std::uint64_t samplesPlayed_ = 0;
    std::thread thread_;

    // The worker's own.
    void* device_ = nullptr;                   // HWAVEOUT, null until opened
    void* done_ = nullptr;                     // event the device sets as a buffer finishes
    std::chrono::steady_clock::time_point retryAt_{};
    bool reported_ = false;                    // the missing device has been reported
};

} // namespace kelvo
