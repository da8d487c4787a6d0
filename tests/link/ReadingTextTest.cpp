// The reading's texts, made from its numbers when they are needed: each row is a
// boundary of one rule with the text the display and the log must show.

#include <gtest/gtest.h>

#include "core/ChannelReading.h"
#include "link/FrameDecoder.h"

using namespace quellon;

namespace {

BridgeState withSlots(int16_t voltMult, int16_t pwrMult, double nFwdMin) {
    BridgeState g;
    g.params.nFwdMin = nFwdMin;
    for (ScaleSlot& s : g.scaleSlots) s = ScaleSlot{voltMult, pwrMult};
    return g;
}

ChannelReading channelA() {
    ChannelReading r;
    r.channel = "A";
    return r;
}

}  // namespace

// One decimal on the 50 W scale, else whole watts truncated toward zero.
TEST(ReadingText, Power) {
    const std::tuple<int16_t, const char*, const char*> rows[] = {
        {0, "0.0", "0"},     {1, "0.1", "0"},           {-1, "-0.1", "0"},
        {9, "0.9", "0"},     {-9, "-0.9", "0"},         {10, "1.0", "1"},
        {-10, "-1.0", "-1"}, {32767, "3276.7", "3276"}, {-32768, "-3276.8", "-3276"}};
    for (const auto& [tenths, fifty, whole] : rows) {
        EXPECT_EQ(readingtext::power(tenths, true), fifty) << tenths;
        EXPECT_EQ(readingtext::power(tenths, false), whole) << tenths;
    }
}

TEST(ReadingText, ScaleMultiplier) {
    const std::pair<int16_t, const char*> rows[] = {
        {20, "x1"},   {10, "x0.5"}, {45, "x2.25"}, {0, "x0"},           {1, "x0.05"},
        {3, "x0.15"}, {7, "x0.35"}, {-20, "x-1"},  {32767, "x1638.35"}, {-32768, "x-1638.4"}};
    for (const auto& [mult, want] : rows) EXPECT_EQ(readingtext::scaleMult(mult), want) << mult;
}

// Volts of a count: 0 at or below nFwdMin, one decimal, halves to the even tenth.
TEST(ReadingText, Voltage) {
    const std::tuple<int16_t, int16_t, double, const char*> rows[] = {
        {25, 141, 25, "0"},
        {26, 141, 25, "1.8"},
        {-5, 141, -40, "-0.3"},
        {-41, 141, -40, "0"},
        {100, 0, 0, "0"},
        {100, -100, 0, "-4.9"},
        {2500, 100, 0, "122.8"},  // 122.75: up to even
        {7500, 100, 0, "368.2"},  // 368.25: down to even
        {32767, 32767, 0, "527175.1"},
        {-32768, 32767, -40000, "-527191.2"}};
    for (const auto& [count, mult, nFwdMin, want] : rows) {
        const BridgeState g = withSlots(mult, 20, nFwdMin);
        EXPECT_EQ(computeVoltage(count, inputsOf(g), channelA()), want)
            << count << " x" << mult << " above " << nFwdMin;
    }
}

// SWR of the peak counts: "---" below nFwdMin, "1" without reflected power, the
// value floored to a tenth, "HIG" above the threshold (a float comparison: 1.1 is
// not above 1.10) or when nothing goes forward.
TEST(ReadingText, Swr) {
    const std::tuple<int16_t, int16_t, int16_t, double, int16_t, const char*, float> rows[] = {
        {24, 0, 300, 25, 7, "---", 0},     {25, 0, 300, 25, 7, "1", 1},
        {100, 0, 300, 0, 0, "1", 0},       {100, 50, 300, 0, 5, "3", 3},
        {200, 99, 300, 0, 5, "2.9", 2.9f}, {100, 52, 300, 0, 5, "HIG", 3.1f},
        {210, 10, 110, 0, 5, "1.1", 1.1f}, {300, 100, 200, 0, 5, "2", 2},
        {100, 10, 0, 0, 5, "HIG", 1.2f},   {100, 100, 300, 0, 5, "HIG", 6},
        {0, 0, 300, 0, 5, "HIG", 6},       {1, 0, 300, 0, 5, "1", 1},
        {32767, 0, 32767, 10, 3, "1", 1},  {32767, 32766, 32767, 10, 3, "HIG", 65533}};
    for (const auto& [dir, rev, maxSwr, nFwdMin, pwrRefMax, want, value] : rows) {
        const BridgeState g = withSlots(141, 20, nFwdMin);
        ChannelReading reading = channelA();
        reading.pwrRefMax = pwrRefMax;
        EXPECT_EQ(computeSwr(dir, rev, maxSwr, g.params, reading), want) << dir << "/" << rev;
        EXPECT_EQ(reading.swrValue, value) << dir << "/" << rev;
    }
}

// Texts filled in by hand stay; the decoder's are made once (FrameDecoderTest).
TEST(ReadingText, HandFilledTextsStay) {
    ChannelReading hand;
    hand.swrText = "HIG";
    hand.pwrDirText = "87";
    EXPECT_EQ(hand.withTexts().swrText, "HIG");
    EXPECT_EQ(hand.swrTextNow(), "HIG");
    EXPECT_EQ(hand.pwrDirText, "87");
}
