// What each display mode shows for a frame.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyleOptionProgressBar>
#include <cmath>

#include "display/Modes.h"
#include "settings/Ini.h"

using namespace quellon;
using quellon::testing::FakeHost;

namespace {

QString text(QWidget* root, const char* name) {
    if (auto* e = root->findChild<QLineEdit*>(name)) return e->text();
    if (auto* l = root->findChild<QLabel*>(name)) return l->text();
    ADD_FAILURE() << "no control " << name;
    return {};
}

QColor color(QWidget* root, const char* name) {
    auto* e = root->findChild<QLineEdit*>(name);
    return e ? e->palette().color(QPalette::Text) : QColor();
}

void frame(FakeHost& h, DisplayWindow& w, const ChannelReading& r) {
    h.g.reading = r;
    h.g.streamState = 2;
    w.aggiornaDati();
}

ChannelReading reading(const char* ch, int16_t nDir, const char* pwrMax, const char* swr) {
    ChannelReading r;
    r.channel = ch;
    r.nDir = nDir;
    r.pwrDirMaxText = pwrMax;
    r.swrText = swr;
    return r;
}

}  // namespace

TEST(Bargraph, SwrTextsColoursAndBar) {
    FakeHost h;
    h.g.params.nFwdMin = 10;
    frmPwrSwrMain w(h);
    w.showDisplay();
    QWidget* a = w.windowA();
    EXPECT_EQ(text(a, "txtPwrA"), "0");
    EXPECT_EQ(text(a, "txtSWRA"), "0");

    frame(h, w, reading("A", 500, "87", "1.5"));
    EXPECT_EQ(h.g.streamState, 1);
    EXPECT_EQ(text(a, "txtPwrA"), "87");
    EXPECT_EQ(text(a, "txtSWRA"), "1.5:1");
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 500);

    frame(h, w, reading("A", 500, "87", "HIG"));
    EXPECT_EQ(text(a, "txtSWRA"), "HIG");
    EXPECT_EQ(color(a, "txtSWRA"), QColor(255, 0, 0));

    frame(h, w, reading("A", 500, "87", "2"));
    EXPECT_EQ(text(a, "txtSWRA"), "2.0:1");
    EXPECT_EQ(color(a, "txtSWRA"), QColor(0, 0, 0));

    frame(h, w, reading("A", 10, "0", "---"));
    EXPECT_EQ(text(a, "txtSWRA"), "---");
    EXPECT_EQ(color(a, "txtSWRA"), QColor(0, 0, 0));
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 0);  // at nFwdMin

    frame(h, w, reading("A", 11, "0", "1"));
    EXPECT_EQ(text(a, "txtSWRA"), "1.0:1");
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 11);

    frame(h, w, reading("A", 2000, "0", "1"));  // beyond the 10-bit range: the bar stays full
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 1024);
}

TEST(Bargraph, ChannelsAreIndependentAndStateGatesUpdates) {
    FakeHost h;
    frmPwrSwrMain w(h);
    w.showDisplay();
    frame(h, w, reading("A", 300, "12", "HIG"));
    frame(h, w, reading("B", 400, "45", "1.2"));
    EXPECT_EQ(text(w.windowA(), "txtPwrA"), "12");
    EXPECT_EQ(text(w.windowA(), "txtSWRA"), "HIG");
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 300);
    EXPECT_EQ(text(w.windowB(), "txtPwrB"), "45");
    EXPECT_EQ(text(w.windowB(), "txtSWRB"), "1.2:1");
    EXPECT_EQ(w.windowB()->ProgressBar1->value(), 400);

    // A hidden channel window is updated all the same.
    w.cmdChB_Click();
    frame(h, w, reading("X", 100, "7", "1"));  // any letter but A is channel B
    EXPECT_EQ(text(w.windowB(), "txtPwrB"), "7");

    // No new reading: nothing changes.
    h.g.reading = reading("A", 1, "99", "3");
    h.g.streamState = 1;
    w.aggiornaDati();
    EXPECT_EQ(text(w.windowA(), "txtPwrA"), "12");
}

TEST(Gauge, StartupRestsNeedlesAtDialStart) {
    FakeHost h;
    h.g.reading.scaleMultText = "x2";
    h.g.reading.fullScalePower = 0;
    frmGaugeMain w(h);
    w.showDisplay();
    EXPECT_EQ(h.g.reading.scaleMultText, "");
    EXPECT_EQ(h.g.reading.fullScalePower, 100);
    const double start = needleTheta(3, 0, 100, 7.8, 21.8, 0);
    for (frmGaugeChannel* g : {w.windowA(), w.windowB()}) {
        ASSERT_TRUE(g->area(1)->hasNeedle());
        ASSERT_TRUE(g->area(3)->hasNeedle());
        EXPECT_DOUBLE_EQ(g->area(1)->needle().theta, start);
        EXPECT_DOUBLE_EQ(g->area(3)->needle().theta, start);
    }
    EXPECT_EQ(text(w.windowA(), "txtPwrA"), "1000");
    EXPECT_EQ(text(w.windowA(), "txtSWRA"), "---");
}

TEST(Gauge, NeedlesTextsAndPeakSwitch) {
    FakeHost h;
    h.g.params.nFwdMin = 20;
    frmGaugeMain w(h);
    w.showDisplay();
    frmGaugeChannel* a = w.windowA();

    ChannelReading r = reading("A", 600, "75", "1.5");
    r.pwrDir = 420;
    r.pwrDirMax = 750;
    r.swrValue = 1.5f;
    r.fullScalePower = 1000;
    r.scaleMultText = "x1";
    frame(h, w, r);
    EXPECT_DOUBLE_EQ(a->area(1)->needle().theta, needleTheta(3, 0, 1000, 7.8, 21.8, 750));  // peak
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, needleTheta(3, 0, 60, 7.8, 21.8, 15));
    EXPECT_EQ(text(a, "txtPwrA"), "75");
    EXPECT_EQ(text(a, "txtSWRA"), "1.5:1");
    EXPECT_EQ(text(a, "lblScaleMultA"), "x1");

    a->chkPeak->setChecked(true);  // average
    frame(h, w, r);
    EXPECT_DOUBLE_EQ(a->area(1)->needle().theta, needleTheta(3, 0, 1000, 7.8, 21.8, 420));
    EXPECT_EQ(text(a, "txtPwrA"), "75");  // the text always shows the peak

    r.nDir = 20;  // at nFwdMin: the needle drops although a peak text remains
    frame(h, w, r);
    EXPECT_DOUBLE_EQ(a->area(1)->needle().theta, needleTheta(3, 0, 1000, 7.8, 21.8, 0));

    r.swrValue = 8.3f;
    r.swrText = "HIG";
    frame(h, w, r);
    EXPECT_FLOAT_EQ(h.g.reading.swrValue, 6.0f);
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, needleTheta(3, 0, 60, 7.8, 21.8, 60));
    EXPECT_EQ(text(a, "txtSWRA"), "HIG");
    EXPECT_EQ(color(a, "txtSWRA"), QColor(255, 0, 0));

    r.swrValue = 1;
    r.swrText = "1";
    frame(h, w, r);
    EXPECT_EQ(text(a, "txtSWRA"), "1.0:1");
    EXPECT_EQ(color(a, "txtSWRA"), QColor(0, 0, 0));

    r.swrText = "---";
    r.swrValue = 0;
    frame(h, w, r);
    EXPECT_EQ(text(a, "txtSWRA"), "---");
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, needleTheta(3, 0, 60, 7.8, 21.8, 0));
}

TEST(Gauge, HiddenBIsLeftAloneAndPeakIsSaved) {
    FakeHost h;
    frmGaugeMain w(h);
    w.showDisplay();
    ChannelReading r = reading("B", 600, "33", "1.2");
    r.pwrDirMax = 330;
    r.fullScalePower = 1000;
    r.swrValue = 1.2f;
    w.cmdChB_Click();  // hide B
    frame(h, w, r);
    EXPECT_EQ(h.g.streamState, 1);
    EXPECT_EQ(text(w.windowB(), "txtPwrB"), "1000");
    w.cmdChB_Click();
    frame(h, w, r);
    EXPECT_EQ(text(w.windowB(), "txtPwrB"), "33");
    EXPECT_EQ(text(w.windowB(), "txtSWRB"), "1.2:1");
    EXPECT_EQ(text(w.windowA(), "txtPwrA"), "1000");

    w.windowB()->chkPeak->setChecked(true);
    w.unloadDisplay();
    EXPECT_EQ(IniLookup("Gauge", "PeakB", h.g.SettingsPath).value_or(""), "1");
    EXPECT_EQ(IniLookup("Gauge", "PeakA", h.g.SettingsPath).value_or(""), "0");
    frmGaugeMain again(h);
    again.showDisplay();
    EXPECT_TRUE(again.windowB()->chkPeak->isChecked());
    EXPECT_FALSE(again.windowA()->chkPeak->isChecked());
}

TEST(WattMeter, ShowsTextsUnchangedPerChannel) {
    FakeHost h;
    frmWattMeter w(h);
    w.showDisplay();
    ChannelReading r;
    r.channel = "A";
    r.pwrDirText = "49.9";
    r.pwrRefText = "1.2";
    r.pwrDirMaxText = "50.0";
    r.pwrRefMaxText = "2.1";
    r.swrText = "HIG";
    frame(h, w, r);
    EXPECT_EQ(text(&w, "txtVDirA"), "49.9");
    EXPECT_EQ(text(&w, "txtVRevA"), "1.2");
    EXPECT_EQ(text(&w, "txtVDirMaxA"), "50.0");
    EXPECT_EQ(text(&w, "txtVRevMaxA"), "2.1");
    EXPECT_EQ(text(&w, "txtSWRA"), "HIG");
    EXPECT_EQ(color(&w, "txtSWRA"),
              w.findChild<QLineEdit*>("txtSWRB")->palette().color(QPalette::Text));
    for (const char* b : {"txtVDirB", "txtVRevB", "txtVDirMaxB", "txtVRevMaxB", "txtSWRB"})
        EXPECT_EQ(text(&w, b), "");
    r.channel = "B";
    r.swrText = "1";
    r.pwrDirText = "800";
    frame(h, w, r);
    EXPECT_EQ(text(&w, "txtSWRB"), "1");
    EXPECT_EQ(text(&w, "txtVDirB"), "800");
    EXPECT_EQ(text(&w, "txtVDirA"), "49.9");
    EXPECT_EQ(text(&w, "txtSWRA"), "HIG");
}

TEST(Voltage, ShowsVoltTextsPerChannel) {
    FakeHost h;
    frmVoltage w(h);
    w.showDisplay();
    ChannelReading r;
    r.channel = "B";
    r.voltDirText = "70.7";
    r.voltRefText = "0";
    frame(h, w, r);
    EXPECT_EQ(text(&w, "txtVDirB"), "70.7");
    EXPECT_EQ(text(&w, "txtVRevB"), "0");
    EXPECT_EQ(text(&w, "txtVDirA"), "");
    EXPECT_EQ(text(&w, "txtVRevA"), "");
    EXPECT_EQ(w.findChild<QGroupBox*>("frameA")->title(), "Channel A");
}

TEST(Timing, CountsVoltsAndScale) {
    FakeHost h;
    h.g.BridgeFirmwareVersion = "2.3";
    h.g.ScaleTextA = {"100W", "1KW"};
    h.g.ScaleTextB = {"50W", "500W"};
    frmTiming w(h);
    w.showDisplay();
    EXPECT_EQ(text(&w, "lblVersion"), "Win v1.10 -- Pic v2.3");
    EXPECT_EQ(w.VScrollVref->value(), 250);
    EXPECT_EQ(text(&w, "txtVRef"), "2.50");

    ChannelReading r;
    r.channel = "A";
    r.nDir = 700;
    r.nRev = 30;
    r.nDirMax = 1023;
    r.nRevMax = 512;
    r.pwrDirText = "99";
    r.swrText = "1.1";
    r.voltDirText = "50";
    r.voltRefText = "0";
    const char* expected[] = {"Scale : 100W AUTO", "Scale : 100W", "Scale : 1KW",
                              "Scale : 1KW AUTO"};
    for (int16_t s = 0; s < 4; ++s) {
        r.frameScale = s;
        frame(h, w, r);
        EXPECT_EQ(text(&w, "lblDescScalaA"), expected[s]);
    }
    EXPECT_EQ(text(&w, "txtNDirA"), "700");
    EXPECT_EQ(text(&w, "txtNRevA"), "30");
    EXPECT_EQ(text(&w, "txtNDirMaxA"), "1023");
    EXPECT_EQ(text(&w, "txtNRevMaxA"), "512");
    EXPECT_EQ(text(&w, "txtVA"), "2.5");
    EXPECT_EQ(text(&w, "txtVArev"), "1.3");  // 2.50 x 512 / 1024 = 1.25
    EXPECT_EQ(text(&w, "txtVoltDirA"), "5.0");
    EXPECT_EQ(text(&w, "txtVoltRefA"), "0.0");
    EXPECT_EQ(text(&w, "txtVDirA"), "99");
    EXPECT_EQ(text(&w, "txtSWRA"), "1.1");

    w.VScrollVref->setValue(500);
    EXPECT_EQ(text(&w, "txtVRef"), "5.00");
    frame(h, w, r);
    EXPECT_EQ(text(&w, "txtVA"), "5.0");

    r.channel = "B";
    r.frameScale = 2;
    r.nDirMax = 100;
    frame(h, w, r);
    EXPECT_EQ(text(&w, "lblDescScalaB"), "Scale : 500W");
    EXPECT_EQ(text(&w, "txtNDirMaxB"), "100");
    EXPECT_EQ(text(&w, "lblDescScalaA"), "Scale : 1KW AUTO");
}

TEST(Timing, AverageOfFiveAFrameIntervals) {
    FakeHost h;
    frmTiming w(h);
    w.showDisplay();
    ChannelReading a;
    a.channel = "A";
    ChannelReading b;
    b.channel = "B";
    auto tick = [&](int ms) { h.p.now += static_cast<uint32_t>(ms); };
    // The first A frame only starts the first interval.
    frame(h, w, a);
    for (int k = 0; k < 5; ++k) {
        tick(20);
        frame(h, w, b);  // B frames do not count
        tick(20);
        frame(h, w, a);
        EXPECT_EQ(text(&w, "txtTimeFwdA"), "");
    }
    tick(40);
    frame(h, w, a);  // the sixth interval shows the average of the five before
    EXPECT_EQ(text(&w, "txtTimeFwdA"), "40.0");
    for (int k = 0; k < 5; ++k) {
        tick(7);
        frame(h, w, a);
    }
    EXPECT_EQ(text(&w, "txtTimeFwdA"), "40.0");
    tick(7);
    frame(h, w, a);
    EXPECT_EQ(text(&w, "txtTimeFwdA"), "7.0");
}

TEST(Timing, TickCounterWrapAndStoredReference) {
    FakeHost h;
    WriteIni("Test", "VRef", "330", h.g.SettingsPath);
    frmTiming w(h);
    w.showDisplay();
    EXPECT_EQ(w.VScrollVref->value(), 330);
    EXPECT_EQ(text(&w, "txtVRef"), "3.30");
    ChannelReading a;
    a.channel = "A";
    h.p.now = 0xFFFFFFF0u;
    frame(h, w, a);
    for (int k = 0; k < 6; ++k) {
        h.p.now += 50;
        frame(h, w, a);
    }
    EXPECT_EQ(text(&w, "txtTimeFwdA"), "50.0");
}
