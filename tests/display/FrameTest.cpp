// The frame shared by all display windows: positions, lamp, lost connection,
// the buttons' calls to the start-up window.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>

#include "display/Modes.h"

using namespace quellon;
using namespace quellon::testing;
using Calls = std::vector<std::string>;

TEST(DisplayFrame, EmptySettingsOpenCentredAndWriteDefaults) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    // Centred by the size the window had when it loaded (it may settle a few pixels later),
    // channel window B 1000 twips further right and down.
    const double tpp = winpos::twipsPerPixel();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto px = [&](const char* key) { return h.iniInt("PwrSwr", key) / tpp; };
    EXPECT_NEAR(px("PosX"), (screen.width() - w.frameGeometry().width()) / 2.0, 6);
    EXPECT_NEAR(px("PosY"), (screen.height() - w.frameGeometry().height()) / 2.0, 6);
    EXPECT_NEAR(px("PosXA"), (screen.width() - w.windowA()->frameGeometry().width()) / 2.0, 6);
    EXPECT_EQ(h.iniInt("PwrSwr", "PosXB"), h.iniInt("PwrSwr", "PosXA") + 1000);
    EXPECT_EQ(h.iniInt("PwrSwr", "PosYB"), h.iniInt("PwrSwr", "PosYA") + 1000);
    EXPECT_EQ(h.ini("PwrSwr", "OnTop VisibleA VisibleB"), "0|1|1");
    EXPECT_EQ(h.ini("Bridge", "ChannelA"), "Channel A");
    // The windows really stand where the stored twips say.
    EXPECT_NEAR(w.frameGeometry().x(), px("PosX"), 1.0);
    EXPECT_NEAR(w.windowA()->frameGeometry().x(), px("PosXA"), 1.0);
    EXPECT_NEAR(w.windowB()->frameGeometry().y(), px("PosYB"), 1.0);
    EXPECT_EQ(visibleChannels(w), "AB");
    EXPECT_EQ(w.windowA()->lblChannel->text(), "Channel A");
    EXPECT_EQ(w.windowB()->lblChannel->text(), "Channel B");
    EXPECT_TRUE(h.called("hideStartupWindow"));
    EXPECT_TRUE(w.timer1().isActive());
}

TEST(DisplayFrame, StoredSettingsAreRestored) {
    FakeHost h;
    const double tpp = winpos::twipsPerPixel();
    h.set("Gauge", QString("PosXA=%1 PosYA=%2 OnTop=1 VisibleB=0 PeakA=1")
                       .arg(static_cast<int>(100 * tpp))
                       .arg(static_cast<int>(50 * tpp)));
    h.set("Bridge", "ChannelA", "HF 40m");
    auto& w = h.open<frmGaugeMain>();
    auto onTop = [](QWidget* x) { return x->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    EXPECT_EQ(w.windowA()->frameGeometry().topLeft(), QPoint(100, 50));
    EXPECT_TRUE(onTop(w.windowA()) && onTop(w.windowB()));
    EXPECT_FALSE(w.isVisible() && onTop(&w));
    EXPECT_EQ(visibleChannels(w), "A");
    EXPECT_TRUE(w.windowA()->chkPeak->isChecked());
    EXPECT_FALSE(w.windowB()->chkPeak->isChecked());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "HF 40m");

    // Clicking the box off clears the flag on both channel windows; visibility stays.
    auto* box = w.findChild<QCheckBox*>("chkOnTop");
    ASSERT_NE(box, nullptr);
    box->click();
    EXPECT_FALSE(onTop(w.windowA()) || onTop(w.windowB()));
    EXPECT_EQ(visibleChannels(w), "A");
    w.cmdChB_Click();
    EXPECT_EQ(visibleChannels(w), "AB");
    w.cmdChA_Click();
    EXPECT_EQ(visibleChannels(w), "B");
}

TEST(DisplayFrame, PositionOffEveryScreenOrDamagedComesBack) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* stored : {"PosX=-30000 PosY=30000", "PosX=abc"}) {
        FakeHost h;
        h.set("Voltage", stored);
        auto& w = h.open<frmVoltage>();
        EXPECT_TRUE(screen.contains(w.frameGeometry().topLeft())) << stored;
    }
}

TEST(DisplayFrame, SavingRulesOfModeZeroAndOne) {
    for (bool gauge : {false, true}) {
        FakeHost h;
        const std::string sec = gauge ? "Gauge" : "PwrSwr";
        SCOPED_TRACE(sec);
        h.set(sec, "PosX=1500 PosY=1500");
        auto win = createDisplayWindow(gauge ? "1" : "0", h);
        auto* w = dynamic_cast<DisplayFrame*>(win.get());
        ASSERT_NE(w, nullptr);
        w->showDisplay();
        w->move(0, 40);
        w->channelWindow('A')->move(0, 0);
        w->cmdChB_Click();  // hide B
        w->unloadDisplay();
        // The bargraph window keeps a stored left edge when it stands at 0; the gauge stores 0.
        EXPECT_EQ(h.ini(sec, "PosX PosXA PosYA VisibleA VisibleB OnTop"),
                  gauge ? "0|0|0|1|0|0" : "1500|0|0|1|0|0");
        EXPECT_EQ(h.iniInt(sec, "PosY"), std::lround(40 * winpos::twipsPerPixel()));
        EXPECT_EQ(gauge ? h.ini(sec, "PeakB") : "0", "0");
    }
}

TEST(DisplayFrame, LampFollowsStreamAndLogging) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    auto blink = [&](int ticks) {
        std::vector<int> seen;
        for (int k = 0; k < ticks; ++k) {
            h.p.advance(500);
            seen.push_back(w.lampId());
        }
        return seen;
    };
    EXPECT_EQ(w.lampId(), 102);  // dark until the first tick
    // Each frame restarts the 3 s countdown and is taken as seen.
    auto frame = [&] {
        h.frame(w, ChannelReading{});
        EXPECT_EQ(h.g.streamState, 1);
    };
    EXPECT_EQ(blink(4), (std::vector<int>{102, 101, 102, 101}));
    frame();
    h.g.dataLogActive = true;
    EXPECT_EQ(blink(4), (std::vector<int>{108, 107, 108, 107}));
    frame();
    h.g.streamState = 0;
    EXPECT_EQ(blink(1), std::vector<int>{108});
    h.g.dataLogActive = false;
    EXPECT_EQ(blink(1), std::vector<int>{102});
    h.g.streamState = 1;  // phase restarts dark after a stop
    EXPECT_EQ(blink(1), std::vector<int>{102});
    EXPECT_TRUE(h.p.messageBoxes.empty());
    EXPECT_FALSE(w.isUnloaded());

    // The voltage window blinks green even while logging.
    FakeHost hv;
    hv.g.dataLogActive = true;
    auto& v = hv.open<frmVoltage>();
    hv.p.advance(500);
    EXPECT_EQ(v.lampId(), 102);
    hv.p.advance(500);
    EXPECT_EQ(v.lampId(), 101);
}

TEST(DisplayFrame, LostConnectionUnloadsAndShowsStartupWindow) {
    FakeHost h;
    h.g.dataLogActive = true;
    auto& w = h.open<frmTiming>();
    w.move(30, 30);
    const size_t before = h.calls.size();
    h.p.advance(2999);
    EXPECT_TRUE(h.p.messageBoxes.empty());
    h.p.advance(1);
    ASSERT_EQ(h.p.messageBoxes.size(), 1u);
    EXPECT_EQ(h.p.messageBoxes[0].text, "SWR CONNECTION LOST. Please verify your connection.");
    EXPECT_EQ(h.p.messageBoxes[0].style, 46);
    EXPECT_EQ(h.p.messageBoxes[0].title, kAppTitle);
    EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "showStartupWindow"}));
    EXPECT_EQ(h.unloads, 1);
    EXPECT_TRUE(w.isUnloaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.lampId(), 102);
    EXPECT_TRUE(h.g.dataLogActive);  // logging state survives for the next window
    EXPECT_EQ(h.iniInt("Test", "PosX"), std::lround(30 * winpos::twipsPerPixel()));
    // Nothing more happens afterwards, even if a late frame arrives.
    h.frame(w, ChannelReading{});
    EXPECT_EQ(h.g.streamState, 2);
    h.p.advance(10000);
    EXPECT_EQ(h.p.messageBoxes.size(), 1u);
    EXPECT_EQ(h.unloads, 1);
}

TEST(DisplayFrame, ClosingByTitleBarUnloadsOnce) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    w.close();
    EXPECT_TRUE(h.called("showStartupWindow"));
    EXPECT_FALSE(w.windowA()->isVisible());
    EXPECT_EQ(h.unloads, 1);
    w.close();
    EXPECT_EQ(h.unloads, 1);
}

TEST(DisplayFrame, ButtonsCallTheStartupWindow) {
    FakeHost h;
    auto& w = h.open<frmGaugeMain>();
    bool timerOffInside = false;
    h.duringModal = [&] {
        timerOffInside = !w.timer1().isActive();
        h.set("Bridge", "ChannelA", "VHF");
    };
    // Cmd leaves the labels; Config reloads them.
    for (bool config : {false, true}) {
        SCOPED_TRACE(config ? "config" : "cmd");
        const size_t before = h.calls.size();
        timerOffInside = false;
        if (config) w.cmdConfig_Click();
        else w.cmdCMD_Click();
        EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "closeBridgePort",
                                               config ? "runConfigDialog" : "runCommandWindow",
                                               "reopenBridgePort", "startRxDati"}));
        EXPECT_TRUE(timerOffInside);
        EXPECT_TRUE(w.timer1().isActive());
        EXPECT_EQ(w.windowA()->lblChannel->text(), config ? "VHF" : "Channel A");
    }
    for (bool on : {true, false}) {  // the flag flips first
        w.cmdDataLog_Click();
        EXPECT_EQ(h.g.dataLogActive, on);
        EXPECT_EQ(h.calls.back(), on ? "startDataLog" : "stopDataLog");
    }
    // The watt meter shows the names as group captions.
    FakeHost hw;
    auto& m = hw.open<frmWattMeter>();
    hw.duringModal = [&] { hw.set("Bridge", "ChannelB", "Dummy load"); };
    m.cmdConfig_Click();
    EXPECT_EQ(m.frameA->title() + "|" + m.frameB->title(), "Channel A|Dummy load");
}

TEST(DisplayFrame, ExitSavesAndEndsWithoutUnload) {
    FakeHost h;
    auto& w = h.open<frmTiming>();
    w.VScrollVref->setValue(500);
    const size_t before = h.calls.size();
    w.cmdExit_Click();
    EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "closeBridgePort", "endProgram"}));
    EXPECT_EQ(h.ini("Test", "VRef"), "500");
    EXPECT_NE(h.ini("Test", "PosX"), "<missing>");
    w.close();
    EXPECT_FALSE(h.called("showStartupWindow"));
    EXPECT_EQ(h.unloads, 0);

    FakeHost h0;
    auto& w0 = h0.open<frmPwrSwrMain>();
    w0.cmdExit_Click();
    EXPECT_EQ(h0.ini("PwrSwr", "VisibleA"), "1");
    EXPECT_EQ(h0.calls.back(), "endProgram");
}

TEST(DisplayFrame, FactoryKnowsFiveModes) {
    FakeHost h;
    for (const char* m : {"0", "1", "2", "3", "4"}) {
        auto w = createDisplayWindow(m, h);
        ASSERT_NE(w, nullptr) << m;
        EXPECT_NE(w->widget(), nullptr);
    }
    for (const char* m : {"5", "", "01"}) EXPECT_EQ(createDisplayWindow(m, h), nullptr) << m;
}
