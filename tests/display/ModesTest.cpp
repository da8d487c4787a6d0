// What each display mode shows for a frame.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>
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
    std::tie(r.channel, r.nDir, r.pwrDirMaxText, r.swrText) = std::tuple(ch, nDir, pwrMax, swr);
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
    const std::tuple<int16_t, const char*, const char*, const char*, const char*, int> rows[] = {
        {500, "87", "HIG", "87|HIG", kRed, 500},
        {500, "87", "2", "87|2.0:1", kBlack, 500},
        {10, "0", "---", "0|---", kBlack, 0},        // at nFwdMin
        {2000, "0", "1", "0|1.0:1", kBlack, 1024}};  // beyond the 10-bit range: stays full
    for (auto [nDir, pwr, swr, shownTexts, colour, bar] : rows) {
        SCOPED_TRACE(std::string(swr) + " at " + std::to_string(nDir));
        h.frame(w, reading("A", nDir, pwr, swr));
        EXPECT_EQ(texts(a, "txtPwrA txtSWRA"), shownTexts);
        EXPECT_EQ(textColor(a, "txtSWRA"), colour);
        EXPECT_EQ(w.windowA()->ProgressBar1->value(), bar);
    }
}

TEST(Gauge, NeedlesTextsAndPeakSwitch) {
    FakeHost h;
    h.g.params.nFwdMin = 20;
    auto& w = h.open<frmGaugeMain>();
    frmGaugeChannel* a = w.windowA();
    auto power = [&] { return a->area(1)->needle().theta; };
    ChannelReading r = reading("A", 600, "75", "1.5");
    std::tie(r.pwrDir, r.pwrDirMax, r.swrValue, r.fullScalePower) = std::tuple(420, 750, 1.5f, 1e3);
    r.scaleMultText = "x1";
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 750));  // peak
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, dial(60, 15));
    EXPECT_EQ(texts(a, "txtPwrA txtSWRA lblScaleMultA"), "75|1.5:1|x1");
    a->chkPeak->setChecked(true);  // average; the text always shows the peak
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 420));
    EXPECT_EQ(texts(a, "txtPwrA"), "75");
    r.nDir = 20;  // at nFwdMin the needle drops although a peak text remains
    h.frame(w, r);
    EXPECT_DOUBLE_EQ(power(), dial(1000, 0));
    // The SWR needle stops at 6.
    r.swrValue = 8.3f;
    r.swrText = "HIG";
    h.frame(w, r);
    EXPECT_EQ(textColor(a, "txtSWRA"), kRed);
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, dial(60, 60));
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
    EXPECT_EQ(textColor(&w, "txtSWRA"), textColor(&w, "txtSWRB"));  // no red here

    FakeHost hv;
    auto& v = hv.open<frmVoltage>();
    r = reading("B");
    r.voltDirText = "70.7";
    r.voltRefText = "0";
    hv.frame(v, r);
    EXPECT_EQ(texts(&v, "txtVDirB txtVRevB txtVDirA txtVRevA"), "70.7|0||");
}

TEST(Timing, CountsVoltsAndScale) {
    FakeHost h;
    h.g.BridgeFirmwareVersion = "2.3";
    h.g.ScaleTextA = {"100W", "1KW"};
    auto& w = h.open<frmTiming>();
    EXPECT_EQ(texts(&w, "lblVersion txtVRef"), "Win v1.10 -- Pic v2.3|2.50");

    ChannelReading r = reading("A", 700, "", "1.1");
    r.nRev = 30;
    r.nDirMax = 1023;
    r.nRevMax = 512;
    r.pwrDirText = "99";
    r.voltDirText = "50";
    r.voltRefText = "0";
    r.frameScale = 3;
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "lblDescScalaA txtNDirA txtNRevA txtNDirMaxA txtNRevMaxA"),
              "Scale : 1KW AUTO|700|30|1023|512");
    // 2.50 V reference: 2.50 x 1023 / 1024 and 2.50 x 512 / 1024 = 1.25.
    EXPECT_EQ(texts(&w, "txtVA txtVArev txtVoltDirA txtVoltRefA"), "2.5|1.3|5.0|0.0");
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
    EXPECT_EQ(texts(&w, "txtVRef"), "3.30");
    h.p.now = 0xFFFFFFF0u;
    h.frame(w, reading("A"));
    for (int k = 0; k < 6; ++k) {
        h.p.now += 50;
        h.frame(w, reading("A"));
    }
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "50.0");
}
