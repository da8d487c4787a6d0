// The frame shared by all display windows: lost connection, the buttons' calls to
// the host, the receive lamp, stored places, On top and channel names, per mode.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>

#include "display/Modes.h"

using namespace quellon;
using namespace quellon::testing;
using Calls = std::vector<std::string>;

namespace {

DisplayFrame& openMode(FakeHost& h, int mode) {
    switch (mode) {
        case 0: return h.open<frmPwrSwrMain>();
        case 1: return h.open<frmGaugeMain>();
        case 2: return h.open<frmWattMeter>();
        case 3: return h.open<frmVoltage>();
        default: return h.open<frmTiming>();
    }
}

const char* const kSection[] = {"PwrSwr", "Gauge", "WattMeter", "Voltage", "Test"};

QPoint twips(const QWidget& w) { return {winpos::leftTwips(w), winpos::topTwips(w)}; }
// Stored twips come back within a pixel's worth of rounding (15); centring estimates
// the frame from the windows already shown, which may differ by a pixel or two (45).
bool near(QPoint a, QPoint b, int tolerance) {
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

QCheckBox* onTopBox(QWidget& w) { return w.findChild<QCheckBox*>(QStringLiteral("chkOnTop")); }

}  // namespace

TEST(DisplayFrame, LostConnectionUnloadsAndShowsStartupWindow) {
    FakeHost h;
    h.logging = true;
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
    EXPECT_TRUE(h.logging);        // logging state survives for the next window
    h.frame(w, ChannelReading{});  // nothing more happens, even after a late frame
    h.p.advance(10000);
    EXPECT_EQ(std::tuple(h.p.messageBoxes.size(), h.unloads), std::tuple(1u, 1));
}

// The network status is the tool tip of the main and the channel windows; closing
// by the title bar unloads, once.
TEST(DisplayFrame, NetworkStatusTipAndClosingByTitleBar) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    for (const char* status : {"MQTT: connected to localhost:1883", ""}) {
        h.network = status;
        h.p.advance(500);
        for (QWidget* win : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.channelWindow('A')),
                             static_cast<QWidget*>(w.channelWindow('B'))})
            EXPECT_EQ(win->toolTip().toStdString(), status);
    }
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
    for (bool on : {true, false}) {                     // the flag flips first
        w.cmdDataLog_Click();
        EXPECT_EQ(h.logging, on);
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
    EXPECT_TRUE(!h.called("showStartupWindow") && h.unloads == 0);
}

// Five modes, each opening the history and the big view by a button and a key.
TEST(DisplayFrame, FiveModesEachOpenTheHistoryAndTheBigView) {
    const std::tuple<const char*, const char*, const char*> opens[] = {
        {"cmdHistory", "Ctrl+H", "showHistory"}, {"cmdBigView", "Ctrl+B", "showBigView"}};
    for (auto m : {"0", "1", "2", "3", "4"}) {
        FakeHost h;
        auto w = createDisplayWindow(m, h);
        ASSERT_NE(w, nullptr) << m;
        for (auto [name, keys, call] : opens) {
            auto* button = w->widget()->findChild<QPushButton*>(QString::fromLatin1(name));
            ASSERT_NE(button, nullptr) << m << name;
            button->click();
            QShortcut* key = nullptr;
            for (QShortcut* s : w->widget()->findChildren<QShortcut*>())
                if (s->key() == QKeySequence(QString::fromLatin1(keys))) key = s;
            ASSERT_NE(key, nullptr) << m << keys;
            emit key->activated();
            EXPECT_EQ(std::ranges::count(h.calls, call), 2) << m << call;
        }
    }
    FakeHost h;
    for (const char* m : {"5", "", "01"}) EXPECT_EQ(createDisplayWindow(m, h), nullptr) << m;
}

// A stopped stream ends the blink dark and a restart begins dark.
TEST(Lamp, BlinksByStreamAndLoggingStateAndVoltageStaysGreen) {
    // Mode, logging, the stream's state (1 running) before each 500 ms tick, and the
    // lamp: first at load, then one per tick.
    const std::tuple<int, bool, const char*, const char*> rows[] = {
        {0, false, "1111", "102 102 101 102 101"},      {0, true, "1111", "102 108 107 108 107"},
        {0, false, "0000", "102 102 102 102 102"},      {0, true, "0000", "102 108 108 108 108"},
        {3, true, "1111", "102 102 101 102 101"},       {4, true, "0000", "102 108 108 108 108"},
        {0, false, "11011", "102 102 101 102 102 101"},
    };
    for (const auto& [mode, logging, streams, lamps] : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << mode << " logging " << logging << " streams " << streams);
        FakeHost h;
        h.logging = logging;
        const auto state = [](char c) {
            return c == '1' ? StreamState::Running : StreamState::Stopped;
        };
        h.stream = state(streams[0]);
        DisplayFrame& w = openMode(h, mode);
        std::string seen = std::to_string(w.lampId());
        for (const char* c = streams; *c; ++c) {
            h.stream = state(*c);
            h.p.advance(500);
            seen += " " + std::to_string(w.lampId());
        }
        EXPECT_EQ(seen, lamps);
    }
}

TEST(Positions, StoredPlacesComeBackPartlyOffScreenTooAndPlacesOffItOnScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The middle one leaves 60 x 40 pixels on the screen.
    const QPoint places[] = {
        {-600, 900}, {(screen.width() - 60) * 15, (screen.height() - 40) * 15}, {900, -300}};
    for (int mode = 0; mode <= 4; ++mode) {
        const QPoint at = places[mode % 3];
        SCOPED_TRACE(::testing::Message() << "mode " << mode << " at " << at.x() << "," << at.y());
        FakeHost h;
        h.set(kSection[mode],
              QStringLiteral("PosX=%1 PosY=%2 PosXA=%1 PosYA=%2").arg(at.x()).arg(at.y()));
        DisplayFrame& w = openMode(h, mode);
        EXPECT_TRUE(near(twips(w), at, 15)) << twips(w).x() << "," << twips(w).y();
        EXPECT_TRUE(mode > 1 || near(twips(*w.channelWindow('A')), at, 15));
    }
    for (const char* stored : {"PosX=-30000 PosY=30000", "PosX=abc"}) {
        FakeHost h;
        h.set("Voltage", stored);
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(
            openMode(h, 3).frameGeometry().topLeft()))
            << stored;
    }
}

TEST(Positions, ChannelPlacesOffEveryScreenComeBackCentredAndBKeepsItsOffset) {
    for (int mode : {0, 1}) {
        for (const char* stored : {"", "PosXA=-30000 PosYA=-30000 PosXB=30000 PosYB=30000"}) {
            SCOPED_TRACE(::testing::Message() << mode << " " << stored);
            FakeHost h;
            if (*stored) h.set(kSection[mode], QString::fromLatin1(stored));
            DisplayFrame& w = openMode(h, mode);
            ChannelWindow &a = *w.channelWindow('A'), &b = *w.channelWindow('B');
            const QPoint ca = winpos::centredTwips(a);
            const QPoint cb = winpos::centredTwips(b) + QPoint(1000, 1000);
            EXPECT_TRUE(near(twips(a), ca, 45));
            EXPECT_TRUE(near(twips(b), cb, 45)) << twips(b).x() << "," << twips(b).y();
            if (*stored) continue;
            // With nothing stored the defaults are written back as they were offered.
            const QStringList s =
                QString::fromStdString(h.ini(kSection[mode], "PosXA PosYA PosXB PosYB"))
                    .split(u'|');
            ASSERT_EQ(s.size(), 4);
            EXPECT_TRUE(near({s[0].toInt(), s[1].toInt()}, ca, 45) &&
                        near({s[2].toInt(), s[3].toInt()}, cb, 45));
            EXPECT_EQ(h.ini(kSection[mode], "OnTop VisibleA VisibleB"), "0|1|1");
        }
    }
}

TEST(Positions, SavingKeepsModeZerosEdgeRuleAndStoresVisibilityOnTopAndPeaks) {
    // Mode, moved to (pixels), PosX|PosY after unloading (stored 1500|1500 before).
    const std::tuple<int, QPoint, const char*> rows[] = {
        {0, {0, 40}, "1500|600"},  // an edge at 0 keeps the stored value
        {0, {-20, -5}, "1500|1500"}, {0, {30, 40}, "450|600"},
        {1, {0, -5}, "0|-75"},  // mode 1 stores what is there
        {2, {-20, 0}, "-300|0"},
    };
    for (const auto& [mode, moveTo, expectXY] : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << mode << " " << moveTo.x() << "," << moveTo.y());
        FakeHost h;
        h.set(kSection[mode], "PosX=1500 PosY=1500");
        DisplayFrame& w = openMode(h, mode);
        w.move(moveTo);
        if (mode <= 1) {
            onTopBox(w)->setChecked(true);
            w.chkOnTop_Click();
            w.cmdChB_Click();  // B hidden
            if (mode == 1) static_cast<frmGaugeMain&>(w).windowA()->chkPeak->setChecked(true);
        }
        w.unloadDisplay();
        EXPECT_EQ(h.ini(kSection[mode], "PosX PosY"), expectXY);
        EXPECT_TRUE(mode > 1 || h.ini(kSection[mode], "OnTop VisibleA VisibleB") == "1|1|0");
        EXPECT_TRUE(mode != 1 || h.ini("Gauge", "PeakA PeakB") == "1|0");
    }
}

TEST(OnTop, TickingShowsAHiddenChannelWindowButLoadKeepsTheStoredVisibility) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        FakeHost h;
        h.set(kSection[mode], "OnTop=1 VisibleA=0 VisibleB=1");
        DisplayFrame& w = openMode(h, mode);
        ChannelWindow &a = *w.channelWindow('A'), &b = *w.channelWindow('B');
        EXPECT_FALSE(a.isVisible());  // the stored visibility is applied after On top
        EXPECT_TRUE(a.windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
                    b.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        for (bool on : {false, true}) {
            w.cmdChA_Click();
            if (a.isVisible()) w.cmdChA_Click();
            ASSERT_FALSE(a.isVisible());
            onTopBox(w)->setChecked(on);
            w.chkOnTop_Click();
            EXPECT_TRUE(a.isVisible() && b.isVisible()) << on;
            EXPECT_EQ(a.windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
        }
    }
}

TEST(ChannelNames, AVeryLongDescriptionIsCutSoTheWindowFitsTheScreen) {
    const QString longName = QString(300, QChar(u'W'));
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    for (int mode = 0; mode <= 4; ++mode) {
        SCOPED_TRACE(mode);
        FakeHost h;
        h.set("Bridge", "ChannelA", longName.toStdString());
        DisplayFrame& w = openMode(h, mode);
        // Modes 0 and 1 name the channel in its own window, the others on its frame.
        QLabel* label = mode <= 1 ? w.channelWindow('A')->lblChannel : nullptr;
        auto* frame = w.findChild<QGroupBox*>(QStringLiteral("frameA"));
        ASSERT_TRUE(label || frame);
        QWidget* holder = label ? static_cast<QWidget*>(w.channelWindow('A')) : &w;
        const QString shown = label ? label->text() : frame->title();
        const QString tip = label ? label->toolTip() : frame->toolTip();
        holder->adjustSize();
        EXPECT_LT(holder->width(), screenWidth);
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
        EXPECT_EQ(tip.toStdString(), h.ini("Bridge", "ChannelA"));  // the whole description
        EXPECT_GT(tip.size(), 200);
    }
    // A description that fits is shown as it is, without a tip.
    FakeHost h;
    h.set("Bridge", "ChannelA", "Dipole 40 m");
    DisplayFrame& w = openMode(h, 0);
    EXPECT_EQ(w.channelWindow('A')->lblChannel->text(), "Dipole 40 m");
    EXPECT_TRUE(w.channelWindow('A')->lblChannel->toolTip().isEmpty());
}
