// Apply's upload rules checked against what reaches the port.
#include "setup/SetupApply.h"

#include <gtest/gtest.h>

#include "SetupFakes.h"
#include "link/BridgeLink.h"

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
    apply();
    EXPECT_TRUE(port.written().empty());
    EXPECT_EQ(key("DataRefresh"), "0750");  // as typed, not as a number

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
    EXPECT_DOUBLE_EQ(g.params.Delay1, 12.5);  // the copies keep the decimals
    EXPECT_EQ(g.params.ExpandB, 0);
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
    EXPECT_NE(notAcknowledgedMessage(r).find(labels[2]), std::string::npos);
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
    EXPECT_EQ(g.params.MaxSwrA, 300);
    const Lines labels = {"SWR Alert (x100) - Channel A", "Peak Pwr Refreshing Time",
                          "Min Pwr Read (sample)", "Scale Max - Channel B", "Scale Delay"};
    EXPECT_EQ(r.notConverted, labels);
    EXPECT_NE(notConvertedMessage(r).find("Scale Delay"), std::string::npos);
}
