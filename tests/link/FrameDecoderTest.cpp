#include <gtest/gtest.h>

#include <array>

#include "link/FrameDecoder.h"
#include "link/ScaleCodes.h"

namespace quellon {
namespace {

struct Counts {
    int nDir = 0, nRev = 0, nDirMax = 0, nRevMax = 0, pwrDirMax = 0, pwrRefMax = 0;
};

std::array<uint8_t, kFrameLength> makeFrame(char channel, const Counts& c, uint8_t frameScale) {
    std::array<uint8_t, kFrameLength> f{};
    f[0] = ':';
    f[1] = static_cast<uint8_t>(channel);
    const int values[] = {c.nDir, c.nRev, c.nDirMax, c.nRevMax, c.pwrDirMax, c.pwrRefMax};
    for (size_t i = 0; i < 6; ++i) {
        f[2 + 2 * i] = static_cast<uint8_t>(values[i] & 0xFF);
        f[3 + 2 * i] = static_cast<uint8_t>((values[i] >> 8) & 0xFF);
    }
    f[18] = frameScale;
    f[19] = '\r';
    return f;
}

void setSlot(ModGlobal& g, SlotIndex slot, const char* code) {
    const ScaleRow row = getScaleByCode(code);
    g.scaleSlots[slot] = ScaleSlot{row.voltMult, row.pwrMult};
}

class Decoder : public ::testing::Test {
protected:
    Decoder() {
        g.params.nFwdMin = 25;
        g.params.MaxSwrA = 300;
        g.params.MaxSwrB = 300;
        setSlot(g, SlotA1, "0");  // 50W
        setSlot(g, SlotA2, "4");  // 1KW
        setSlot(g, SlotB1, "1");  // 100W
        setSlot(g, SlotB2, "5");  // 2KW
    }
    void decode(char channel, const Counts& c, uint8_t frameScale = 1) {
        const auto f = makeFrame(channel, c, frameScale);
        decodeFrame(f.data(), g);
    }
    ModGlobal g;
};

TEST_F(Decoder, PowerWorkedExamples) {
    g.reading.channel = "A";
    EXPECT_EQ(computePower(1018, 1, g), 499);  // M = 10
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 500);
    g.reading.channel = "B";
    EXPECT_EQ(computePower(1018, 0, g), 999);  // M = 20
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 1000);
}

TEST_F(Decoder, PowerThresholdIsStrictAndKeepsFullScale) {
    g.reading.channel = "B";
    computePower(500, 2, g);
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 50.0 * 400);
    EXPECT_EQ(computePower(25, 0, g), 0);
    EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 50.0 * 400);  // unchanged by a count at nFwdMin
    EXPECT_GT(computePower(26, 2, g), 0);
}

TEST_F(Decoder, PowerTooLargeForSixteenBitsIsAFrameError) {
    g.reading.channel = "B";
    EXPECT_EQ(computePower(1023, 3, g), 20187);  // largest real count on "2KW"
    EXPECT_THROW(computePower(32767, 3, g), FrameError);
    EXPECT_THROW(computePower(1400, 3, g), FrameError);
}

TEST_F(Decoder, VoltageWorkedExamples) {
    g.reading.channel = "A";
    g.reading.frameScale = 0;
    EXPECT_EQ(computeVoltage(1018, g), "50");
    EXPECT_EQ(computeVoltage(1000, g), "49.1");
    EXPECT_EQ(computeVoltage(25, g), "0");  // at nFwdMin
    EXPECT_EQ(computeVoltage(26, g), "1.3");
    g.reading.frameScale = 2;                     // "1KW": factor 4.47
    EXPECT_EQ(computeVoltage(1000, g), "219.5");  // 1000 x 4.47 x 0.0491 = 219.477
}

TEST_F(Decoder, VoltageRoundsTheFloatValue) {
    g.reading.channel = "A";
    g.reading.frameScale = 0;
    // 500 x 0.0491 = 24.55, held as the float 24.549999..: below the half.
    EXPECT_EQ(computeVoltage(500, g), "24.5");
    // 750 x 2.00 x 0.0491 = 73.65, held as 73.650002..: above it.
    setSlot(g, SlotA1, "2");
    EXPECT_EQ(computeVoltage(750, g), "73.7");
    g.params.nFwdMin = -1;
    setSlot(g, SlotA1, "0");
    EXPECT_EQ(computeVoltage(0, g), "0");
    EXPECT_EQ(computeVoltage(1, g), "0");    // 0.0491
    EXPECT_EQ(computeVoltage(2, g), "0.1");  // 0.0982
    EXPECT_EQ(computeVoltage(3, g), "0.1");  // 0.1473
}

TEST_F(Decoder, SwrRules) {
    g.reading.pwrRefMax = 5;
    EXPECT_EQ(computeSwr(300, 100, 300, g), "2");
    EXPECT_FLOAT_EQ(g.reading.swrValue, 2.0f);
    EXPECT_EQ(computeSwr(500, 100, 300, g), "1.5");
    EXPECT_EQ(computeSwr(200, 100, 300, g), "3");  // equal to the threshold: no alarm
    EXPECT_EQ(computeSwr(41, 21, 300, g), "HIG");  // 3.1 above 3.00
    EXPECT_FLOAT_EQ(g.reading.swrValue, 3.1f);
    EXPECT_EQ(computeSwr(41, 21, 310, g), "3.1");     // 3.1 against 3.10 as floats: equal
    EXPECT_EQ(computeSwr(1000, 10, 300, g), "1");     // 1.02 truncated to one decimal: 1
    EXPECT_EQ(computeSwr(1000, 300, 300, g), "1.8");  // 1.857 truncated
}

TEST_F(Decoder, SwrTestsAreStrictInTheOtherDirection) {
    g.reading.pwrRefMax = 5;
    EXPECT_EQ(computeSwr(24, 0, 300, g), "---");
    EXPECT_FLOAT_EQ(g.reading.swrValue, 0);
    EXPECT_EQ(computeSwr(25, 0, 300, g), "1");  // nDirMax == nFwdMin still computes
    g.reading.pwrRefMax = 0;
    EXPECT_EQ(computeSwr(300, 299, 300, g), "1");  // no reflected peak power
    EXPECT_FLOAT_EQ(g.reading.swrValue, 0);
    g.reading.pwrRefMax = 1;
    EXPECT_EQ(computeSwr(300, 300, 32767, g), "HIG");
    EXPECT_FLOAT_EQ(g.reading.swrValue, 6);
    EXPECT_EQ(computeSwr(300, 900, 32767, g), "HIG");
    EXPECT_FLOAT_EQ(g.reading.swrValue, 6);
}

TEST_F(Decoder, FullFrameOfChannelAOnScale1) {
    decode('A', {1018, 500, 1018, 100, 499, 12}, 1);
    const ChannelReading& r = g.reading;
    EXPECT_EQ(r.channel, "A");
    EXPECT_EQ(r.frameScale, 1);
    EXPECT_EQ(r.nDir, 1018);
    EXPECT_EQ(r.nRev, 500);
    EXPECT_EQ(r.nDirMax, 1018);
    EXPECT_EQ(r.nRevMax, 100);
    EXPECT_EQ(r.pwrDir, 499);
    EXPECT_EQ(r.pwrRef, 120);  // 250000 x 10 / 20736
    EXPECT_EQ(r.pwrDirMax, 499);
    EXPECT_EQ(r.pwrRefMax, 12);
    EXPECT_EQ(r.pwrDirText, "49.9");  // "50W": one decimal
    EXPECT_EQ(r.pwrRefText, "12.0");
    EXPECT_EQ(r.pwrDirMaxText, "49.9");
    EXPECT_EQ(r.pwrRefMaxText, "1.2");
    EXPECT_EQ(r.swrText, "1.2");  // 1118 / 918 = 1.217
    EXPECT_EQ(r.voltDirText, "50");
    EXPECT_EQ(r.voltRefText, "4.9");
    EXPECT_EQ(r.scaleMultText, "x0.5");
    EXPECT_DOUBLE_EQ(r.fullScalePower, 500);
    EXPECT_EQ((std::array<int16_t, 4>{g.logData[0], g.logData[1], g.logData[2], g.logData[3]}),
              (std::array<int16_t, 4>{499, 120, 499, 12}));
    EXPECT_EQ(g.logData[4], 0);
}

TEST_F(Decoder, FrameScaleTwoAndThreeSelectScale2) {
    for (uint8_t fs : {uint8_t{2}, uint8_t{3}, uint8_t{200}}) {
        SCOPED_TRACE(static_cast<int>(fs));
        decode('A', {1018, 0, 1000, 0, 9999, 0}, fs);  // "1KW": M = 200
        EXPECT_EQ(g.reading.pwrDir, 9995);
        EXPECT_EQ(g.reading.pwrDirText, "999");  // whole watts, truncated
        EXPECT_EQ(g.reading.pwrDirMaxText, "999");
        EXPECT_EQ(g.reading.pwrRefText, "0");
        EXPECT_EQ(g.reading.voltDirText, "219.5");
        EXPECT_EQ(g.reading.scaleMultText, "x10");
        EXPECT_DOUBLE_EQ(g.reading.fullScalePower, 10000);
    }
    for (uint8_t fs : {uint8_t{0}, uint8_t{1}}) {
        SCOPED_TRACE(static_cast<int>(fs));
        decode('A', {1018, 0, 1000, 0, 9999, 0}, fs);
        EXPECT_EQ(g.reading.pwrDir, 499);
        EXPECT_EQ(g.reading.pwrDirMaxText, "999.9");
        EXPECT_EQ(g.reading.voltDirText, "49.1");
        EXPECT_EQ(g.reading.scaleMultText, "x0.5");
    }
}

TEST_F(Decoder, OtherChannelBytesUseChannelB) {
    g.params.MaxSwrB = 150;
    for (char ch : {'B', 'a', 'Z', '\0'}) {
        SCOPED_TRACE(static_cast<int>(ch));
        g.logData = {};
        decode(ch, {1018, 100, 600, 200, 999, 50}, 0);  // B1 "100W"
        EXPECT_EQ(g.reading.channel, std::string(1, ch));
        EXPECT_EQ(g.reading.pwrDir, 999);
        EXPECT_EQ(g.reading.pwrDirText, "99");
        EXPECT_EQ(g.reading.swrText, "HIG");  // 2.0 above B's 1.50
        EXPECT_EQ(g.reading.scaleMultText, "x1");
        EXPECT_EQ(g.logData[0], 0);
        EXPECT_EQ(g.logData[4], 999);
        EXPECT_EQ(g.logData[5], 9);
        EXPECT_EQ(g.logData[6], 999);
        EXPECT_EQ(g.logData[7], 50);
    }
    decode('A', {1018, 100, 600, 200, 999, 50}, 0);
    EXPECT_EQ(g.reading.swrText, "2");  // A's threshold 3.00
}

TEST_F(Decoder, ScaleMultTextOfEveryRange) {
    const std::pair<const char*, const char*> cases[] = {{"0", "x0.5"}, {"1", "x1"}, {"2", "x2"},
                                                         {"7", "x2.5"}, {"3", "x5"}, {"4", "x10"},
                                                         {"5", "x20"}};
    for (const auto& [code, text] : cases) {
        SCOPED_TRACE(code);
        setSlot(g, SlotB2, code);
        decode('B', {}, 2);
        EXPECT_EQ(g.reading.scaleMultText, text);
    }
}

TEST_F(Decoder, BelowThresholdGivesZeros) {
    decode('A', {25, 10, 20, 0, 0, 0}, 0);
    EXPECT_EQ(g.reading.pwrDir, 0);
    EXPECT_EQ(g.reading.pwrRef, 0);
    EXPECT_EQ(g.reading.pwrDirText, "0.0");
    EXPECT_EQ(g.reading.swrText, "---");
    EXPECT_EQ(g.reading.voltDirText, "0");
}

TEST_F(Decoder, FieldAbove32767IsAFrameErrorKeepingEarlierFields) {
    decode('A', {100, 100, 100, 50, 10, 10}, 0);
    const std::string oldText = g.reading.pwrDirText;
    auto f = makeFrame('B', {300, 0, 0, 0, 0, 0}, 2);
    f[5] = 0x80;  // nRev high byte
    EXPECT_THROW(decodeFrame(f.data(), g), FrameError);
    EXPECT_EQ(g.reading.channel, "B");
    EXPECT_EQ(g.reading.frameScale, 2);
    EXPECT_EQ(g.reading.nDir, 300);
    EXPECT_EQ(g.reading.nRev, 100);  // not decoded: old value
    EXPECT_EQ(g.reading.pwrDirText, oldText);
    EXPECT_EQ(g.logData[4], 0);

    auto f2 = makeFrame('A', {300, 30, 400, 40, 0, 0}, 0);
    f2[13] = 0xFF;  // pwrRefMax
    EXPECT_THROW(decodeFrame(f2.data(), g), FrameError);
    EXPECT_EQ(g.reading.nRevMax, 40);
    EXPECT_EQ(g.reading.pwrDir, 43);  // computed before the bad field
    EXPECT_EQ(g.reading.pwrDirMax, 0);

    // 0x7FFF is still a value.
    auto f3 = makeFrame('A', {}, 0);
    f3[10] = 0xFF;
    f3[11] = 0x7F;
    EXPECT_NO_THROW(decodeFrame(f3.data(), g));
    EXPECT_EQ(g.reading.pwrDirMax, 32767);
}

TEST_F(Decoder, HugeCountIsAFrameErrorNotAnOverflow) {
    EXPECT_THROW(decode('A', {32767, 0, 0, 0, 0, 0}, 3), FrameError);
    EXPECT_EQ(g.reading.nDir, 32767);
}

}  // namespace
}  // namespace quellon
