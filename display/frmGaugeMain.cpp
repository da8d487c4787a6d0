#include "core/modGlobal.h"

#include "display/frmGaugeMain.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "link/Format.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

const DisplayFrame::Mode kGaugeMode{
    .objectName = "frmGaugeMain",
    .caption = "Power & SWR",
    .section = "Gauge",
    .hasDataLog = true,
    .hasChannelWindows = true,
    .yellowWhenLogging = true,
    .tooltipsSetCmd = true,
    .tooltipLog = true,
};

// Needle arguments of both instruments.
constexpr int kMtype = 3;
constexpr double kMmin = 7.8, kMmax = 21.8, kHandl = -0.4;
constexpr int kHandw = 1;
const std::string kBlue = "16711680";  // 0xFF0000 in blue-green-red order

}  // namespace

frmGaugeChannel::frmGaugeChannel(DisplayHost& host, char letter)
    : ChannelWindow(host, "Gauge", letter) {
    setObjectName(withLetter("frmGauge", letter));
    setWindowTitle(QStringLiteral("Channel ") + QChar::fromLatin1(letter));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    QWidget* pic = makeDragArea("Picture2");
    useBannerColours(pic);
    lay->addWidget(pic);

    auto* grid = new QGridLayout(pic);
    grid->setContentsMargins(8, 6, 8, 8);
    QFont bold = lblChannel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lblChannel->setFont(bold);
    grid->addWidget(lblChannel, 0, 0, 1, 2);

    const QSize dial(240, 150);
    swr_ = new DialArea(DialKind::Swr, dial, pic);
    swr_->setObjectName(QStringLiteral("Picture1_3"));
    power_ = new DialArea(DialKind::Power, dial, pic);
    power_->setObjectName(QStringLiteral("Picture1_1"));
    grid->addWidget(swr_, 1, 0);
    grid->addWidget(power_, 1, 1);

    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    auto* swrRow = new QHBoxLayout;
    auto* l4 = new QLabel(QStringLiteral("SWR"));
    l4->setObjectName(QStringLiteral("Label4"));
    txtSWR = makeBox(withLetter("txtSWR", letter), QStringLiteral("---"), 90);
    txtSWR->setFont(big);
    swrRow->addWidget(l4);
    swrRow->addWidget(txtSWR, 1);
    grid->addLayout(swrRow, 2, 0);

    auto* pwrRow = new QHBoxLayout;
    auto* l2 = new QLabel(QStringLiteral("Watt"));
    l2->setObjectName(QStringLiteral("Label2"));
    txtPwr = makeBox(withLetter("txtPwr", letter), QStringLiteral("1000"), 90);
    txtPwr->setFont(big);
    lblScaleMult = new QLabel;
    lblScaleMult->setObjectName(withLetter("lblScaleMult", letter));
    lblScaleMult->setMinimumWidth(40);
    lblScaleMult->setFont(bold);
    pwrRow->addWidget(l2);
    pwrRow->addWidget(txtPwr, 1);
    pwrRow->addWidget(lblScaleMult);
    grid->addLayout(pwrRow, 2, 1);

    chkPeak = new QCheckBox(QStringLiteral("Peak / Average"));
    chkPeak->setObjectName(withLetter("chkPeak", letter));
    grid->addWidget(chkPeak, 3, 1);
    readouts = std::make_unique<DeferredReadouts>(this, [this](int, const ChannelReading& r) {
        const NeedleValues& n = pendingNeedles;
        analogmeter(1, kMtype, 0, n.fullScale, kMmin, kMmax, kHandw, kBlue, kHandl, n.power);
        analogmeter(3, kMtype, 0, 60, kMmin, kMmax, kHandw, kBlue, kHandl, n.swrTenths);
        setTextIfChanged(txtPwr, qs(r.pwrDirMaxText));
        showSwrText(txtSWR, r.swrText);
        setTextIfChanged(lblScaleMult, qs(r.scaleMultText));
    });
}

void frmGaugeChannel::analogmeter(int Index, int Mtype, double Emin, double Emax, double Mmin,
                                  double Mmax, int Handw, const std::string& Color, double Handl,
                                  double Value) {
    DialArea* a = area(Index);
    if (!a) return;
    const double tpp = winpos::twipsPerPixel();
    NeedleGeometry g = needleGeometry(a->width() * tpp, a->height() * tpp, Mtype, Emin, Emax, Mmin,
                                      Mmax, Handl, Value);
    const double c = leadingNumber(Color);
    const uint32_t v = (c >= 0 && c <= 16777215) ? static_cast<uint32_t>(c) : 0;
    a->setNeedle(g, QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF), Handw);
}

void frmGaugeChannel::loadExtra() {
    const std::string key = letter_ == 'A' ? "PeakA" : "PeakB";
    auto v = roundHalfEven16(leadingNumber(ReadIni("Gauge", key, host_.state().SettingsPath, "0")));
    chkPeak->setChecked(v && *v != 0);
}

void frmGaugeChannel::unloadExtra() {
    WriteIni("Gauge", letter_ == 'A' ? "PeakA" : "PeakB", chkPeak->isChecked() ? "1" : "0",
             host_.state().SettingsPath);
}

frmGaugeMain::frmGaugeMain(DisplayHost& host) : DisplayFrame(host, kGaugeMode) {
    a_ = new frmGaugeChannel(host, 'A');
    b_ = new frmGaugeChannel(host, 'B');
    setChannelWindows(a_, b_);
}

void frmGaugeMain::loadMode() {
    fullScale_ = 100;
    for (frmGaugeChannel* w : {a_, b_}) {
        w->analogmeter(1, kMtype, 0, 100, kMmin, kMmax, kHandw, kBlue, kHandl, 0);
        w->analogmeter(3, kMtype, 0, 60, kMmin, kMmax, kHandw, kBlue, kHandl, 0);
    }
}

void frmGaugeMain::updateStep(const ChannelReading& r) {
    // The needles' range is that of the last frame with power on either
    // channel since the window loaded: a frame without power has no scale.
    if (r.nDir > g_.params.nFwdMin || r.nRev > g_.params.nFwdMin) fullScale_ = r.fullScalePower;
    if (r.channel == "A") updateGauge(*a_, r);
    else if (r.channel == "B" && b_->isVisible()) updateGauge(*b_, r);
}

void frmGaugeMain::updateGauge(frmGaugeChannel& w, const ChannelReading& r) {
    double power = 0;
    if (r.nDir > g_.params.nFwdMin) power = w.chkPeak->isChecked() ? r.pwrDir : r.pwrDirMax;
    w.pendingNeedles = {.fullScale = fullScale_,
                        .power = power,
                        .swrTenths = std::min(static_cast<double>(r.swrValue), 6.0) * 10};
    w.readouts->post(0, r);
}

}  // namespace quellon
