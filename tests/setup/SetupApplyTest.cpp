// Apply's upload rules checked against what reaches the port.
#include "setup/SetupApply.h"

#include <gtest/gtest.h>

#include "SetupFakes.h"

using namespace quellon;
using namespace quellon::testing_setup;
using Lines = std::vector<std::string>;

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.SettingsPath = ini.path;
        g.params = {25, 32, 128, 300, 300, 75, 90, 75, 90, 32, 0, 512};
        g.ScaleCodeA = g.ScaleCodeB = {"1", "4"};
        g.ScaleTextA = g.ScaleTextB = {"100W", "1KW"};
        platform.attach(port);
        port.open();
        // The dialog as loaded from those copies: nothing to send.
        v.descA = "Antenna 1";
        v.descB = "Antenna 2";
        v.fileName = "/tmp/log.csv";
        v.intervalTime = "0750";
        v.clearMode = v.expandB = true;
        v.maxSwrA = v.maxSwrB = "300";
        v.delay1 = v.scaleDelay = "32";
        v.delay2 = "128";
        v.nFwdMin = "25";
        v.scales = {"100W", "1KW", "100W", "1KW"};
        v.scaleMinA = v.scaleMinB = "75";
        v.scaleMaxA = v.scaleMaxB = "90";
        v.selectedMode = 0;
        g0 = g, v0 = v;
    }
    // The exchange's own rules (pauses, retries) are the link's; here a
    // command is acknowledged when the bridge's answer to it holds ":ACK".
    ApplyResult apply() {
        ApplyResult out;
        uploadSetup(
            applySetup(v, 0, g),
            [this](const std::string& cmd, std::function<void(bool)> acked) {
                port.write(cmd);
                acked(port.read().find(":ACK\r") != std::string::npos);
            },
            [&](const ApplyResult& r) { out = r; });
        return out;
    }
    // Apply from the loaded state with one field changed.
    ApplyResult applyWith(std::string SetupValues::*field, const std::string& text) {
        g = g0, v = v0;
        port.clearWritten();
        v.*field = text;
        return apply();
    }

    TempIni ini;
    ModGlobal g;
    TestPlatform platform;
    FakeSerialPort port{&platform};
    SetupValues v;
    ModGlobal g0;
    SetupValues v0;
};

TEST_F(ApplyTest, NothingChangedSendsNothingButSavesTheUserSettings) {
    apply();
    EXPECT_TRUE(port.written().empty());
    EXPECT_EQ(ini.key("DataRefresh"), "0750");  // as typed, not as a number

    v.delay1 = "32.0";  // the same numbers in another form are not changes
    v.maxSwrB = " 300";
    v.nFwdMin = "25.00";
    apply();
    EXPECT_TRUE(port.written().empty());
}

TEST_F(ApplyTest, EveryRowGoesOutInTheBridgeOrderAndTheCopiesFollow) {
    v.maxSwrA = "100";  // each check's bounds are sent
    v.maxSwrB = "999";
    v.delay1 = "12.5";  // halves go to the even neighbour: 12
    v.delay2 = "1024";
    v.nFwdMin = "13.5";  // 14
    v.scales = {"50W", "2KW", "200W", "500W"};
    v.scaleMinA = "10";    // thresholds go out in tenths
    v.scaleMaxA = "1000";  // all five digits
    v.scaleMinB = "60";
    v.scaleMaxB = "85";
    v.scaleDelay = "40";
    v.expandA = true;   // 0 -> 512
    v.expandB = false;  // 512 -> 0
    const ApplyResult r = apply();
    const Lines want = {":2100100\r", ":2200999\r", ":2300012\r", ":2401024\r", ":2000014\r",
                        ":370523\r",  ":2500100\r", ":2610000\r", ":2700600\r", ":2800850\r",
                        ":2900040\r", ":3800512\r", ":3900000\r"};
    EXPECT_EQ(port.written(), want);
    EXPECT_EQ(r.sent, want);
    EXPECT_TRUE(r.notAcknowledged.empty());
    EXPECT_EQ(std::tuple(g.params.Delay1, g.params.ExpandB), std::tuple(12.5, 0));  // decimals kept
}

TEST_F(ApplyTest, SilentBridgeStillGetsEveryRowAndTheMissesAreListed) {
    platform.silent = true;
    v.maxSwrA = "250";
    v.scaleDelay = "40";
    v.expandA = true;
    const ApplyResult r = apply();
    EXPECT_EQ(port.written(), (Lines{":2100250\r", ":2900040\r", ":3800512\r"}));
    EXPECT_EQ(g.params.MaxSwrA, 250);  // the copy follows the dialog anyway
    const Lines labels = {"SWR Alert (x100) - Channel A", "Scale Delay",
                          "Expand Bargraph Scale - Channel A"};
    EXPECT_EQ(r.notAcknowledged, labels);
    EXPECT_NE(notAcknowledgedMessage(r).find(labels[2]), std::string::npos);
}

TEST_F(ApplyTest, NoNumberOrAValueOutOfRangeIsNeitherSentNorStoredAndSaidSo) {
    // Field, text, a number (listed as out of range, else as no number), the line shown.
    const std::tuple<std::string SetupValues::*, const char*, bool, const char*> rows[] = {
        {&SetupValues::scaleDelay, "abc", false, "Scale Delay"},
        {&SetupValues::maxSwrA, "250x", false, "SWR Alert (x100) - Channel A"},
        // Just beyond each bound.
        {&SetupValues::scaleDelay, "32768", true, "Scale Delay: 32768 (allowed 0 to 32767)"},
        {&SetupValues::scaleMaxB, "1001", true, "Scale Max - Channel B: 1001 (allowed 10 to 1000)"},
        {&SetupValues::delay2, "7", true, "Peak Pwr Refreshing Time: 7 (allowed 8 to 1024)"},
        {&SetupValues::nFwdMin, "1024", true, "Min Pwr Read (sample): 1024 (allowed 5 to 1023)"},
        // A value refused in red when its field was left still reaches Apply.
        {&SetupValues::maxSwrA, "99", true,
         "SWR Alert (x100) - Channel A: 99 (allowed 100 to 999)"},
    };
    for (const auto& [field, text, isNumber, listed] : rows) {
        SCOPED_TRACE(listed);
        const ApplyResult r = applyWith(field, text);
        EXPECT_TRUE(port.written().empty());
        EXPECT_EQ(std::tuple(g.params.MaxSwrA, g.params.ScaleDelay), std::tuple(300, 32));
        EXPECT_EQ(isNumber ? r.outOfRange : r.notConverted, Lines{listed});
        EXPECT_TRUE((isNumber ? r.notConverted : r.outOfRange).empty());
        const std::string shown = isNumber ? outOfRangeMessage(r) : notConvertedMessage(r);
        EXPECT_EQ(shown, std::string(isNumber ? "These values are out of range"
                                              : "These values are not valid numbers") +
                             " and were not sent:\n" + listed);
    }
}
