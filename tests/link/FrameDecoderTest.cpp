#include <gtest/gtest.h>

#include <array>

#include "link/FrameDecoder.h"
#include "link/ScaleCodes.h"

namespace quellon {
namespace {

using Counts = std::array<int, 6>;  // nDir, nRev, nDirMax, nRevMax, pwrDirMax, pwrRefMax
using LogData = std::array<int16_t, 9>;

std::array<uint8_t, kFrameLength> makeFrame(char channel, const Counts& c, uint8_t frameScale) {
    std::array<uint8_t, kFrameLength> f{':', static_cast<uint8_t>(channel)};
    for (size_t i = 0; i < 6; ++i) {
        f[2 + 2 * i] = static_cast<uint8_t>(c[i] & 0xFF);
        f[3 + 2 * i] = static_cast<uint8_t>((c[i] >> 8) & 0xFF);
    }
    f[18] = frameScale;
    f[19] = '\r';
    return f;
}

class Decoder : public ::testing::Test {
protected:
    Decoder() {
        g.params.nFwdMin = 25;
        g.params.MaxSwrA = g.params.MaxSwrB = 300;
        setSlot(SlotA1, "0");  // 50W
        setSlot(SlotA2, "4");  // 1KW
        setSlot(SlotB1, "1");  // 100W
        setSlot(SlotB2, "5");  // 2KW
    }
    void setSlot(SlotIndex slot, const char* code) {
        const ScaleRow row = getScaleByCode(code);
        g.scaleSlots[slot] = ScaleSlot{row.voltMult, row.pwrMult};
    }
    void decode(char channel, const Counts& c, uint8_t frameScale) {
        decodeFrame(makeFrame(channel, c, frameScale).data(), g);
    }
    ModGlobal g;
};

TEST_F(Decoder, ComputePower) {
    g.reading.channel = "A";
    EXPECT_EQ(computePower(1018, 1, g), 499);  // M = 10
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 500);
    g.reading.channel = "B";
    EXPECT_EQ(computePower(1018, 0, g), 999);  // M = 20
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 1000);
    computePower(500, 2, g);
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 50.0 * 400);
    // The threshold is strict, and a count at it leaves the full scale alone.
    EXPECT_EQ(computePower(25, 0, g), 0);
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 50.0 * 400);
    EXPECT_GT(computePower(26, 2, g), 0);
    // Too large for sixteen bits is a frame error, not an overflow.
    EXPECT_EQ(computePower(1023, 3, g), 20187);  // largest real count on "2KW"
    EXPECT_THROW(computePower(1400, 3, g), FrameError);
    EXPECT_THROW(decode('A', {32767, 0, 0, 0, 0, 0}, 3), FrameError);
    EXPECT_EQ(g.reading.nDir, 32767);
}

// clang-format off
TEST_F(Decoder, ComputeVoltageRoundsTheFloatValue) {
    // 500 x 0.0491 = 24.55 is the float 24.549999..: below the half; 750 x 2.00 x 0.0491 =
    // 73.65 is 73.650002..: above it. "1KW": 1000 x 4.47 x 0.0491 = 219.477.
    struct Row { int frameScale; const char* slotA1; double nFwdMin; int16_t count; const char* v;
    };
    const Row rows[] = {
        {0, "0", 25, 1018, "50"}, {0, "0", 25, 1000, "49.1"}, {0, "0", 25, 25, "0"},
        {0, "0", 25, 26, "1.3"}, {2, "0", 25, 1000, "219.5"}, {0, "0", 25, 500, "24.5"},
        {0, "2", 25, 750, "73.7"}, {0, "0", -1, 0, "0"}, {0, "0", -1, 1, "0"},
        {0, "0", -1, 2, "0.1"}, {0, "0", -1, 3, "0.1"}};
    g.reading.channel = "A";
    for (const Row& r : rows) {
        g.reading.frameScale = r.frameScale;
        setSlot(SlotA1, r.slotA1);
        g.params.nFwdMin = r.nFwdMin;
        EXPECT_EQ(computeVoltage(r.count, g), r.v) << r.count;
    }
}

TEST_F(Decoder, ComputeSwr) {
    // Alarm only above the threshold, compared as floats (1.1 against 1.10: equal); the
    // ratio truncated to one decimal; nDirMax equal to nFwdMin still computes; no
    // reflected peak power gives "1".
    struct Row { int16_t dir, rev, maxSwr, pwrRefMax; const char* text; float value; };
    const Row rows[] = {
        {300, 100, 300, 5, "2", 2}, {500, 100, 300, 5, "1.5", 1.5f}, {200, 100, 300, 5, "3", 3},
        {41, 21, 300, 5, "HIG", 3.1f}, {41, 21, 310, 5, "3.1", 3.1f}, {1000, 10, 300, 5, "1", 1},
        {210, 10, 110, 5, "1.1", 1.1f}, {1000, 300, 300, 5, "1.8", 1.8f}, {24, 0, 300, 5, "---", 0},
        {25, 0, 300, 5, "1", 1}, {300, 299, 300, 0, "1", 0}, {300, 300, 32767, 1, "HIG", 6},
        {300, 900, 32767, 1, "HIG", 6}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.dir << "/" << r.rev << "/" << r.maxSwr);
        g.reading.pwrRefMax = r.pwrRefMax;
        EXPECT_EQ(computeSwr(r.dir, r.rev, r.maxSwr, g), r.text);
        EXPECT_FLOAT_EQ(g.reading.swrValue, r.value);
    }
}

TEST_F(Decoder, ScaleTableRoundTripFallbackAndMultText) {
    struct Row { const char* code; const char* text; int16_t volt, pwr; const char* mult; };
    const Row rows[] = {
        {"0", "50W", 100, 10, "x0.5"}, {"1", "100W", 141, 20, "x1"}, {"2", "200W", 200, 40, "x2"},
        {"3", "500W", 316, 100, "x5"}, {"4", "1KW", 447, 200, "x10"}, {"5", "2KW", 632, 400, "x20"},
        {"7", "250W", 224, 50, "x2.5"}};
    for (const Row& e : rows) {
        SCOPED_TRACE(e.code);
        const ScaleRow row = getScaleByCode(e.code);
        EXPECT_EQ(row.text + " " + std::to_string(row.voltMult) + " " + std::to_string(row.pwrMult),
                  e.text + (" " + std::to_string(e.volt)) + " " + std::to_string(e.pwr));
        EXPECT_EQ(getScaleCode(row.text), e.code);
        setSlot(SlotB2, e.code);
        decode('B', {}, 2);
        EXPECT_EQ(g.reading.scaleMultText, e.mult);
    }
    // Unknown codes and texts fall back to "100W".
    for (const char* code : {"6", "x", "", "00", " 0", "8"}) {
        const ScaleRow row = getScaleByCode(code);
        EXPECT_EQ(row.text + " " + std::to_string(row.voltMult) + " " + std::to_string(row.pwrMult),
                  "100W 141 20") << code;
    }
    for (const char* text : {"300W", "100w", "1kW", " 50W", "", "50W "})
        EXPECT_EQ(getScaleCode(text), "1") << text;
}

TEST_F(Decoder, FullFrameOfChannelAOnScale1) {
    decode('A', {1018, 500, 1018, 100, 499, 12}, 1);
    const ChannelReading& r = g.reading;
    EXPECT_EQ(r.channel + std::to_string(r.frameScale), "A1");
    // pwrRef 250000 x 10 / 20736; "50W" texts have one decimal; SWR 1118 / 918 = 1.217.
    EXPECT_EQ((std::array<int, 8>{r.nDir, r.nRev, r.nDirMax, r.nRevMax, r.pwrDir, r.pwrRef,
                                  r.pwrDirMax, r.pwrRefMax}),
              (std::array<int, 8>{1018, 500, 1018, 100, 499, 120, 499, 12}));
    EXPECT_EQ((std::array<std::string, 8>{r.pwrDirText, r.pwrRefText, r.pwrDirMaxText,
              r.pwrRefMaxText, r.swrText, r.voltDirText, r.voltRefText, r.scaleMultText}),
              (std::array<std::string, 8>{"49.9", "12.0", "49.9", "1.2", "1.2", "50", "4.9",
                                          "x0.5"}));
    EXPECT_DOUBLE_EQ(r.fullScalePower, 500);
    EXPECT_EQ(g.logData, (LogData{499, 120, 499, 12, 0, 0, 0, 0, 0}));

    decode('A', {25, 10, 20, 0, 0, 0}, 0);  // below the threshold: zeros
    EXPECT_EQ(r.pwrDir + r.pwrRef, 0);
    EXPECT_EQ(r.pwrDirText + r.swrText + r.voltDirText, "0.0---0");
}
// clang-format on

TEST_F(Decoder, FrameScaleTwoAndAboveSelectScale2) {
    for (uint8_t fs : {0, 1, 2, 3, 200}) {
        SCOPED_TRACE(static_cast<int>(fs));
        const bool scale2 = fs >= 2;  // A2 "1KW": M = 200, whole watts truncated
        decode('A', {1018, 0, 1000, 0, 9999, 0}, fs);
        EXPECT_EQ(g.reading.pwrDir, scale2 ? 9995 : 499);
        EXPECT_EQ(g.reading.pwrDirMaxText, scale2 ? "999" : "999.9");
        EXPECT_EQ(g.reading.voltDirText, scale2 ? "219.5" : "49.1");
        EXPECT_EQ(g.reading.scaleMultText, scale2 ? "x10" : "x0.5");
        EXPECT_DOUBLE_EQ(g.reading.fullScalePower, scale2 ? 10000 : 500);
    }
}

TEST_F(Decoder, OtherChannelBytesUseChannelB) {
    g.params.MaxSwrB = 150;
    for (char ch : {'B', 'a', 'Z', '\0'}) {
        SCOPED_TRACE(static_cast<int>(ch));
        g.logData = {};
        decode(ch, {1018, 100, 600, 200, 999, 50}, 0);  // B1 "100W"
        EXPECT_EQ(g.reading.channel, std::string(1, ch));
        EXPECT_EQ(g.reading.pwrDirText, "99");
        EXPECT_EQ(g.reading.swrText, "HIG");  // 2.0 above B's 1.50
        EXPECT_EQ(g.reading.scaleMultText, "x1");
        EXPECT_EQ(g.logData, (LogData{0, 0, 0, 0, 999, 9, 999, 50, 0}));
    }
    decode('A', {1018, 100, 600, 200, 999, 50}, 0);
    EXPECT_EQ(g.reading.swrText, "2");  // A's threshold 3.00
}

TEST_F(Decoder, FieldAbove32767IsAFrameErrorKeepingEarlierFields) {
    decode('A', {100, 100, 100, 50, 10, 10}, 0);
    const std::string oldText = g.reading.pwrDirText;
    auto f = makeFrame('B', {300, 0, 0, 0, 0, 0}, 2);
    f[5] = 0x80;  // nRev high byte
    EXPECT_THROW(decodeFrame(f.data(), g), FrameError);
    EXPECT_EQ(g.reading.channel + std::to_string(g.reading.frameScale), "B2");
    EXPECT_EQ(g.reading.nDir, 300);
    EXPECT_EQ(g.reading.nRev, 100);  // not decoded: old value
    EXPECT_EQ(g.reading.pwrDirText, oldText);
    EXPECT_EQ(g.logData[4], 0);

    f = makeFrame('A', {300, 30, 400, 40, 0, 0}, 0);
    f[13] = 0xFF;  // pwrRefMax
    EXPECT_THROW(decodeFrame(f.data(), g), FrameError);
    EXPECT_EQ(g.reading.nRevMax, 40);
    EXPECT_EQ(g.reading.pwrDir, 43);  // computed before the bad field
    EXPECT_EQ(g.reading.pwrDirMax, 0);

    EXPECT_NO_THROW(decode('A', {0, 0, 0, 0, 0x7FFF, 0}, 0));  // still a value
    EXPECT_EQ(g.reading.pwrDirMax, 32767);
}

}  // namespace
}  // namespace quellon
