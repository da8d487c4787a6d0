// What a display window keeps between runs and shows about the stream: the
// receive lamp, stored places, On top, channel window visibility and the gauge
// peak boxes, per mode.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>

#include "display/Modes.h"

using namespace quellon;
using namespace quellon::testing;

namespace {

// Opens the window of a mode on the host.
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

// Stored twips come back within a pixel's worth of rounding.
bool near(int twips, int expected) { return std::abs(twips - expected) <= 15; }
// Centring estimates the frame from the windows already shown, which may
// differ by a pixel or two between windows.
bool roughly(int twips, int expected) { return std::abs(twips - expected) <= 45; }

QCheckBox* onTopBox(QWidget& w) { return w.findChild<QCheckBox*>(QStringLiteral("chkOnTop")); }

}  // namespace

TEST(Lamp, BlinksByStreamAndLoggingStateAndVoltageStaysGreen) {
    struct Row {
        int mode;
        bool logging;
        int16_t streamState;
        const char* lamps;  // first the lamp at load, then one per 500 ms tick
    };
    const Row rows[] = {
        {0, false, 1, "102 102 101 102 101"}, {0, true, 1, "102 108 107 108 107"},
        {0, false, 0, "102 102 102 102 102"}, {0, true, 0, "102 108 108 108 108"},
        {1, true, 2, "102 108 107 108 107"},  {2, true, 1, "102 108 107 108 107"},
        {3, true, 1, "102 102 101 102 101"},  {3, true, 0, "102 102 102 102 102"},
        {4, false, 1, "102 102 101 102 101"}, {4, true, 0, "102 108 108 108 108"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "mode " << r.mode << " logging " << r.logging
                                          << " stream " << r.streamState);
        FakeHost h;
        h.g.dataLogActive = r.logging;
        h.g.streamState = static_cast<StreamState>(r.streamState);
        DisplayFrame& w = openMode(h, r.mode);
        std::string seen = std::to_string(w.lampId());
        for (int tick = 0; tick < 4; ++tick) {
            h.p.advance(500);
            seen += " " + std::to_string(w.lampId());
        }
        EXPECT_EQ(seen, r.lamps);
    }
}

TEST(Lamp, StoppedStreamEndsTheBlinkDarkAndARestartBeginsDark) {
    FakeHost h;
    DisplayFrame& w = openMode(h, 0);
    h.p.advance(1000);  // dark, lit
    ASSERT_EQ(w.lampId(), 101);
    h.g.streamState = StreamState::Stopped;
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 102);
    h.g.streamState = StreamState::Consumed;
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 102);  // the phase starts again from dark
    h.p.advance(500);
    EXPECT_EQ(w.lampId(), 101);
}

TEST(Positions, StoredPlacesComeBackAsStoredPartlyOffScreenToo) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int right = (screen.width() - 60) * 15;  // 60 px left on the screen
    const int bottom = (screen.height() - 40) * 15;
    for (int mode = 0; mode <= 4; ++mode) {
        for (const auto& [x, y] : {std::pair{-600, 900}, std::pair{right, bottom}, {900, -300}}) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " at " << x << "," << y);
            FakeHost h;
            const std::string pos = "PosX=" + std::to_string(x) + " PosY=" + std::to_string(y);
            h.set(kSection[mode], QString::fromStdString(pos));
            if (mode <= 1)
                h.set(
                    kSection[mode],
                    QString::fromStdString(pos).replace("PosX", "PosXA").replace("PosY", "PosYA"));
            DisplayFrame& w = openMode(h, mode);
            EXPECT_TRUE(near(winpos::leftTwips(w), x)) << winpos::leftTwips(w);
            EXPECT_TRUE(near(winpos::topTwips(w), y)) << winpos::topTwips(w);
            if (mode <= 1) {
                EXPECT_TRUE(near(winpos::leftTwips(*w.channelWindow('A')), x));
                EXPECT_TRUE(near(winpos::topTwips(*w.channelWindow('A')), y));
            }
        }
    }
}

TEST(Positions, PlacesOffEveryScreenComeBackCentredAndBKeepsItsOffset) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        for (const char* stored : {"", "PosXA=-30000 PosYA=-30000 PosXB=30000 PosYB=30000"}) {
            FakeHost h;
            if (*stored) h.set(kSection[mode], QString::fromLatin1(stored));
            DisplayFrame& w = openMode(h, mode);
            ChannelWindow& a = *w.channelWindow('A');
            ChannelWindow& b = *w.channelWindow('B');
            const QPoint ca = winpos::centredTwips(a), cb = winpos::centredTwips(b);
            EXPECT_TRUE(roughly(winpos::leftTwips(a), ca.x()));
            EXPECT_TRUE(roughly(winpos::topTwips(a), ca.y()));
            EXPECT_TRUE(roughly(winpos::leftTwips(b), cb.x() + 1000)) << winpos::leftTwips(b);
            EXPECT_TRUE(roughly(winpos::topTwips(b), cb.y() + 1000)) << winpos::topTwips(b);
        }
        // With nothing stored the defaults are written back as they were offered.
        FakeHost h;
        DisplayFrame& w = openMode(h, mode);
        const QPoint ca = winpos::centredTwips(*w.channelWindow('A'));
        const QPoint cb = winpos::centredTwips(*w.channelWindow('B'));
        const QStringList stored =
            QString::fromStdString(h.ini(kSection[mode], "PosXA PosYA PosXB PosYB")).split(u'|');
        ASSERT_EQ(stored.size(), 4);
        EXPECT_TRUE(roughly(stored[0].toInt(), ca.x()) && roughly(stored[1].toInt(), ca.y()));
        EXPECT_TRUE(roughly(stored[2].toInt(), cb.x() + 1000));
        EXPECT_TRUE(roughly(stored[3].toInt(), cb.y() + 1000));
        EXPECT_EQ(h.ini(kSection[mode], "OnTop VisibleA VisibleB"), "0|1|1");
    }
}

TEST(Positions, SavingKeepsModeZerosEdgeRuleAndStoresVisibilityOnTopAndPeaks) {
    struct Row {
        int mode;
        QPoint moveTo;         // pixels
        const char* expectXY;  // PosX|PosY after unloading, stored 1500|1500 before
    };
    const Row rows[] = {
        {0, {0, 40}, "1500|600"},  // an edge at 0 keeps the stored value
        {0, {-20, -5}, "1500|1500"}, {0, {30, 40}, "450|600"},
        {1, {0, -5}, "0|-75"},  // mode 1 stores what is there
        {2, {-20, 0}, "-300|0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "mode " << r.mode << " " << r.moveTo.x() << "," << r.moveTo.y());
        FakeHost h;
        h.set(kSection[r.mode], "PosX=1500 PosY=1500");
        DisplayFrame& w = openMode(h, r.mode);
        w.move(r.moveTo);
        if (r.mode <= 1) {
            onTopBox(w)->setChecked(true);
            w.chkOnTop_Click();
            w.cmdChB_Click();  // B hidden
            if (r.mode == 1) static_cast<frmGaugeMain&>(w).windowA()->chkPeak->setChecked(true);
        }
        w.unloadDisplay();
        EXPECT_EQ(h.ini(kSection[r.mode], "PosX PosY"), r.expectXY);
        if (r.mode <= 1) {
            EXPECT_EQ(h.ini(kSection[r.mode], "OnTop VisibleA VisibleB"), "1|1|0");
        }
        if (r.mode == 1) {
            EXPECT_EQ(h.ini("Gauge", "PeakA PeakB"), "1|0");
        }
    }
}

TEST(OnTop, TickingShowsAHiddenChannelWindowButLoadKeepsTheStoredVisibility) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        FakeHost h;
        h.set(kSection[mode], "OnTop=1 VisibleA=0 VisibleB=1");
        DisplayFrame& w = openMode(h, mode);
        ChannelWindow& a = *w.channelWindow('A');
        ChannelWindow& b = *w.channelWindow('B');
        EXPECT_FALSE(a.isVisible());  // the stored visibility is applied after On top
        EXPECT_TRUE(b.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(a.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
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
        QWidget* holder = &w;
        QString shown, tip;
        if (mode <= 1) {
            holder = w.channelWindow('A');
            shown = w.channelWindow('A')->lblChannel->text();
            tip = w.channelWindow('A')->lblChannel->toolTip();
        } else {
            auto* frame = w.findChild<QGroupBox*>(QStringLiteral("frameA"));
            ASSERT_NE(frame, nullptr);
            shown = frame->title();
            tip = frame->toolTip();
        }
        holder->adjustSize();
        EXPECT_LT(holder->width(), screenWidth);
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
        // The whole description as the settings file gives it back.
        EXPECT_EQ(tip.toStdString(), h.ini("Bridge", "ChannelA"));
        EXPECT_GT(tip.size(), 200);
    }
    // A description that fits is shown as it is, without a tip.
    FakeHost h;
    h.set("Bridge", "ChannelA", "Dipole 40 m");
    DisplayFrame& w = openMode(h, 0);
    EXPECT_EQ(w.channelWindow('A')->lblChannel->text(), "Dipole 40 m");
    EXPECT_TRUE(w.channelWindow('A')->lblChannel->toolTip().isEmpty());
}
