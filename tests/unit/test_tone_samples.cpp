#include "platform/ToneSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace kelvo;
using namespace std::chrono_literals;

namespace {

int peakOf(const std::vector<int16_t>& s, size_t from, size_t to)
{
    int peak = 0;
    for (size_t i = from; i < to; ++i)
        peak = std::max(peak, std::abs(int(s[i])));
    return peak;
}

// Rising zero crossings over the whole tone: one per period.
int risingCrossings(const std::vector<int16_t>& s)
{
    int n = 0;
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++n;
    return n;
}

} // namespace

TEST(ToneSamples, SanitizeIgnoresWhatHasNoPitchOrLengthAndClampsHugeDurations)
{
    EXPECT_EQ(sanitizeTone(4000, 5), (ToneRequest{4000, 5}));
    EXPECT_EQ(sanitizeTone(1, 1), (ToneRequest{1, 1}));
    EXPECT_EQ(sanitizeTone(kToneMaxFrequencyHz, 5), (ToneRequest{kToneMaxFrequencyHz, 5}));
    EXPECT_EQ(sanitizeTone(0, 5), std::nullopt);
    EXPECT_EQ(sanitizeTone(-4000, 5), std::nullopt);
    EXPECT_EQ(sanitizeTone(kToneSampleRate / 2, 5), std::nullopt);
    EXPECT_EQ(sanitizeTone(1'000'000, 5), std::nullopt);
    EXPECT_EQ(sanitizeTone(4000, 0), std::nullopt);
    EXPECT_EQ(sanitizeTone(4000, -5), std::nullopt);
    EXPECT_EQ(sanitizeTone(4000, kToneMaxDurationMs + 1), (ToneRequest{4000, kToneMaxDurationMs}));
    EXPECT_EQ(sanitizeTone(4000, 2'000'000'000), (ToneRequest{4000, kToneMaxDurationMs}));
}

TEST(ToneSamples, ToneHasTheLengthPitchAndPeakAskedFor)
{
    for (const auto& [freq, ms] : {std::pair{4000, 5}, {3250, 50}, {440, 200}, {2170, 5}}) {
        SCOPED_TRACE(testing::Message() << freq << " Hz " << ms << " ms");
        const auto s = toneSamples({freq, ms}, 48000, 0.5);
        ASSERT_EQ(s.size(), size_t(48 * ms));
        const int periods = freq * ms / 1000;
        EXPECT_NEAR(risingCrossings(s), periods, 1.0);
        // The middle reaches the peak; nothing anywhere exceeds it.
        EXPECT_NEAR(peakOf(s, s.size() / 4, s.size() * 3 / 4), 0.5 * 32767, 0.02 * 32767);
        EXPECT_LE(peakOf(s, 0, s.size()), int(std::lround(0.5 * 32767)));
    }
    EXPECT_EQ(toneSamples({4000, 10}, 44100).size(), 441u);
}

TEST(ToneSamples, BothEndsFadeSoTheToneDoesNotClick)
{
    const auto s = toneSamples({1000, 20}, 48000, 0.5, 1.0);
    const int full = peakOf(s, s.size() / 4, s.size() * 3 / 4);
    // First and last samples are silent; the first and last fifth of the
    // fade stay well below the peak, and the envelope grows towards the middle.
    EXPECT_EQ(s.front(), 0);
    EXPECT_LE(std::abs(int(s.back())), full / 100);
    EXPECT_LT(peakOf(s, 0, 10), full / 5);
    EXPECT_LT(peakOf(s, s.size() - 10, s.size()), full / 5);
    EXPECT_LT(peakOf(s, 0, 24), peakOf(s, 24, 48));
    EXPECT_GT(peakOf(s, 48, 96), full * 9 / 10);

    // A tone shorter than two fades fades over half of itself each way.
    const auto tiny = toneSamples({4000, 1}, 48000, 0.5, 1.0);
    ASSERT_EQ(tiny.size(), 48u);
    EXPECT_LT(peakOf(tiny, 0, 5), peakOf(tiny, 19, 29));
    EXPECT_LT(peakOf(tiny, 43, 48), peakOf(tiny, 19, 29));
}

TEST(ToneSamples, BacklogAdmitsABurstUpToItsLimitThenDropsUntilPlayedOut)
{
    const auto t0 = std::chrono::steady_clock::time_point{} + 1h;
    auto end = std::chrono::steady_clock::time_point{};
    int admitted = 0;
    for (int i = 0; i < 1000; ++i)
        admitted += admitTone(t0, end, 5, 1000ms);
    // The tone starting exactly at the limit is the last one in.
    EXPECT_EQ(admitted, 201);
    EXPECT_EQ(end, t0 + 1005ms);

    // Once the backlog has played down, beeps are admitted again, queued behind it.
    EXPECT_FALSE(admitTone(t0 + 4ms, end, 5, 1000ms));
    EXPECT_TRUE(admitTone(t0 + 500ms, end, 5, 1000ms));
    EXPECT_EQ(end, t0 + 1010ms);
    // After silence a tone starts now, not at the old end.
    EXPECT_TRUE(admitTone(t0 + 10s, end, 50, 1000ms));
    EXPECT_EQ(end, t0 + 10s + 50ms);
}
