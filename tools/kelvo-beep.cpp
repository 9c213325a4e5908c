// Plays tones through the same tone backend the keyboard uses:
//   kelvo-beep [--gap MS] FREQ MS [FREQ MS ...]
// one after the other, and exits once they have played. With --gap each tone
// is asked for only after the one before has played and MS more have passed,
// the way the keyboard beeps once per keystroke. Without a sound server it
// says so on one line and still exits 0, as the keyboard stays silent.

#include "platform/ToneSamples.h"
#include "platform/pulse/PulseTone.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxGapMs = 60000;

int usage(const char* problem, int position, const char* argument)
{
    if (problem)
        std::fprintf(stderr, "kelvo-beep: argument %d \"%s\": %s\n", position, argument, problem);
    std::fprintf(stderr,
                 "usage: kelvo-beep [--gap MS] FREQ MS [FREQ MS ...]\n"
                 "  FREQ: whole hertz, 1 to %d; MS: whole milliseconds, 1 to %d\n"
                 "  --gap MS: wait until each tone has played, then MS (0 to %d), before the next\n",
                 kelvo::kToneMaxFrequencyHz, kelvo::kToneMaxDurationMs, kMaxGapMs);
    return 2;
}

bool parseInRange(std::string_view text, int low, int high, int& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= low && value <= high;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    int gapMs = -1; // none: queue every tone at once
    if (argc > 1 && std::string_view(argv[1]) == "--gap") {
        if (argc < 3)
            return usage("needs a number of milliseconds after it", 1, argv[1]);
        if (!parseInRange(argv[2], 0, kMaxGapMs, gapMs))
            return usage("not a gap in range", 2, argv[2]);
        first = 3;
    }
    if (argc <= first)
        return usage(nullptr, 0, "");
    if ((argc - first) % 2 != 0)
        return usage("a frequency needs a duration after it", argc - 1, argv[argc - 1]);

    std::vector<kelvo::ToneRequest> tones;
    for (int i = first; i + 1 < argc; i += 2) {
        int frequency = 0, duration = 0;
        if (!parseInRange(argv[i], 1, kelvo::kToneMaxFrequencyHz, frequency))
            return usage("not a frequency in range", i, argv[i]);
        if (!parseInRange(argv[i + 1], 1, kelvo::kToneMaxDurationMs, duration))
            return usage("not a duration in range", i + 1, argv[i + 1]);
        tones.push_back({frequency, duration});
    }
    std::chrono::milliseconds total{0};
    for (const auto& t : tones)
        total += std::chrono::milliseconds(t.durationMs);

    // Every tone asked for is played, however long the list.
    kelvo::PulseTone tone(total + kelvo::kToneMaxBacklog);
    // Generous: the tones themselves plus the backend's own connect and stall limits.
    const auto limit = total + std::chrono::seconds(30);
    bool played = true;
    for (const auto& t : tones) {
        tone.beep(t.frequencyHz, t.durationMs);
        if (gapMs >= 0 && &t != &tones.back()) {
            played = played && tone.waitUntilPlayed(limit);
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }
    if (!(played && tone.waitUntilPlayed(limit))) {
        std::fprintf(stderr, "kelvo-beep: the tones did not finish in time\n");
        return 1;
    }
    return 0;
}
