#include <gtest/gtest.h>

#include <array>

#include "link/FrameDecoder.h"
#include "link/ScaleCodes.h"
#include "tests/BridgeBytes.h"

namespace quellon {
namespace {

using Counts = std::array<int, 6>;  // nDir, nRev, nDirMax, nRevMax, pwrDirMax, pwrRefMax
using LogData = std::array<int16_t, 9>;

using test::bytes;
using test::frame;

struct Decoder : ::testing::Test {
    Decoder() {
        g.params.nFwdMin = 25;
        g.params.MaxSwrA = g.params.MaxSwrB = 300;
        setSlot(SlotA1, "0"), setSlot(SlotA2, "4");  // 50W, 1KW
        setSlot(SlotB1, "1"), setSlot(SlotB2, "5");  // 100W, 2KW
    }
    void setSlot(SlotIndex slot, const char* code) {
        const ScaleRow row = getScaleByCode(code);
        g.scaleSlots[slot] = ScaleSlot{row.voltMult, row.pwrMult};
    }
    // Through the decoder that sees only the parameters and the slots.
    void decode(char channel, const Counts& c, uint8_t frameScale) {
        rd = decodeReading(bytes(frame(channel, c, frameScale)), {g.params, g.scaleSlots}, rd);
        storeLogData(rd, logData);
    }
    ModGlobal g;
    ChannelReading rd;
    LogData logData{};
};

TEST_F(Decoder, ComputePowerThresholdAndOverflow) {
    rd.channel = "B";
    EXPECT_EQ(computePower(1018, 0, inputsOf(g), rd), 999);  // M = 20, full scale 1000
    // The threshold is strict, and a count at it leaves the full scale alone.
    EXPECT_EQ(computePower(25, 2, inputsOf(g), rd), 0);
    EXPECT_DOUBLE_EQ(rd.fullScalePower, 1000);
    // Too large for sixteen bits is a frame error, not an overflow.
    EXPECT_EQ(computePower(1023, 3, inputsOf(g), rd), 20187);  // largest real count on "2KW"
    EXPECT_THROW(computePower(1400, 3, inputsOf(g), rd), FrameError);
    EXPECT_THROW(decode('A', {32767, 0, 0, 0, 0, 0}, 3), FrameError);
}

// clang-format off
TEST_F(Decoder, FullFrameOfChannelAOnScale1) {
    decode('A', {1018, 500, 1018, 100, 499, 12}, 1);
    EXPECT_TRUE(rd.textsStale);  // made when first needed, then kept
    EXPECT_EQ(rd.swrTextNow(), "1.2");
    const ChannelReading& r = rd.withTexts();
    EXPECT_FALSE(rd.textsStale);
    // pwrRef 250000 x 10 / 20736; "50W" texts have one decimal; SWR 1118 / 918 = 1.217.
    EXPECT_EQ((std::array<int, 4>{r.pwrDir, r.pwrRef, r.pwrDirMax, r.pwrRefMax}),
              (std::array<int, 4>{499, 120, 499, 12}));
    EXPECT_EQ((std::array<std::string, 8>{r.pwrDirText, r.pwrRefText, r.pwrDirMaxText,
              r.pwrRefMaxText, r.swrText, r.voltDirText, r.voltRefText, r.scaleMultText}),
              (std::array<std::string, 8>{"49.9", "12.0", "49.9", "1.2", "1.2", "50", "4.9",
                                          "x0.5"}));
    EXPECT_EQ(logData, (LogData{499, 120, 499, 12, 0, 0, 0, 0, 0}));
    rd.pwrDirMaxText = "changed by hand";
    EXPECT_EQ(rd.withTexts().pwrDirMaxText, "changed by hand");
}
// clang-format on

TEST_F(Decoder, FrameScaleAndChannelByteSelectTheSlot) {
    decode('A', {1018, 0, 1000, 0, 9999, 0}, 200);  // 2 and above: A2 "1KW", whole watts
    EXPECT_EQ(rd.pwrDir, 9995);
    EXPECT_EQ(rd.withTexts().scaleMultText, "x10");
    g.params.MaxSwrB = 150;
    logData = {};
    decode('Z', {1018, 100, 600, 200, 999, 50}, 0);  // anything but 'A' is B1 "100W"
    EXPECT_EQ(rd.withTexts().pwrDirText, "99");
    EXPECT_EQ(rd.swrText, "HIG");  // 2.0 above B's 1.50
    EXPECT_EQ(logData, (LogData{0, 0, 0, 0, 999, 9, 999, 50, 0}));
}

TEST_F(Decoder, FieldAbove32767IsAFrameErrorKeepingEarlierFields) {
    decode('A', {100, 100, 100, 50, 10, 10}, 0);
    const std::string oldText = rd.withTexts().pwrDirText;
    EXPECT_THROW(decodeInto(bytes(frame('B', {300, 0x8000, 0, 0, 0, 0}, 2)), inputsOf(g), rd),
                 FrameError);
    EXPECT_EQ(std::tuple(rd.nDir, rd.nRev), std::tuple(300, 100));  // nRev: old
    EXPECT_EQ(rd.withTexts().pwrDirText, oldText);

    // pwrRefMax, the last field, has its high byte 0xFF.
    EXPECT_THROW(decodeInto(bytes(frame('A', {300, 30, 400, 40, 0, 0xFF00}, 0)), inputsOf(g), rd),
                 FrameError);
    // pwrDir computed before the bad field, pwrDirMax not.
    EXPECT_EQ(std::tuple(rd.pwrDir, rd.pwrDirMax), std::tuple(43, 0));
    EXPECT_NO_THROW(decode('A', {0, 0, 0, 0, 0x7FFF, 0}, 0));  // still a value
}

TEST(DisplayModeText, OnlyTheFiveDigitsAreModes) {
    for (const char* t : {"0", "1", "2", "3", "4"})
        EXPECT_STREQ(displayModeText(displayModeFromText(t)), t);
    for (const char* t : {"", "5", "-1", " 1", "01"})
        EXPECT_EQ(displayModeFromText(t), DisplayMode::Unknown) << '"' << t << '"';
}

}  // namespace
}  // namespace quellon
