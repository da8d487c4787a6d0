// What each display mode shows for a frame.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QGroupBox>
#include <QScrollBar>
#include <tuple>

#include "display/Modes.h"

using namespace quellon;
using namespace quellon::testing;

namespace {

const char *const kRed = "#ff0000", *const kBlack = "#000000";

ChannelReading reading(const char* ch, int16_t nDir = 0, const char* pwrMax = "",
                       const char* swr = "") {
    ChannelReading r;
    r.channel = ch;
    r.nDir = nDir;
    r.pwrDirMaxText = pwrMax;
    r.swrText = swr;
    return r;
}

// Needle angle on the gauge's dials (pivot below the face, 7.8 to 21.8 units).
double dial(double max, double value) { return needleTheta(3, 0, max, 7.8, 21.8, value); }

}  // namespace

TEST(Bargraph, SwrTextsColoursAndBar) {
    FakeHost h;
    h.g.params.nFwdMin = 10;
    auto& w = h.open<frmPwrSwrMain>();
    QWidget* a = w.windowA();
    EXPECT_EQ(texts(a, "txtPwrA txtSWRA"), "0|0");
    const std::tuple<int16_t, const char*, const char*, const char*, const char*, int> rows[] = {
        {500, "87", "1.5", "87|1.5:1", kBlack, 500},
        {500, "87", "HIG", "87|HIG", kRed, 500},
        {500, "87", "2", "87|2.0:1", kBlack, 500},
        {10, "0", "---", "0|---", kBlack, 0},  // at nFwdMin
        {11, "0", "1", "0|1.0:1", kBlack, 11},
        {2000, "0", "1", "0|1.0:1", kBlack, 1024}};  // beyond the 10-bit range: stays full
    for (auto [nDir, pwr, swr, shownTexts, colour, bar] : rows) {
        SCOPED_TRACE(std::string(swr) + " at " + std::to_string(nDir));
        h.frame(w, reading("A", nDir, pwr, swr));
        EXPECT_EQ(h.g.streamState, 1);
        EXPECT_EQ(texts(a, "txtPwrA txtSWRA"), shownTexts);
        EXPECT_EQ(textColor(a, "txtSWRA"), colour);
        EXPECT_EQ(w.windowA()->ProgressBar1->value(), bar);
    }
}

TEST(Bargraph, ChannelsAreIndependentAndStateGatesUpdates) {
    FakeHost h;
    auto& w = h.open<frmPwrSwrMain>();
    h.frame(w, reading("A", 300, "12", "HIG"));
    h.frame(w, reading("B", 400, "45", "1.2"));
    EXPECT_EQ(texts(w.windowA(), "txtPwrA txtSWRA"), "12|HIG");
    EXPECT_EQ(texts(w.windowB(), "txtPwrB txtSWRB"), "45|1.2:1");
    EXPECT_EQ(w.windowA()->ProgressBar1->value(), 300);
    EXPECT_EQ(w.windowB()->ProgressBar1->value(), 400);
    // A hidden channel window is updated all the same; any letter but A is channel B.
    w.cmdChB_Click();
    h.frame(w, reading("X", 100, "7", "1"));
    EXPECT_EQ(texts(w.windowB(), "txtPwrB"), "7");
    // No new reading: nothing changes.
    h.g.reading = reading("A", 1, "99", "3");
    h.g.streamState = 1;
    w.aggiornaDati();
    EXPECT_EQ(texts(w.windowA(), "txtPwrA"), "12");
}

TEST(Gauge, StartupRestsNeedlesAtDialStart) {
    FakeHost h;
    h.g.reading.scaleMultText = "x2";
    h.g.reading.fullScalePower = 0;
    auto& w = h.open<frmGaugeMain>();
    EXPECT_EQ(h.g.reading.scaleMultText, "");
    EXPECT_EQ(h.g.reading.fullScalePower, 100);
    for (frmGaugeChannel* g : {w.windowA(), w.windowB()}) {
        for (int area : {1, 3}) {
            ASSERT_TRUE(g->area(area)->hasNeedle());
            EXPECT_DOUBLE_EQ(g->area(area)->needle().theta, dial(100, 0));
        }
    }
    EXPECT_EQ(texts(w.windowA(), "txtPwrA txtSWRA"), "1000|---");
}

TEST(Gauge, NeedlesTextsAndPeakSwitch) {
    FakeHost h;
    h.g.params.nFwdMin = 20;
    auto& w = h.open<frmGaugeMain>();
    frmGaugeChannel* a = w.windowA();
    auto power = [&] { return a->area(1)->needle().theta; };
    ChannelReading r = reading("A", 600, "75", "1.5");
    r.pwrDir = 420;
    r.pwrDirMax = 750;
    r.swrValue = 1.5f;
    r.fullScalePower = 1000;
    r.scaleMultText = "x1";
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 750));  // peak
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, dial(60, 15));
    EXPECT_EQ(texts(a, "txtPwrA txtSWRA lblScaleMultA"), "75|1.5:1|x1");

    a->chkPeak->setChecked(true);  // average; the text always shows the peak
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 420));
    EXPECT_EQ(texts(a, "txtPwrA"), "75");

    r.nDir = 20;  // at nFwdMin: the needle drops although a peak text remains
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 0));

    // The SWR needle stops at 6; texts and colours as in the bargraph.
    const std::tuple<float, const char*, const char*, const char*> rows[] = {
        {8.3f, "HIG", "HIG", kRed}, {1, "1", "1.0:1", kBlack}, {0, "---", "---", kBlack}};
    for (auto [value, text, shownText, colour] : rows) {
        SCOPED_TRACE(text);
        r.swrValue = value;
        r.swrText = text;
        h.frame(w, r);
        EXPECT_EQ(texts(a, "txtSWRA"), shownText);
        EXPECT_EQ(textColor(a, "txtSWRA"), colour);
        EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, dial(60, std::min(value, 6.0f) * 10));
        EXPECT_FLOAT_EQ(h.g.reading.swrValue, std::min(value, 6.0f));
    }
}

TEST(Gauge, HiddenBIsLeftAloneAndPeakIsSaved) {
    FakeHost h;
    auto& w = h.open<frmGaugeMain>();
    ChannelReading r = reading("B", 600, "33", "1.2");
    r.pwrDirMax = 330;
    r.fullScalePower = 1000;
    r.swrValue = 1.2f;
    w.cmdChB_Click();  // hide B
    h.frame(w, r);
    EXPECT_EQ(h.g.streamState, 1);
    EXPECT_EQ(texts(w.windowB(), "txtPwrB"), "1000");
    w.cmdChB_Click();
    h.frame(w, r);
    EXPECT_EQ(texts(w.windowB(), "txtPwrB txtSWRB"), "33|1.2:1");
    EXPECT_EQ(texts(w.windowA(), "txtPwrA"), "1000");

    w.windowB()->chkPeak->setChecked(true);
    w.unloadDisplay();
    EXPECT_EQ(h.ini("Gauge", "PeakB PeakA"), "1|0");
    auto& again = h.open<frmGaugeMain>();
    EXPECT_TRUE(again.windowB()->chkPeak->isChecked());
    EXPECT_FALSE(again.windowA()->chkPeak->isChecked());
}

TEST(TextModes, WattMeterAndVoltageShowTextsUnchangedPerChannel) {
    FakeHost h;
    auto& w = h.open<frmWattMeter>();
    ChannelReading r = reading("A", 0, "50.0", "HIG");
    r.pwrDirText = "49.9";
    r.pwrRefText = "1.2";
    r.pwrRefMaxText = "2.1";
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "txtVDirA txtVRevA txtVDirMaxA txtVRevMaxA txtSWRA"),
              "49.9|1.2|50.0|2.1|HIG");
    EXPECT_EQ(texts(&w, "txtVDirB txtVRevB txtVDirMaxB txtVRevMaxB txtSWRB"), "||||");
    EXPECT_EQ(textColor(&w, "txtSWRA"), textColor(&w, "txtSWRB"));  // no red here
    r.channel = "B";
    r.swrText = "1";
    r.pwrDirText = "800";
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "txtSWRB txtVDirB txtVDirA txtSWRA"), "1|800|49.9|HIG");

    FakeHost hv;
    auto& v = hv.open<frmVoltage>();
    r = reading("B");
    r.voltDirText = "70.7";
    r.voltRefText = "0";
    hv.frame(v, r);
    EXPECT_EQ(texts(&v, "txtVDirB txtVRevB txtVDirA txtVRevA"), "70.7|0||");
    EXPECT_EQ(v.findChild<QGroupBox*>("frameA")->title(), "Channel A");
}

TEST(Timing, CountsVoltsAndScale) {
    FakeHost h;
    h.g.BridgeFirmwareVersion = "2.3";
    h.g.ScaleTextA = {"100W", "1KW"};
    h.g.ScaleTextB = {"50W", "500W"};
    auto& w = h.open<frmTiming>();
    EXPECT_EQ(w.VScrollVref->value(), 250);
    EXPECT_EQ(texts(&w, "lblVersion txtVRef"), "Win v1.10 -- Pic v2.3|2.50");

    ChannelReading r = reading("A", 700, "", "1.1");
    r.nRev = 30;
    r.nDirMax = 1023;
    r.nRevMax = 512;
    r.pwrDirText = "99";
    r.voltDirText = "50";
    r.voltRefText = "0";
    const char* scales[] = {"Scale : 100W AUTO", "Scale : 100W", "Scale : 1KW", "Scale : 1KW AUTO"};
    for (int16_t s = 0; s < 4; ++s) {
        r.frameScale = s;
        h.frame(w, r);
        EXPECT_EQ(texts(&w, "lblDescScalaA"), scales[s]);
    }
    EXPECT_EQ(texts(&w, "txtNDirA txtNRevA txtNDirMaxA txtNRevMaxA"), "700|30|1023|512");
    // 2.50 V reference: 2.50 x 1023 / 1024 and 2.50 x 512 / 1024 = 1.25.
    EXPECT_EQ(texts(&w, "txtVA txtVArev txtVoltDirA txtVoltRefA"), "2.5|1.3|5.0|0.0");
    EXPECT_EQ(texts(&w, "txtVDirA txtSWRA"), "99|1.1");

    w.VScrollVref->setValue(500);
    EXPECT_EQ(texts(&w, "txtVRef"), "5.00");
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "txtVA"), "5.0");

    r.channel = "B";
    r.frameScale = 2;
    r.nDirMax = 100;
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "lblDescScalaB txtNDirMaxB lblDescScalaA"),
              "Scale : 500W|100|Scale : 1KW AUTO");
}

TEST(Timing, AverageOfFiveAFrameIntervals) {
    FakeHost h;
    auto& w = h.open<frmTiming>();
    auto aFrameAfter = [&](int ms) {
        h.p.now += static_cast<uint32_t>(ms);
        h.frame(w, reading("A"));
    };
    h.frame(w, reading("A"));  // the first A frame only starts the first interval
    for (int k = 0; k < 5; ++k) {
        h.p.now += 20;
        h.frame(w, reading("B"));  // B frames do not count
        aFrameAfter(20);
        EXPECT_EQ(texts(&w, "txtTimeFwdA"), "");
    }
    aFrameAfter(40);  // the sixth interval shows the average of the five before
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "40.0");
    for (int k = 0; k < 5; ++k) aFrameAfter(7);
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "40.0");
    aFrameAfter(7);
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "7.0");
}

TEST(Timing, TickCounterWrapAndStoredReference) {
    FakeHost h;
    h.set("Test", "VRef", "330");
    auto& w = h.open<frmTiming>();
    EXPECT_EQ(w.VScrollVref->value(), 330);
    EXPECT_EQ(texts(&w, "txtVRef"), "3.30");
    h.p.now = 0xFFFFFFF0u;
    h.frame(w, reading("A"));
    for (int k = 0; k < 6; ++k) {
        h.p.now += 50;
        h.frame(w, reading("A"));
    }
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "50.0");
}
