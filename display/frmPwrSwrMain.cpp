#include "core/modGlobal.h"

#include "display/frmPwrSwrMain.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "resources/Images.h"

namespace quellon {

namespace {

const DisplayFrame::Mode kPwrSwrMode{
    .objectName = "frmPwrSwrMain",
    .caption = "Power & SWR",
    .section = "PwrSwr",
    .hasDataLog = true,
    .hasChannelWindows = true,
    .yellowWhenLogging = true,
    .tooltipsSetCmd = false,
    .tooltipLog = true,
};

}  // namespace

frmPwrSwrChannel::frmPwrSwrChannel(DisplayHost& host, char letter)
    : ChannelWindow(host, "PwrSwr", letter) {
    setObjectName(withLetter("frmPwrSwr", letter));
    setWindowTitle(QStringLiteral("Channel ") + QChar::fromLatin1(letter));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 6);

    QWidget* pic = makeDragArea("Picture1");
    auto* picLay = new QHBoxLayout(pic);
    picLay->setContentsMargins(6, 6, 6, 6);
    auto* logo = new QLabel;
    logo->setPixmap(logoPixmap(QSize(150, 40), devicePixelRatioF()));
    picLay->addWidget(logo);
    QFont bold = lblChannel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblChannel->setFont(bold);
    picLay->addWidget(lblChannel, 1);
    useBannerColours(pic);
    lay->addWidget(pic);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 0, 8, 0);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    txtPwr = makeBox(withLetter("txtPwr", letter), QStringLiteral("0"), 90);
    txtSWR = makeBox(withLetter("txtSWR", letter), QStringLiteral("0"), 90);
    txtPwr->setFont(big);
    txtSWR->setFont(big);
    row->addWidget(new QLabel(QStringLiteral("Watt")));
    row->addWidget(txtPwr);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("SWR")));
    row->addWidget(txtSWR);
    lay->addLayout(row);

    ProgressBar1 = new LevelBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1024);
    ProgressBar1->setValue(0);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(8, 0, 8, 0);
    barRow->addWidget(ProgressBar1);
    lay->addLayout(barRow);
    readouts = std::make_unique<DeferredReadouts>(
        this, [this](int, const ChannelReading& r) { showReading(r); });
}

void frmPwrSwrChannel::showReading(const ChannelReading& r) {
    setTextIfChanged(txtPwr, qs(r.pwrDirMaxText));
    showSwrText(txtSWR, r.swrText);
}

frmPwrSwrMain::frmPwrSwrMain(DisplayHost& host) : DisplayFrame(host, kPwrSwrMode) {
    a_ = new frmPwrSwrChannel(host, 'A');
    b_ = new frmPwrSwrChannel(host, 'B');
    setChannelWindows(a_, b_);
}

void frmPwrSwrMain::updateStep(const ChannelReading& r) {
    frmPwrSwrChannel* w = r.channel == "A" ? a_ : b_;
    w->readouts->post(0, r);
    // A count beyond the bar's range shows as a full (or empty) bar.
    w->ProgressBar1->setValue(r.nDir > g_.params.nFwdMin ? r.nDir : 0);
}

}  // namespace quellon
