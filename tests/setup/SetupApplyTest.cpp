// Apply's upload rules checked against what reaches the port.
#include "setup/SetupApply.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>

#include "SetupFakes.h"
#include "link/BridgeLink.h"
#include "settings/Ini.h"

using namespace quellon;
using namespace quellon::testing_setup;

TEST(PadValue5, KeepsFiveDigits) {
    EXPECT_EQ(padValue5(250), "00250");
    EXPECT_EQ(padValue5(0), "00000");
    EXPECT_EQ(padValue5(512), "00512");
    EXPECT_EQ(padValue5(10000), "10000");
    EXPECT_EQ(padValue5(32767), "32767");
}

TEST(RangeCheck, BoundsAreInclusiveAndTextMustBeNumeric) {
    EXPECT_TRUE(checkIntRangeValue("8", 8, 1024));
    EXPECT_TRUE(checkIntRangeValue("1024", 8, 1024));
    EXPECT_FALSE(checkIntRangeValue("7", 8, 1024));
    EXPECT_FALSE(checkIntRangeValue("1025", 8, 1024));
    EXPECT_FALSE(checkIntRangeValue("abc", 8, 1024));
    EXPECT_FALSE(checkIntRangeValue("", 8, 1024));
    EXPECT_FALSE(checkIntRangeValue("12abc", 5, 1023));
    EXPECT_TRUE(checkIntRangeValue("12.5", 5, 1023));
    EXPECT_EQ(rangeMessage(8, 1024), "Please enter only integer number > 8 and < 1024.");
}

TEST(RangeCheck, EveryCheckedFieldHasItsBoundsAndTitle) {
    struct Want {
        const char* field;
        int min, max;
        const char* title;
    };
    const Want want[] = {
        {"txtIntervalTime", 100, 5000, " DataLog File"},
        {"txtMaxSwrA", 100, 999, "SWR Alert (x100) - Channel A"},
        {"txtMaxSwrB", 100, 999, "SWR Alert (x100) - Channel B"},
        {"txtScaleMaxA", 10, 1000, "Scale Max"},
        {"txtScaleMaxB", 10, 1000, "Scale Max"},
        {"txtScaleMinA", 10, 1000, "Scale Min"},
        {"txtScaleMinB", 10, 1000, "Scale Min"},
        {"txtDelay1", 8, 1024, "Pwr Refreshing Time"},
        {"txtDelay2", 8, 1024, "Peak Pwr Refreshing Time"},
        {"txtnFwdMin", 5, 1023, "Min Pwr Read (sample)"},
    };
    EXPECT_EQ(fieldChecks().size(), std::size(want));
    for (const auto& w : want) {
        const FieldCheck* c = findFieldCheck(w.field);
        ASSERT_NE(c, nullptr) << w.field;
        EXPECT_EQ(c->min, w.min) << w.field;
        EXPECT_EQ(c->max, w.max) << w.field;
        EXPECT_STREQ(c->title, w.title) << w.field;
    }
    EXPECT_EQ(findFieldCheck("txtScaleDelay"), nullptr);
    EXPECT_EQ(findFieldCheck("txtDescA"), nullptr);
}

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini = std::filesystem::temp_directory_path() /
              ("quellon_setup_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
        std::filesystem::remove(ini);
        g.SettingsPath = ini.string();
        BridgeParameters& p = g.params;
        p.MaxSwrA = 300;
        p.MaxSwrB = 300;
        p.Delay1 = 32;
        p.Delay2 = 128;
        p.nFwdMin = 25;
        p.ScaleMinA = 75;
        p.ScaleMaxA = 90;
        p.ScaleMinB = 75;
        p.ScaleMaxB = 90;
        p.ScaleDelay = 32;
        p.ExpandA = 0;
        p.ExpandB = 512;
        g.ScaleCodeA = {"1", "4"};
        g.ScaleCodeB = {"1", "4"};
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"100W", "1KW"};
        platform.attach(port);
        port.open();
        v = unchanged();
    }
    void TearDown() override { std::filesystem::remove(ini); }

    SetupValues unchanged() const {
        SetupValues s;
        s.descA = "Antenna 1";
        s.descB = "Antenna 2";
        s.fileName = "/tmp/log.csv";
        s.intervalTime = "1000";
        s.clearMode = true;
        s.pwrZero = false;
        s.maxSwrA = "300";
        s.maxSwrB = "300";
        s.delay1 = "32";
        s.delay2 = "128";
        s.nFwdMin = "25";
        s.scales = {"100W", "1KW", "100W", "1KW"};
        s.scaleMinA = "75";
        s.scaleMaxA = "90";
        s.scaleMinB = "75";
        s.scaleMaxB = "90";
        s.scaleDelay = "32";
        s.expandA = false;
        s.expandB = true;
        s.selectedMode = 0;
        return s;
    }
    ApplyResult apply() {
        BridgeLink link(port, platform);
        return applySetup(v, 0, g, link);
    }
    std::string key(const char* k) {
        return IniLookup("Bridge", k, ini.string()).value_or("<missing>");
    }

    std::filesystem::path ini;
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
    EXPECT_EQ(key("ChannelA"), "Antenna 1");
    EXPECT_EQ(key("ChannelB"), "Antenna 2");
    EXPECT_EQ(key("DataLog"), "/tmp/log.csv");
    EXPECT_EQ(key("DataRefresh"), "1000");
    EXPECT_EQ(key("DataMode"), "1");
    EXPECT_EQ(key("DataPwr"), "0");
    EXPECT_EQ(key("GUI"), "<missing>");
}

TEST_F(ApplyTest, IntervalIsSavedAsTyped) {
    v.intervalTime = "0750";
    apply();
    EXPECT_EQ(key("DataRefresh"), "0750");
}

TEST_F(ApplyTest, ChangedSwrAlertIsSentAndStored) {
    v.maxSwrA = "250";
    const ApplyResult r = apply();
    ASSERT_EQ(port.written().size(), 1u);
    EXPECT_EQ(port.written()[0], ":2100250\r");
    EXPECT_EQ(g.params.MaxSwrA, 250);
    EXPECT_TRUE(r.notAcknowledged.empty());
}

TEST_F(ApplyTest, ScaleThresholdsAreSentInTenthsButStoredAsTyped) {
    v.scaleMinA = "80";
    v.scaleMaxA = "1000";
    apply();
    ASSERT_EQ(port.written().size(), 2u);
    EXPECT_EQ(port.written()[0], ":2500800\r");
    EXPECT_EQ(port.written()[1], ":2610000\r");
    EXPECT_EQ(g.params.ScaleMinA, 80);
    EXPECT_EQ(g.params.ScaleMaxA, 1000);
}

TEST_F(ApplyTest, SameNumberInAnotherFormIsNotSent) {
    v.delay1 = "32.0";
    v.maxSwrB = " 300";
    v.nFwdMin = "25.00";
    apply();
    EXPECT_TRUE(port.written().empty());
}

TEST_F(ApplyTest, FloatingCopiesKeepTheirDecimalsWhileTheCommandIsRounded) {
    v.delay1 = "12.5";   // halves go to the even neighbour: 12
    v.nFwdMin = "13.5";  // 14
    apply();
    ASSERT_EQ(port.written().size(), 2u);
    EXPECT_EQ(port.written()[0], ":2300012\r");
    EXPECT_EQ(port.written()[1], ":2000014\r");
    EXPECT_DOUBLE_EQ(g.params.Delay1, 12.5);
    EXPECT_DOUBLE_EQ(g.params.nFwdMin, 13.5);
}

TEST_F(ApplyTest, ExpansionSendsOnlyTheTwoTransitions) {
    v.expandA = true;   // 0 -> 512
    v.expandB = false;  // 512 -> 0
    apply();
    ASSERT_EQ(port.written().size(), 2u);
    EXPECT_EQ(port.written()[0], ":3800512\r");
    EXPECT_EQ(port.written()[1], ":3900000\r");
    EXPECT_EQ(g.params.ExpandA, 512);
    EXPECT_EQ(g.params.ExpandB, 0);

    // An odd value the bridge reported is left alone either way.
    port.clearWritten();
    g.params.ExpandA = 7;
    apply();
    EXPECT_TRUE(port.written().empty());
    EXPECT_EQ(g.params.ExpandA, 7);
}

TEST_F(ApplyTest, DefaultScalesReplaceOtherScalesWithCodesAndConstants) {
    g.ScaleCodeA = {"0", "5"};
    g.ScaleCodeB = {"2", "3"};
    g.ScaleTextA = {"50W", "2KW"};
    g.ScaleTextB = {"200W", "500W"};
    apply();
    ASSERT_EQ(port.written().size(), 1u);
    EXPECT_EQ(port.written()[0], ":371414\r");
    EXPECT_EQ(g.ScaleTextA[0], "100W");
    EXPECT_EQ(g.ScaleTextA[1], "1KW");
    EXPECT_EQ(g.ScaleTextB[0], "100W");
    EXPECT_EQ(g.ScaleTextB[1], "1KW");
    EXPECT_EQ(g.ScaleCodeB[1], "4");
    EXPECT_EQ(g.scaleSlots[SlotA1].scalaVoltMult, 141);
    EXPECT_EQ(g.scaleSlots[SlotA1].scalaPwrMult, 20);
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaVoltMult, 447);
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaPwrMult, 200);
    EXPECT_EQ(g.scaleSlots[SlotB2].scalaVoltMult, 447);
    EXPECT_EQ(g.scaleSlots[SlotB2].scalaPwrMult, 200);
}

TEST_F(ApplyTest, ScaleTextOutsideTheListBecomes100W) {
    v.scales[2] = "300W";
    v.scales[1] = "250W";
    apply();
    ASSERT_EQ(port.written().size(), 1u);
    EXPECT_EQ(port.written()[0], ":371714\r");
    EXPECT_EQ(g.ScaleTextB[0], "100W");
    EXPECT_EQ(g.ScaleTextA[1], "250W");
    EXPECT_EQ(g.scaleSlots[SlotA2].scalaVoltMult, 224);
}

TEST_F(ApplyTest, EveryRowGoesOutInTheBridgeOrder) {
    v.maxSwrA = "200";
    v.maxSwrB = "210";
    v.delay1 = "16";
    v.delay2 = "256";
    v.nFwdMin = "100";
    v.scales = {"50W", "2KW", "200W", "500W"};
    v.scaleMinA = "70";
    v.scaleMaxA = "95";
    v.scaleMinB = "60";
    v.scaleMaxB = "85";
    v.scaleDelay = "40";
    v.expandA = true;
    v.expandB = false;
    const ApplyResult r = apply();
    const std::vector<std::string> want = {":2100200\r", ":2200210\r", ":2300016\r", ":2400256\r",
                                           ":2000100\r", ":370523\r",  ":2500700\r", ":2600950\r",
                                           ":2700600\r", ":2800850\r", ":2900040\r", ":3800512\r",
                                           ":3900000\r"};
    EXPECT_EQ(port.written(), want);
    EXPECT_EQ(r.sent, want);
}

TEST_F(ApplyTest, SilentBridgeStillGetsEveryRowAndTheMissesAreListed) {
    platform.reply = silent;
    v.maxSwrA = "250";
    v.scaleDelay = "40";
    v.expandA = true;
    const ApplyResult r = apply();
    ASSERT_EQ(port.written().size(), 9u);  // three attempts each
    EXPECT_EQ(port.written()[0], ":2100250\r");
    EXPECT_EQ(port.written()[3], ":2900040\r");
    EXPECT_EQ(port.written()[6], ":3800512\r");
    EXPECT_EQ(g.params.MaxSwrA, 250);  // the copy follows the dialog anyway
    const std::vector<std::string> labels = {"SWR Alert (x100) - Channel A", "Scale Delay",
                                             "Expand Bargraph Scale - Channel A"};
    EXPECT_EQ(r.notAcknowledged, labels);
    const std::string msg = notAcknowledgedMessage(r);
    for (const auto& l : labels) EXPECT_NE(msg.find(l), std::string::npos);
}

TEST_F(ApplyTest, OnlyTheUnansweredCommandIsListed) {
    platform.reply = [](const std::string& cmd) -> std::string {
        return cmd.rfind(":22", 0) == 0 ? "" : ":ACK\r";
    };
    v.maxSwrA = "250";
    v.maxSwrB = "260";
    v.delay2 = "256";
    const ApplyResult r = apply();
    EXPECT_EQ(r.notAcknowledged, std::vector<std::string>{"SWR Alert (x100) - Channel B"});
    EXPECT_EQ(r.sent.size(), 3u);
    EXPECT_TRUE(notAcknowledgedMessage(ApplyResult{}).empty());
}

TEST_F(ApplyTest, ClosedPortThatCannotBeOpenedIsReportedNotThrown) {
    port.close();
    port.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    v.maxSwrA = "250";
    ApplyResult r;
    EXPECT_NO_THROW(r = apply());
    EXPECT_EQ(r.notAcknowledged, std::vector<std::string>{"SWR Alert (x100) - Channel A"});
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
    const std::vector<std::string> labels = {"SWR Alert (x100) - Channel A",
                                             "Peak Pwr Refreshing Time", "Min Pwr Read (sample)",
                                             "Scale Max - Channel B", "Scale Delay"};
    EXPECT_EQ(r.notConverted, labels);
    EXPECT_NE(notConvertedMessage(r).find("Scale Delay"), std::string::npos);
}

TEST_F(ApplyTest, ModeChangeIsReportedButNotWritten) {
    v.selectedMode = 1;
    const ApplyResult r = apply();
    EXPECT_TRUE(r.modeChanged);
    EXPECT_EQ(r.newMode, 1);
    EXPECT_EQ(key("GUI"), "<missing>");

    v.selectedMode = 0;
    EXPECT_FALSE(apply().modeChanged);
    v.selectedMode = -1;  // a mode outside the buttons at load selects none
    EXPECT_FALSE(apply().modeChanged);
}
