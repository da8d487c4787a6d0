// The reading's texts are made from its numbers when they are needed. They must
// be byte for byte what the decoder used to make on every frame: the reference
// below is that former formatting, kept here as it was.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "core/ChannelReading.h"
#include "link/Format.h"
#include "link/FrameDecoder.h"

using namespace quellon;

namespace {

// ---- the former formatting, unchanged

constexpr double kVoltsPerCount = 0.0491;

std::string oldPowerText(int16_t tenths, bool fiftyWatt) {
    if (fiftyWatt) return format0_0(tenths / 10.0);
    return std::to_string(tenths / 10);
}

std::string oldSwr(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr, double nFwdMin,
                   int16_t pwrRefMax, float& swrValue) {
    if (nDirMax < nFwdMin) {
        swrValue = 0;
        return "---";
    }
    if (pwrRefMax == 0) {
        swrValue = 0;
        return "1";
    }
    if (nDirMax > nRevMax) {
        const double s =
            static_cast<double>(nDirMax + nRevMax) / static_cast<double>(nDirMax - nRevMax);
        const auto value = static_cast<float>(std::floor(s * 10) / 10);
        swrValue = value;
        if (static_cast<float>(maxSwr / 100.0) < value) return "HIG";
        return formatShortest(value);
    }
    swrValue = 6;
    return "HIG";
}

std::string oldVoltage(int16_t count, int16_t voltMult, double nFwdMin) {
    if (!(count > nFwdMin)) return "0";
    const auto factor = static_cast<float>(voltMult / 100.0);
    const auto v = static_cast<float>(static_cast<double>(static_cast<float>(count) * factor) *
                                      kVoltsPerCount);
    if (!std::isfinite(v)) return "0";
    const double tenths = static_cast<double>(v) * 10;
    double r = std::floor(tenths);
    const double diff = tenths - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    return formatShortest(r / 10);
}

std::string oldScaleMult(int16_t mult) { return "x" + formatShortest(mult / 20.0); }

// ---- helpers

ModGlobal withSlots(int16_t voltMult, int16_t pwrMult, double nFwdMin) {
    ModGlobal g;
    g.params.nFwdMin = nFwdMin;
    for (ScaleSlot& s : g.scaleSlots) s = ScaleSlot{voltMult, pwrMult};
    g.reading.channel = "A";
    return g;
}

}  // namespace

TEST(ReadingText, PowerOfEveryTenthsOnBothKindsOfScale) {
    for (int t = INT16_MIN; t <= INT16_MAX; ++t)
        for (bool fifty : {true, false})
            ASSERT_EQ(readingtext::power(static_cast<int16_t>(t), fifty),
                      oldPowerText(static_cast<int16_t>(t), fifty))
                << t << (fifty ? " on 50W" : "");
}

TEST(ReadingText, ScaleMultiplierOfEveryMultiplier) {
    for (int m = INT16_MIN; m <= INT16_MAX; ++m)
        ASSERT_EQ(readingtext::scaleMult(static_cast<int16_t>(m)),
                  oldScaleMult(static_cast<int16_t>(m)))
            << m;
}

TEST(ReadingText, VoltageOfEveryCountOnEveryScaleAndThreshold) {
    // The scale table's multipliers, the start-up default and the 16-bit extremes.
    const int16_t mults[] = {100, 141, 200, 224, 316, 447, 632, 0, 1, -1, INT16_MAX, INT16_MIN};
    for (double nFwdMin : {0.0, 25.0, -40.0})
        for (int16_t m : mults) {
            ModGlobal g = withSlots(m, 20, nFwdMin);
            for (int c = INT16_MIN; c <= INT16_MAX; ++c) {
                const auto count = static_cast<int16_t>(c);
                ASSERT_EQ(computeVoltage(count, g), oldVoltage(count, m, nFwdMin))
                    << "count " << c << " mult " << m << " nFwdMin " << nFwdMin;
            }
        }
}

TEST(ReadingText, SwrOverTheCountRangeThresholdsAndReflection) {
    struct Case {
        int16_t maxSwr;
        double nFwdMin;
        int16_t pwrRefMax;
    };
    // 110: the alarm compares floats, so 1.1 against a threshold of 1.10 is no alarm.
    const Case cases[] = {{300, 25, 7}, {150, 0, 1},        {0, 0, 5},   {-1, 0, 9},
                          {110, 0, 5},  {INT16_MAX, 10, 3}, {250, 25, 0}};
    // Every forward count against a spread of reflected ones, and a grid of both.
    auto check = [&](const Case& k, int dir, int rev) {
        ModGlobal g = withSlots(141, 20, k.nFwdMin);
        g.reading.pwrRefMax = k.pwrRefMax;
        float oldValue = -1;
        const std::string want = oldSwr(static_cast<int16_t>(dir), static_cast<int16_t>(rev),
                                        k.maxSwr, k.nFwdMin, k.pwrRefMax, oldValue);
        ASSERT_EQ(computeSwr(static_cast<int16_t>(dir), static_cast<int16_t>(rev), k.maxSwr, g),
                  want)
            << dir << "/" << rev << " max " << k.maxSwr;
        ASSERT_EQ(g.reading.swrValue, oldValue) << dir << "/" << rev;
    };
    for (const Case& k : cases) {
        for (int dir = 0; dir <= INT16_MAX; ++dir)
            for (int rev : {0, 1, dir / 3, dir / 2, dir - 1, dir, dir + 1, INT16_MAX})
                if (rev >= 0 && rev <= INT16_MAX) check(k, dir, rev);
        for (int dir = 0; dir <= INT16_MAX; dir += 97)
            for (int rev = 0; rev <= INT16_MAX; rev += 89) check(k, dir, rev);
    }
}

// Whole frames: every text of the decoded reading, made on demand, against the
// former eager formatting of the same frame.
TEST(ReadingText, RandomFramesOnEveryScaleMatchTheFormerTexts) {
    std::mt19937 rng(18);
    std::uniform_int_distribution<int> field(0, 32767), small(0, 1100), scale(0, 4);
    const std::array<std::array<int16_t, 2>, 5> slots{
        {{100, 10}, {141, 20}, {447, 200}, {632, 400}, {224, 50}}};
    for (int i = 0; i < 200000; ++i) {
        const auto& s = slots[static_cast<size_t>(i) % slots.size()];
        ModGlobal g = withSlots(s[0], s[1], i % 3 ? 25 : 0);
        g.params.MaxSwrA = 300;
        g.params.MaxSwrB = 150;
        std::array<uint8_t, kFrameLength> f{};
        f[0] = ':';
        f[1] = i % 2 ? 'A' : 'B';
        for (int k = 0; k < 6; ++k) {
            // Mostly counts of a real line, sometimes anything a field can hold.
            const int v = (i % 7 == 0) ? field(rng) : small(rng);
            f[2 + 2 * k] = static_cast<uint8_t>(v & 0xFF);
            f[3 + 2 * k] = static_cast<uint8_t>(v >> 8);
        }
        f[18] = static_cast<uint8_t>(scale(rng));
        f[19] = '\r';
        try {
            decodeFrame(f.data(), g);
        } catch (const FrameError&) {
            continue;  // a power beyond 16 bits: no texts either way
        }
        const ChannelReading& r = g.reading.withTexts();
        const bool fifty = s[1] == 10;
        float oldValue = 0;
        const std::array<std::string, 8> want{oldPowerText(r.pwrDir, fifty),
                                              oldPowerText(r.pwrRef, fifty),
                                              oldPowerText(r.pwrDirMax, fifty),
                                              oldPowerText(r.pwrRefMax, fifty),
                                              oldSwr(r.nDirMax, r.nRevMax, f[1] == 'A' ? 300 : 150,
                                                     g.params.nFwdMin, r.pwrRefMax, oldValue),
                                              oldVoltage(r.nDirMax, s[0], g.params.nFwdMin),
                                              oldVoltage(r.nRevMax, s[0], g.params.nFwdMin),
                                              oldScaleMult(s[1])};
        const std::array<std::string, 8> got{r.pwrDirText,    r.pwrRefText,   r.pwrDirMaxText,
                                             r.pwrRefMaxText, r.swrText,      r.voltDirText,
                                             r.voltRefText,   r.scaleMultText};
        ASSERT_EQ(got, want) << "frame " << i;
        ASSERT_EQ(r.swrValue, oldValue) << "frame " << i;
    }
}

// A reading filled by hand keeps its texts; a decoded one makes them once.
TEST(ReadingText, HandFilledTextsStayAndDecodedOnesAreMadeOnce) {
    ChannelReading hand;
    hand.swrText = "HIG";
    hand.pwrDirText = "87";
    EXPECT_EQ(hand.withTexts().swrText, "HIG");
    EXPECT_EQ(hand.swrTextNow(), "HIG");
    EXPECT_EQ(hand.pwrDirText, "87");

    ModGlobal g = withSlots(141, 20, 25);
    g.params.MaxSwrA = 300;
    std::array<uint8_t, kFrameLength> f{':', 'A'};
    f[2] = 200;  // nDir
    f[6] = 200;  // nDirMax, no reflection
    f[10] = 40;  // pwrDirMax
    f[19] = '\r';
    decodeFrame(f.data(), g);
    EXPECT_TRUE(g.reading.textsStale);
    EXPECT_EQ(g.reading.swrTextNow(), "1");
    EXPECT_EQ(g.reading.withTexts().pwrDirMaxText, "4");
    EXPECT_FALSE(g.reading.textsStale);
    g.reading.pwrDirMaxText = "changed by hand";
    EXPECT_EQ(g.reading.withTexts().pwrDirMaxText, "changed by hand");
}
