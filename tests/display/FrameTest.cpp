// The frame shared by all display windows: lost connection, the buttons' calls to the host.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>

#include "display/Modes.h"

using namespace quellon;
using namespace quellon::testing;
using Calls = std::vector<std::string>;

TEST(DisplayFrame, PositionOffEveryScreenOrDamagedComesBack) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* stored : {"PosX=-30000 PosY=30000", "PosX=abc"}) {
        FakeHost h;
        h.set("Voltage", stored);
        auto& w = h.open<frmVoltage>();
        EXPECT_TRUE(screen.contains(w.frameGeometry().topLeft())) << stored;
    }
}

TEST(DisplayFrame, LostConnectionUnloadsAndShowsStartupWindow) {
    FakeHost h;
    h.g.dataLogActive = true;
    auto& w = h.open<frmTiming>();
    const size_t before = h.calls.size();
    h.p.advance(2999);
    EXPECT_TRUE(h.p.messageBoxes.empty());
    h.p.advance(1);
    ASSERT_EQ(h.p.messageBoxes.size(), 1u);
    EXPECT_EQ(h.p.messageBoxes[0].text, "SWR CONNECTION LOST. Please verify your connection.");
    EXPECT_EQ(h.p.messageBoxes[0].style, 46);
    EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "showStartupWindow"}));
    EXPECT_TRUE(w.isUnloaded() && !w.isVisible());
    EXPECT_TRUE(h.g.dataLogActive);  // logging state survives for the next window
    // Nothing more happens afterwards, even if a late frame arrives.
    h.frame(w, ChannelReading{});
    h.p.advance(10000);
    EXPECT_EQ(h.p.messageBoxes.size(), 1u);
    EXPECT_EQ(h.unloads, 1);
}

// The network status reaches the main and the channel windows as their tool tip.
TEST(DisplayFrame, NetworkStatusIsTheToolTip) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    for (const char* status : {"MQTT: broker down at localhost:1883 (connection refused); retrying",
                               "MQTT: connected to localhost:1883", ""}) {
        h.network = status;
        h.p.advance(500);
        for (QWidget* win : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.channelWindow('A')),
                             static_cast<QWidget*>(w.channelWindow('B'))})
            EXPECT_EQ(win->toolTip().toStdString(), status);
    }
}

TEST(DisplayFrame, ClosingByTitleBarUnloadsOnce) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    w.close();
    EXPECT_TRUE(h.called("showStartupWindow") && h.unloads == 1);
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
    const size_t before = h.calls.size();
    w.cmdConfig_Click();
    EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "closeBridgePort", "runConfigDialog",
                                           "reopenBridgePort", "startRxDati"}));
    EXPECT_TRUE(timerOffInside && w.timer1().isActive());
    EXPECT_EQ(w.windowA()->lblChannel->text(), "VHF");  // names are reloaded
    for (bool on : {true, false}) {  // the flag flips first
        w.cmdDataLog_Click();
        EXPECT_EQ(h.g.dataLogActive, on);
        EXPECT_EQ(h.calls.back(), on ? "startDataLog" : "stopDataLog");
    }
}

TEST(DisplayFrame, ExitSavesAndEndsWithoutUnload) {
    FakeHost h;
    auto& w = h.open<frmTiming>();
    w.VScrollVref->setValue(500);
    const size_t before = h.calls.size();
    w.cmdExit_Click();
    EXPECT_EQ(h.callsSince(before), (Calls{"stopRxDati", "closeBridgePort", "endProgram"}));
    EXPECT_EQ(h.ini("Test", "VRef"), "500");
    w.close();
    EXPECT_FALSE(h.called("showStartupWindow"));
    EXPECT_EQ(h.unloads, 0);
}

TEST(DisplayFrame, FactoryKnowsFiveModes) {
    FakeHost h;
    for (auto m : {"0", "1", "2", "3", "4"}) EXPECT_NE(createDisplayWindow(m, h), nullptr) << m;
    for (const char* m : {"5", "", "01"}) EXPECT_EQ(createDisplayWindow(m, h), nullptr) << m;
}
