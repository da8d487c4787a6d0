#include "core/modGlobal.h"

#include "display/frmVoltage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace quellon {

namespace {

// No data log here, and so no yellow lamp and no tool tips for it.
const DisplayFrame::Mode kVoltageMode{
    .objectName = "frmVoltage",
    .caption = "Voltage",
    .section = "Voltage",
    .hasDataLog = false,
    .hasChannelWindows = false,
    .yellowWhenLogging = false,
    .tooltipsSetCmd = false,
    .tooltipLog = false,
};

}  // namespace

frmVoltage::frmVoltage(DisplayHost& host) : GroupedDisplay(host, kVoltageMode) {
    for (char c : {'A', 'B'}) {
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.6);
        big.setBold(true);
        QLineEdit* d = makeBox(withLetter("txtVDir", c), QString(), 100);
        QLineEdit* rv = makeBox(withLetter("txtVRev", c), QString(), 100);
        d->setFont(big);
        rv->setFont(big);
        grid->addWidget(new QLabel(QStringLiteral("Volt RMS")), 0, 0, 1, 2, Qt::AlignHCenter);
        grid->addWidget(new QLabel(QStringLiteral("FWD")), 1, 0);
        grid->addWidget(d, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("REF")), 2, 0);
        grid->addWidget(rv, 2, 1);
        (c == 'A' ? vDirA_ : vDirB_) = d;
        (c == 'A' ? vRevA_ : vRevB_) = rv;
    }
    readouts_ = std::make_unique<DeferredReadouts>(
        this, [this](int channel, const ChannelReading& r) { showReading(channel, r); });
}

void frmVoltage::updateStep(const ChannelReading& r) {
    readouts_->post(r.channel == "A" ? 0 : 1, r);
}

void frmVoltage::showReading(int channel, const ChannelReading& r) {
    const bool a = channel == 0;
    setTextIfChanged(a ? vDirA_ : vDirB_, qs(r.voltDirText));
    setTextIfChanged(a ? vRevA_ : vRevB_, qs(r.voltRefText));
}

}  // namespace quellon
