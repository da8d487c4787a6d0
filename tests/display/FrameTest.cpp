// The frame shared by all display windows: positions, lamp, lost connection,
// the buttons' calls to the start-up window.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>

#include "display/Modes.h"
#include "settings/Ini.h"

using namespace quellon;
using quellon::testing::FakeHost;

namespace {

std::string ini(FakeHost& h, const std::string& section, const std::string& key) {
    return IniLookup(section, key, h.g.SettingsPath).value_or("<missing>");
}

int iniInt(FakeHost& h, const std::string& section, const std::string& key) {
    return std::stoi(ini(h, section, key));
}

std::vector<std::string> callsAfter(const FakeHost& h, size_t from) {
    return std::vector<std::string>(h.calls.begin() + static_cast<long>(from), h.calls.end());
}

}  // namespace

TEST(DisplayFrame, EmptySettingsOpenCentredAndWriteDefaults) {
    FakeHost h;
    frmPwrSwrMain w(h);
    w.showDisplay();
    // Centred by the size the window had when it loaded (it may settle a few
    // pixels later), channel window B 1000 twips further right and down.
    const double tpp = winpos::twipsPerPixel();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto near = [&](int twips, double expectedPx) { EXPECT_NEAR(twips / tpp, expectedPx, 6.0); };
    near(iniInt(h, "PwrSwr", "PosX"), screen.width() / 2.0 - w.frameGeometry().width() / 2.0);
    near(iniInt(h, "PwrSwr", "PosY"), screen.height() / 2.0 - w.frameGeometry().height() / 2.0);
    near(iniInt(h, "PwrSwr", "PosXA"),
         screen.width() / 2.0 - w.windowA()->frameGeometry().width() / 2.0);
    EXPECT_EQ(iniInt(h, "PwrSwr", "PosXB"), iniInt(h, "PwrSwr", "PosXA") + 1000);
    EXPECT_EQ(iniInt(h, "PwrSwr", "PosYB"), iniInt(h, "PwrSwr", "PosYA") + 1000);
    EXPECT_EQ(ini(h, "PwrSwr", "OnTop"), "0");
    EXPECT_EQ(ini(h, "PwrSwr", "VisibleA"), "1");
    EXPECT_EQ(ini(h, "PwrSwr", "VisibleB"), "1");
    EXPECT_EQ(ini(h, "Bridge", "ChannelA"), "Channel A");
    // The windows really stand where the stored twips say.
    EXPECT_NEAR(w.windowA()->frameGeometry().x(), iniInt(h, "PwrSwr", "PosXA") / tpp, 1.0);
    EXPECT_NEAR(w.windowB()->frameGeometry().y(), iniInt(h, "PwrSwr", "PosYB") / tpp, 1.0);
    EXPECT_NEAR(w.frameGeometry().x(), iniInt(h, "PwrSwr", "PosX") / tpp, 1.0);
    EXPECT_TRUE(w.windowA()->isVisible());
    EXPECT_TRUE(w.windowB()->isVisible());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "Channel A");
    EXPECT_EQ(w.windowB()->lblChannel->text(), "Channel B");
    EXPECT_TRUE(h.called("hideStartupWindow"));
    EXPECT_TRUE(w.timer1().isActive());
    EXPECT_EQ(w.timer1().interval(), 3000);
    EXPECT_EQ(w.timerLed().interval(), 500);
    EXPECT_EQ(w.lampId(), 102);
}

TEST(DisplayFrame, StoredSettingsAreRestored) {
    FakeHost h;
    const double tpp = winpos::twipsPerPixel();
    WriteIni("Gauge", "PosXA", std::to_string(static_cast<int>(100 * tpp)), h.g.SettingsPath);
    WriteIni("Gauge", "PosYA", std::to_string(static_cast<int>(50 * tpp)), h.g.SettingsPath);
    WriteIni("Gauge", "OnTop", "1", h.g.SettingsPath);
    WriteIni("Gauge", "VisibleB", "0", h.g.SettingsPath);
    WriteIni("Gauge", "PeakA", "1", h.g.SettingsPath);
    WriteIni("Bridge", "ChannelA", "HF 40m", h.g.SettingsPath);
    frmGaugeMain w(h);
    w.showDisplay();
    EXPECT_EQ(w.windowA()->frameGeometry().topLeft(), QPoint(100, 50));
    EXPECT_TRUE(w.windowA()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowB()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(w.isVisible() && w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowA()->isVisible());
    EXPECT_FALSE(w.windowB()->isVisible());
    EXPECT_TRUE(w.windowA()->chkPeak->isChecked());
    EXPECT_FALSE(w.windowB()->chkPeak->isChecked());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "HF 40m");

    // Clicking the box off clears the flag on both channel windows; visibility stays.
    auto* box = w.findChild<QCheckBox*>("chkOnTop");
    ASSERT_NE(box, nullptr);
    box->click();
    EXPECT_FALSE(w.windowA()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(w.windowB()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowA()->isVisible());
    EXPECT_FALSE(w.windowB()->isVisible());

    w.cmdChB_Click();
    EXPECT_TRUE(w.windowB()->isVisible());
    w.cmdChA_Click();
    EXPECT_FALSE(w.windowA()->isVisible());
}

TEST(DisplayFrame, PositionOffEveryScreenComesBack) {
    FakeHost h;
    WriteIni("Voltage", "PosX", "-30000", h.g.SettingsPath);
    WriteIni("Voltage", "PosY", "30000", h.g.SettingsPath);
    frmVoltage w(h);
    w.showDisplay();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w.frameGeometry().topLeft()))
        << w.frameGeometry().x() << "," << w.frameGeometry().y();
    // Damaged text reads as the default as well.
    FakeHost h2;
    WriteIni("Voltage", "PosX", "abc", h2.g.SettingsPath);
    frmVoltage w2(h2);
    w2.showDisplay();
    EXPECT_TRUE(screen.contains(w2.frameGeometry().topLeft()));
}

TEST(DisplayFrame, SavingRulesOfModeZeroAndOne) {
    for (bool gauge : {false, true}) {
        FakeHost h;
        const std::string sec = gauge ? "Gauge" : "PwrSwr";
        WriteIni(sec, "PosX", "1500", h.g.SettingsPath);
        WriteIni(sec, "PosY", "1500", h.g.SettingsPath);
        std::unique_ptr<DisplayFrame> w;
        if (gauge) w = std::make_unique<frmGaugeMain>(h);
        else w = std::make_unique<frmPwrSwrMain>(h);
        w->showDisplay();
        w->move(0, 40);
        w->channelWindow('A')->move(0, 0);
        w->cmdChB_Click();  // hide B
        w->unloadDisplay();
        const int tpp40 = static_cast<int>(std::lround(40 * winpos::twipsPerPixel()));
        // The bargraph window keeps a stored left edge when it stands at 0; the gauge window stores
        // 0.
        EXPECT_EQ(ini(h, sec, "PosX"), gauge ? "0" : "1500") << sec;
        EXPECT_EQ(iniInt(h, sec, "PosY"), tpp40) << sec;
        EXPECT_EQ(ini(h, sec, "PosXA"), "0") << sec;
        EXPECT_EQ(ini(h, sec, "PosYA"), "0") << sec;
        EXPECT_EQ(ini(h, sec, "VisibleA"), "1");
        EXPECT_EQ(ini(h, sec, "VisibleB"), "0");
        EXPECT_EQ(ini(h, sec, "OnTop"), "0");
        if (gauge) {
            EXPECT_EQ(ini(h, sec, "PeakB"), "0");
        }
    }
}

TEST(DisplayFrame, LampFollowsStreamAndLogging) {
    FakeHost h;
    frmPwrSwrMain w(h);
    w.showDisplay();
    EXPECT_EQ(w.lampId(), 102);  // dark until the first tick
    h.g.streamState = 1;
    std::vector<int> seen;
    for (int k = 0; k < 4; ++k) {
        h.p.advance(500);
        seen.push_back(w.lampId());
    }
    EXPECT_EQ(seen, (std::vector<int>{102, 101, 102, 101}));

    w.aggiornaDati();  // keeps the countdown from running out
    h.g.dataLogActive = true;
    seen.clear();
    for (int k = 0; k < 4; ++k) {
        h.p.advance(500);
        seen.push_back(w.lampId());
    }
    EXPECT_EQ(seen, (std::vector<int>{108, 107, 108, 107}));

    w.aggiornaDati();
    h.g.streamState = 0;
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 108);
    h.g.dataLogActive = false;
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 102);
    // Phase restarts dark after a stop.
    h.g.streamState = 1;
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 102);
}

TEST(DisplayFrame, VoltageLampIsAlwaysGreen) {
    FakeHost h;
    h.g.dataLogActive = true;
    frmVoltage w(h);
    w.showDisplay();
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 102);
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 101);
}

TEST(DisplayFrame, FramesKeepTheConnectionAlive) {
    FakeHost h;
    frmWattMeter w(h);
    w.showDisplay();
    for (int k = 0; k < 10; ++k) {
        h.p.advance(2000);
        h.g.streamState = 2;
        h.g.reading.channel = "A";
        w.aggiornaDati();
        EXPECT_EQ(h.g.streamState, 1);
    }
    EXPECT_TRUE(h.p.messageBoxes.empty());
    EXPECT_FALSE(w.isUnloaded());
}

TEST(DisplayFrame, LostConnectionUnloadsAndShowsStartupWindow) {
    FakeHost h;
    h.g.dataLogActive = true;
    frmTiming w(h);
    bool unloadedSignal = false;
    w.onUnloaded = [&] { unloadedSignal = true; };
    w.showDisplay();
    w.move(30, 30);
    const size_t before = h.calls.size();
    h.p.advance(2999);
    EXPECT_TRUE(h.p.messageBoxes.empty());
    h.p.advance(1);
    ASSERT_EQ(h.p.messageBoxes.size(), 1u);
    EXPECT_EQ(h.p.messageBoxes[0].text, "SWR CONNECTION LOST. Please verify your connection.");
    EXPECT_EQ(h.p.messageBoxes[0].style, 46);
    EXPECT_EQ(h.p.messageBoxes[0].title, kAppTitle);
    EXPECT_EQ(callsAfter(h, before), (std::vector<std::string>{"stopRxDati", "showStartupWindow"}));
    EXPECT_TRUE(unloadedSignal);
    EXPECT_TRUE(w.isUnloaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.lampId(), 102);
    EXPECT_TRUE(h.g.dataLogActive);  // logging state survives for the next window
    const int x30 = static_cast<int>(std::lround(30 * winpos::twipsPerPixel()));
    EXPECT_EQ(iniInt(h, "Test", "PosX"), x30);
    // Nothing more happens afterwards, even if a late frame arrives.
    h.g.streamState = 2;
    w.aggiornaDati();
    EXPECT_EQ(h.g.streamState, 2);
    h.p.advance(10000);
    EXPECT_EQ(h.p.messageBoxes.size(), 1u);
}

TEST(DisplayFrame, ClosingByTitleBarUnloads) {
    FakeHost h;
    frmPwrSwrMain w(h);
    int unloads = 0;
    w.onUnloaded = [&] { ++unloads; };
    w.showDisplay();
    w.close();
    EXPECT_TRUE(h.called("showStartupWindow"));
    EXPECT_FALSE(w.windowA()->isVisible());
    EXPECT_EQ(unloads, 1);
    w.close();
    EXPECT_EQ(unloads, 1);
}

TEST(DisplayFrame, ConfigAndCommandButtons) {
    FakeHost h;
    frmGaugeMain w(h);
    w.showDisplay();
    bool timerOffInside = false;
    h.duringModal = [&] {
        timerOffInside = !w.timer1().isActive();
        WriteIni("Bridge", "ChannelA", "VHF", h.g.SettingsPath);
    };
    size_t before = h.calls.size();
    w.cmdCMD_Click();
    EXPECT_EQ(callsAfter(h, before),
              (std::vector<std::string>{"stopRxDati", "closeBridgePort", "runCommandWindow",
                                        "reopenBridgePort", "startRxDati"}));
    EXPECT_TRUE(timerOffInside);
    EXPECT_TRUE(w.timer1().isActive());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "Channel A");  // Cmd leaves the labels

    before = h.calls.size();
    timerOffInside = false;
    w.cmdConfig_Click();
    EXPECT_EQ(callsAfter(h, before),
              (std::vector<std::string>{"stopRxDati", "closeBridgePort", "runConfigDialog",
                                        "reopenBridgePort", "startRxDati"}));
    EXPECT_TRUE(timerOffInside);
    EXPECT_TRUE(w.timer1().isActive());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "VHF");
}

TEST(DisplayFrame, GroupCaptionsFollowConfig) {
    FakeHost h;
    frmWattMeter w(h);
    w.showDisplay();
    EXPECT_EQ(w.frameA->title(), "Channel A");
    h.duringModal = [&] { WriteIni("Bridge", "ChannelB", "Dummy load", h.g.SettingsPath); };
    w.cmdConfig_Click();
    EXPECT_EQ(w.frameB->title(), "Dummy load");
}

TEST(DisplayFrame, DataLogButtonFlipsTheFlagFirst) {
    FakeHost h;
    frmPwrSwrMain w(h);
    w.showDisplay();
    w.cmdDataLog_Click();
    EXPECT_TRUE(h.g.dataLogActive);
    EXPECT_EQ(h.calls.back(), "startDataLog");
    w.cmdDataLog_Click();
    EXPECT_FALSE(h.g.dataLogActive);
    EXPECT_EQ(h.calls.back(), "stopDataLog");
}

TEST(DisplayFrame, ExitSavesAndEndsWithoutUnload) {
    FakeHost h;
    frmTiming w(h);
    int unloads = 0;
    w.onUnloaded = [&] { ++unloads; };
    w.showDisplay();
    w.VScrollVref->setValue(500);
    const size_t before = h.calls.size();
    w.cmdExit_Click();
    EXPECT_EQ(callsAfter(h, before),
              (std::vector<std::string>{"stopRxDati", "closeBridgePort", "endProgram"}));
    EXPECT_EQ(ini(h, "Test", "VRef"), "500");
    EXPECT_NE(ini(h, "Test", "PosX"), "<missing>");
    w.close();
    EXPECT_FALSE(h.called("showStartupWindow"));
    EXPECT_EQ(unloads, 0);

    FakeHost h0;
    frmPwrSwrMain w0(h0);
    w0.showDisplay();
    w0.cmdExit_Click();
    EXPECT_EQ(ini(h0, "PwrSwr", "VisibleA"), "1");
    EXPECT_EQ(h0.calls.back(), "endProgram");
}

TEST(DisplayFrame, FactoryKnowsFiveModes) {
    FakeHost h;
    for (const char* m : {"0", "1", "2", "3", "4"}) {
        auto w = createDisplayWindow(m, h);
        ASSERT_NE(w, nullptr) << m;
        EXPECT_NE(w->widget(), nullptr);
    }
    EXPECT_EQ(createDisplayWindow("5", h), nullptr);
    EXPECT_EQ(createDisplayWindow("", h), nullptr);
    EXPECT_EQ(createDisplayWindow("01", h), nullptr);
}
