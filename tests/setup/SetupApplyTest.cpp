// Apply's upload rules checked against what reaches the port.
#include "setup/SetupApply.h"

#include <gtest/gtest.h>

#include "SetupFakes.h"
#include "link/BridgeLink.h"

using namespace quellon;
using namespace quellon::testing_setup;
using Lines = std::vector<std::string>;
using Pair = std::array<std::string, 2>;

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        g.SettingsPath = ini.path;
        // nFwdMin, Delay1, Delay2, MaxSwrA, MaxSwrB, ScaleMin/MaxA, ScaleMin/MaxB, ScaleDelay,
        // ExpandA, ExpandB
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
        v.clearMode = true;
        v.maxSwrA = v.maxSwrB = "300";
        v.delay1 = "32";
        v.delay2 = "128";
        v.nFwdMin = "25";
        v.scales = {"100W", "1KW", "100W", "1KW"};
        v.scaleMinA = v.scaleMinB = "75";
        v.scaleMaxA = v.scaleMaxB = "90";
        v.scaleDelay = "32";
        v.expandB = true;
        v.selectedMode = 0;
    }
    ApplyResult apply() {
        BridgeLink link(port, platform);
        return applySetup(v, 0, g, link);
    }
    std::string key(const char* k) { return ini.key(k); }

    TempIni ini;
    ModGlobal g;
    TestPlatform platform;
    FakeSerialPort port{&platform};
    SetupValues v;
};

TEST_F(ApplyTest, NothingChangedSendsNothingButSavesTheUserSettings) {
    const ApplyResult r = apply();
    EXPECT_TRUE(port.written().empty());
    EXPECT_TRUE(r.sent.empty());
    EXPECT_FALSE(r.modeChanged);
    const std::pair<const char*, const char*> want[] = {
        {"ChannelA", "Antenna 1"}, {"ChannelB", "Antenna 2"}, {"DataLog", "/tmp/log.csv"},
        {"DataRefresh", "0750"},  // as typed, not as a number
        {"DataMode", "1"},         {"DataPwr", "0"},          {"GUI", "<missing>"}};
    for (const auto& [k, value] : want) EXPECT_EQ(key(k), value) << k;

    v.delay1 = "32.0";  // the same numbers in another form are not changes
    v.maxSwrB = " 300";
    v.nFwdMin = "25.00";
    apply();
    EXPECT_TRUE(port.written().empty());
}

TEST_F(ApplyTest, EveryRowGoesOutInTheBridgeOrderAndTheCopiesFollow) {
    v.maxSwrA = "200";
    v.maxSwrB = "210";
    v.delay1 = "12.5";  // halves go to the even neighbour: 12
    v.delay2 = "256";
    v.nFwdMin = "13.5";  // 14
    v.scales = {"50W", "2KW", "200W", "500W"};
    v.scaleMinA = "70";    // thresholds go out in tenths
    v.scaleMaxA = "1000";  // all five digits
    v.scaleMinB = "60";
    v.scaleMaxB = "85";
    v.scaleDelay = "40";
    v.expandA = true;   // 0 -> 512
    v.expandB = false;  // 512 -> 0
    const ApplyResult r = apply();
    const Lines want = {":2100200\r", ":2200210\r", ":2300012\r", ":2400256\r", ":2000014\r",
                        ":370523\r",  ":2500700\r", ":2610000\r", ":2700600\r", ":2800850\r",
                        ":2900040\r", ":3800512\r", ":3900000\r"};
    EXPECT_EQ(port.written(), want);
    EXPECT_EQ(r.sent, want);
    EXPECT_TRUE(r.notAcknowledged.empty());
    EXPECT_EQ(g.params.MaxSwrA, 200);
    EXPECT_DOUBLE_EQ(g.params.Delay1, 12.5);  // the copies keep the decimals
    EXPECT_DOUBLE_EQ(g.params.nFwdMin, 13.5);
    EXPECT_EQ(g.params.ScaleMinA, 70);  // and are stored as typed
    EXPECT_EQ(g.params.ScaleMaxA, 1000);
    EXPECT_EQ(g.params.ExpandA, 512);
    EXPECT_EQ(g.params.ExpandB, 0);
}

TEST_F(ApplyTest, OddExpansionValueFromTheBridgeIsLeftAlone) {
    g.params.ExpandA = 7;
    for (bool on : {true, false}) {
        v.expandA = on;
        apply();
        EXPECT_TRUE(port.written().empty()) << on;
        EXPECT_EQ(g.params.ExpandA, 7);
    }
}

TEST_F(ApplyTest, DefaultScalesReplaceOtherScalesWithCodesAndConstants) {
    g.ScaleCodeA = {"0", "5"};
    g.ScaleCodeB = {"2", "3"};
    g.ScaleTextA = {"50W", "2KW"};
    g.ScaleTextB = {"200W", "500W"};
    apply();
    EXPECT_EQ(port.written(), Lines{":371414\r"});
    EXPECT_EQ(g.ScaleTextA, (Pair{"100W", "1KW"}));
    EXPECT_EQ(g.ScaleTextB, (Pair{"100W", "1KW"}));
    EXPECT_EQ(g.ScaleCodeB, (Pair{"1", "4"}));
    for (int slot : {SlotA1, SlotA2, SlotB2}) {
        const bool kw = slot != SlotA1;
        EXPECT_EQ(g.scaleSlots[slot].scalaVoltMult, kw ? 447 : 141) << slot;
        EXPECT_EQ(g.scaleSlots[slot].scalaPwrMult, kw ? 200 : 20) << slot;
    }
}

TEST_F(ApplyTest, ScaleTextOutsideTheListBecomes100W) {
    v.scales[2] = "300W";
    v.scales[1] = "250W";
    apply();
    EXPECT_EQ(port.written(), Lines{":371714\r"});
    EXPECT_EQ(g.ScaleTextB[0], "100W");
    EXPECT_EQ(g.ScaleTextA[1], "250W");
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaVoltMult, 224);
}

TEST_F(ApplyTest, SilentBridgeStillGetsEveryRowAndTheMissesAreListed) {
    platform.reply = silent;
    v.maxSwrA = "250";
    v.scaleDelay = "40";
    v.expandA = true;
    const ApplyResult r = apply();
    const Lines want = {":2100250\r", ":2900040\r", ":3800512\r"};
    ASSERT_EQ(port.written().size(), 9u);  // three attempts each
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(port.written()[i], want[i / 3]) << i;
    EXPECT_EQ(g.params.MaxSwrA, 250);  // the copy follows the dialog anyway
    const Lines labels = {"SWR Alert (x100) - Channel A", "Scale Delay",
                          "Expand Bargraph Scale - Channel A"};
    EXPECT_EQ(r.notAcknowledged, labels);
    const std::string msg = notAcknowledgedMessage(r);
    for (const auto& l : labels) EXPECT_NE(msg.find(l), std::string::npos);
}

TEST_F(ApplyTest, OnlyTheUnansweredCommandIsListed) {
    platform.reply = [](const std::string& cmd) { return cmd.starts_with(":22") ? "" : ":ACK\r"; };
    v.maxSwrA = "250";
    v.maxSwrB = "260";
    v.delay2 = "256";
    const ApplyResult r = apply();
    EXPECT_EQ(r.notAcknowledged, Lines{"SWR Alert (x100) - Channel B"});
    EXPECT_EQ(r.sent.size(), 3u);
    EXPECT_TRUE(notAcknowledgedMessage(ApplyResult{}).empty());
}

TEST_F(ApplyTest, ClosedPortThatCannotBeOpenedIsReportedNotThrown) {
    port.close();
    port.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    v.maxSwrA = "250";
    ApplyResult r;
    EXPECT_NO_THROW(r = apply());
    EXPECT_EQ(r.notAcknowledged, Lines{"SWR Alert (x100) - Channel A"});
    EXPECT_EQ(key("ChannelA"), "Antenna 1");
}

TEST_F(ApplyTest, TextsThatCannotBeCarriedAreNeitherSentNorStored) {
    v.scaleDelay = "abc";  // no number at all
    v.maxSwrA = "250x";    // number with rubbish behind
    v.scaleMaxB = "5000";  // ten times that does not fit 16 bits
    v.delay2 = "-20";      // five digits cannot carry a sign
    v.nFwdMin = "70000";   // beyond 16 bits
    const ApplyResult r = apply();
    EXPECT_TRUE(port.written().empty());
    EXPECT_EQ(g.params.ScaleDelay, 32);
    EXPECT_EQ(g.params.MaxSwrA, 300);
    EXPECT_EQ(g.params.ScaleMaxB, 90);
    EXPECT_EQ(g.params.Delay2, 128);
    EXPECT_DOUBLE_EQ(g.params.nFwdMin, 25);
    const Lines labels = {"SWR Alert (x100) - Channel A", "Peak Pwr Refreshing Time",
                          "Min Pwr Read (sample)", "Scale Max - Channel B", "Scale Delay"};
    EXPECT_EQ(r.notConverted, labels);
    EXPECT_NE(notConvertedMessage(r).find("Scale Delay"), std::string::npos);
}

TEST_F(ApplyTest, ModeChangeIsReportedButNotWritten) {
    v.selectedMode = 1;
    const ApplyResult r = apply();
    EXPECT_TRUE(r.modeChanged);
    EXPECT_EQ(r.newMode, 1);
    EXPECT_EQ(key("GUI"), "<missing>");
    for (int same : {0, -1}) {  // -1: a mode outside the buttons at load selects none
        v.selectedMode = same;
        EXPECT_FALSE(apply().modeChanged) << same;
    }
}
