// The reading's texts, made from its numbers when they are needed: the edges
// of each rule, worked out by hand (the rules at ordinary counts, and a whole
// frame's texts: FrameDecoderTest).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/ChannelReading.h"
#include "link/Format.h"
#include "link/FrameDecoder.h"

using namespace quellon;

namespace {

ModGlobal withSlots(int16_t voltMult, int16_t pwrMult, double nFwdMin) {
    ModGlobal g;
    g.params.nFwdMin = nFwdMin;
    for (ScaleSlot& s : g.scaleSlots) s = ScaleSlot{voltMult, pwrMult};
    g.reading.channel = "A";
    return g;
}

}  // namespace

// clang-format off
TEST(ReadingText, EdgesOfEachText) {
    // Whole watts are cut toward zero; "50W" texts keep one decimal.
    struct P { int16_t tenths; bool fifty; const char* text; };
    for (const P& r : {P{9, false, "0"}, P{-19, false, "-1"}, P{INT16_MAX, false, "3276"},
                       P{INT16_MIN, false, "-3276"}, P{0, true, "0.0"}, P{-5, true, "-0.5"},
                       P{INT16_MAX, true, "3276.7"}, P{INT16_MIN, true, "-3276.8"}})
        EXPECT_EQ(readingtext::power(r.tenths, r.fifty), r.text) << r.tenths << " " << r.fifty;

    struct M { int16_t mult; const char* text; };
    for (const M& r : {M{20, "x1"}, M{10, "x0.5"}, M{1, "x0.05"}, M{0, "x0"}, M{-1, "x-0.05"},
                       M{INT16_MAX, "x1638.35"}})
        EXPECT_EQ(readingtext::scaleMult(r.mult), r.text) << r.mult;

    // Volts: nothing at or below the threshold (which may be negative), one
    // decimal rounded half to even from the float value.
    struct V { int16_t mult; double nFwdMin; int16_t count; const char* text; };
    for (const V& r : {V{100, 25, 25, "0"}, V{100, -40, -40, "0"}, V{100, -40, -39, "-1.9"},
                       V{0, 0, 500, "0"}, V{100, 0, INT16_MAX, "1608.9"},
                       V{INT16_MIN, 0, INT16_MAX, "-527191.1"}}) {
        ModGlobal g = withSlots(r.mult, 20, r.nFwdMin);
        EXPECT_EQ(computeVoltage(r.count, g), r.text) << r.count << " x" << r.mult;
    }

    // SWR: reflected at or above forward is "HIG" with 6; a threshold of zero or
    // below sounds the alarm on every ratio.
    struct S { int16_t dir, rev, maxSwr; const char* text; float value; };
    for (const S& r : {S{300, 300, 300, "HIG", 6}, S{300, INT16_MAX, 300, "HIG", 6},
                       S{300, 0, 0, "HIG", 1}, S{300, 0, -1, "HIG", 1},
                       S{INT16_MAX, 0, INT16_MAX, "1", 1}, S{1000, 990, INT16_MAX, "199", 199},
                       S{INT16_MAX, INT16_MAX - 1, INT16_MAX, "HIG", 65533}}) {
        ModGlobal g = withSlots(141, 20, 25);
        g.reading.pwrRefMax = 7;
        EXPECT_EQ(computeSwr(r.dir, r.rev, r.maxSwr, g), r.text) << r.dir << "/" << r.rev;
        EXPECT_EQ(g.reading.swrValue, r.value) << r.dir << "/" << r.rev;
    }
}
// clang-format on

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
