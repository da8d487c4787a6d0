// What each display mode shows for a frame.

#include "DisplayFakes.h"

#include <gtest/gtest.h>
#include <QCheckBox>

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
    std::tie(r.swrValue, r.swrText) = std::tuple(8.3f, "HIG");
    h.frame(w, r);
    EXPECT_EQ(textColor(a, "txtSWRA"), kRed);
    EXPECT_DOUBLE_EQ(a->area(3)->needle().theta, dial(60, 60));
}

TEST(TextModes, WattMeterAndVoltageShowTextsUnchangedPerChannel) {
    FakeHost h;
    auto& w = h.open<frmWattMeter>();
    ChannelReading r = reading("A", 0, "50.0", "HIG");
    std::tie(r.pwrDirText, r.pwrRefText, r.pwrRefMaxText) = std::tuple("49.9", "1.2", "2.1");
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "txtVDirA txtVRevA txtVDirMaxA txtVRevMaxA txtSWRA"),
              "49.9|1.2|50.0|2.1|HIG");
    EXPECT_EQ(textColor(&w, "txtSWRA"), textColor(&w, "txtSWRB"));  // no red here

    FakeHost hv;
    auto& v = hv.open<frmVoltage>();
    r = reading("B");
    std::tie(r.voltDirText, r.voltRefText) = std::tuple("70.7", "0");
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
    std::tie(r.nRev, r.nDirMax, r.nRevMax, r.frameScale) = std::tuple(30, 1023, 512, 3);
    std::tie(r.pwrDirText, r.voltDirText, r.voltRefText) = std::tuple("99", "50", "0");
    h.frame(w, r);
    EXPECT_EQ(texts(&w, "lblDescScalaA txtNDirA txtNRevA txtNDirMaxA txtNRevMaxA"),
              "Scale : 1KW AUTO|700|30|1023|512");
    // 2.50 V reference: 2.50 x 1023 / 1024 and 2.50 x 512 / 1024 = 1.25.
    EXPECT_EQ(texts(&w, "txtVA txtVArev txtVoltDirA txtVoltRefA"), "2.5|1.3|5.0|0.0");
}

// Intervals between A frames, shown as the average of the five before; the first
// one crosses the tick counter's wrap.
TEST(Timing, AverageOfFiveAFrameIntervalsAcrossTheWrapAndStoredReference) {
    FakeHost h;
    h.set("Test", "VRef", "330");
    auto& w = h.open<frmTiming>();
    EXPECT_EQ(texts(&w, "txtVRef"), "3.30");
    auto aFrameAfter = [&](int ms) {
        h.p.now += static_cast<uint32_t>(ms);
        h.frame(w, reading("A"));
    };
    h.p.now = 0xFFFFFFF0u;
    h.frame(w, reading("A"));  // the first A frame only starts the first interval
    for (int k = 0; k < 5; ++k) {
        h.p.now += 20;
        h.frame(w, reading("B"));  // B frames do not count
        aFrameAfter(20);
        EXPECT_EQ(texts(&w, "txtTimeFwdA"), "");
    }
    aFrameAfter(40);
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "40.0");
    for (int k = 0; k < 5; ++k) aFrameAfter(7);
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "40.0");
    aFrameAfter(7);
    EXPECT_EQ(texts(&w, "txtTimeFwdA"), "7.0");
}
