#include "platform/ToneSamples.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelvo {

std::optional<ToneRequest> sanitizeTone(int frequencyHz, int durationMs)
{
    if (frequencyHz <= 0 || frequencyHz > kToneMaxFrequencyHz || durationMs <= 0)
        return std::nullopt;
    return ToneRequest{frequencyHz, std::min(durationMs, kToneMaxDurationMs)};
}

std::vector<int16_t> toneSamples(const ToneRequest& tone, int sampleRate, double amplitude,
                                 double fadeMs)
{
    const auto count = static_cast<size_t>(int64_t(sampleRate) * tone.durationMs / 1000);
    std::vector<int16_t> samples(count);
    if (count == 0)
        return samples;

    const double peak = std::clamp(amplitude, 0.0, 1.0) * 32767.0;
    const double step = 2.0 * std::numbers::pi * tone.frequencyHz / sampleRate;
    const size_t fade = std::min(count / 2, static_cast<size_t>(fadeMs * sampleRate / 1000.0));
    for (size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const size_t fromEdge = std::min(i, count - 1 - i);
        if (fromEdge < fade)
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * double(fromEdge) / double(fade));
        samples[i] = static_cast<int16_t>(std::lround(peak * gain * std::sin(step * double(i))));
    }
    return samples;
}

bool admitTone(std::chrono::steady_clock::time_point now,
               std::chrono::steady_clock::time_point& backlogEnd, int durationMs,
               std::chrono::milliseconds maxBacklog)
{
    const auto start = std::max(now, backlogEnd);
    if (start - now > maxBacklog)
        return false;
    backlogEnd = start + std::chrono::milliseconds(durationMs);
    return true;
}

} // namespace kelvo
