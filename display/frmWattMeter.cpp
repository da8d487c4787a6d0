#include "core/modGlobal.h"

#include "display/frmWattMeter.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace quellon {

namespace {

const DisplayFrame::Mode kWattMeterMode{
    .objectName = "frmWattMeter",
    .caption = "WattMeter",
    .section = "WattMeter",
    .hasDataLog = true,
    .hasChannelWindows = false,
    .yellowWhenLogging = true,
    .tooltipsSetCmd = false,
    .tooltipLog = true,
};

}  // namespace

frmWattMeter::frmWattMeter(DisplayHost& host) : GroupedDisplay(host, kWattMeterMode) {
    for (char c : {'A', 'B'}) {
        Boxes& b = c == 'A' ? a_ : b_;
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.4);
        big.setBold(true);
        b.vDir = makeBox(withLetter("txtVDir", c), QString());
        b.vRev = makeBox(withLetter("txtVRev", c), QString());
        b.vDirMax = makeBox(withLetter("txtVDirMax", c), QString());
        b.vRevMax = makeBox(withLetter("txtVRevMax", c), QString());
        b.swr = makeBox(withLetter("txtSWR", c), QString());
        for (QLineEdit* e : {b.vDir, b.vRev, b.vDirMax, b.vRevMax, b.swr}) e->setFont(big);
        grid->addWidget(new QLabel(QStringLiteral("Power FWD")), 0, 0);
        grid->addWidget(b.vDir, 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Peak")), 0, 2);
        grid->addWidget(b.vDirMax, 0, 3);
        grid->addWidget(new QLabel(QStringLiteral("Power REF")), 1, 0);
        grid->addWidget(b.vRev, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Max")), 1, 2);
        grid->addWidget(b.vRevMax, 1, 3);
        grid->addWidget(new QLabel(QStringLiteral("SWR")), 2, 0);
        grid->addWidget(b.swr, 2, 1);
    }
    readouts_ = std::make_unique<DeferredReadouts>(
        this, [this](int channel, const ChannelReading& r) { showReading(channel, r); });
}

void frmWattMeter::updateStep(const ChannelReading& r) {
    readouts_->post(r.channel == "A" ? 0 : 1, r);
}

void frmWattMeter::showReading(int channel, const ChannelReading& r) {
    Boxes& b = channel == 0 ? a_ : b_;
    setTextIfChanged(b.vDir, qs(r.pwrDirText));
    setTextIfChanged(b.vRev, qs(r.pwrRefText));
    setTextIfChanged(b.vDirMax, qs(r.pwrDirMaxText));
    setTextIfChanged(b.vRevMax, qs(r.pwrRefMaxText));
    setTextIfChanged(b.swr, qs(r.swrText));
}

}  // namespace quellon
