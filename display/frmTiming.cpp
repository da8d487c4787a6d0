#include "core/Version.h"
#include "core/modGlobal.h"

#include "display/frmTiming.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "link/Format.h"
#include "platform/Platform.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

const DisplayFrame::Mode kTimingMode{
    .objectName = "frmTiming",
    .caption = "Test",
    .section = "Test",
    .hasDataLog = true,
    .hasChannelWindows = false,
    .yellowWhenLogging = true,
    .tooltipsSetCmd = false,
    .tooltipLog = false,
};

}  // namespace

frmTiming::frmTiming(DisplayHost& host) : GroupedDisplay(host, kTimingMode) {
    for (char c : {'A', 'B'}) {
        Boxes& b = c == 'A' ? a_ : b_;
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        b.vDir = makeBox(withLetter("txtVDir", c), QString());
        b.vRev = makeBox(withLetter("txtVRev", c), QString());
        b.vDirMax = makeBox(withLetter("txtVDirMax", c), QString());
        b.vRevMax = makeBox(withLetter("txtVRevMax", c), QString());
        b.swr = makeBox(withLetter("txtSWR", c), QString());
        b.nDir = makeBox(withLetter("txtNDir", c), QString(), 50);
        b.nRev = makeBox(withLetter("txtNRev", c), QString(), 50);
        b.nDirMax = makeBox(withLetter("txtNDirMax", c), QString(), 50);
        b.nRevMax = makeBox(withLetter("txtNRevMax", c), QString(), 50);
        b.voltDir = makeBox(withLetter("txtVoltDir", c), QString(), 50);
        b.voltRef = makeBox(withLetter("txtVoltRef", c), QString(), 50);
        b.vDet = makeBox(withLetter("txtV", c), QString(), 50);
        b.vDetRev = makeBox(withLetter("txtV", c) + QStringLiteral("rev"), QString(), 50);
        b.descScala = new QLabel(QStringLiteral("Scale : "));
        b.descScala->setObjectName(withLetter("lblDescScala", c));
        int row = 0;
        grid->addWidget(new QLabel(QStringLiteral("FWD Watt")), row, 0);
        grid->addWidget(b.vDir, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("Peak")), row, 2);
        grid->addWidget(b.vDirMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("REF Watt")), row, 0);
        grid->addWidget(b.vRev, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("Max")), row, 2);
        grid->addWidget(b.vRevMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("SWR")), row, 0);
        grid->addWidget(b.swr, row, 1);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Samples")), row, 0);
        grid->addWidget(b.nDir, row, 1);
        grid->addWidget(b.nDirMax, row, 3);
        ++row;
        grid->addWidget(b.nRev, row, 1);
        grid->addWidget(b.nRevMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Volt at Load")), row, 0);
        grid->addWidget(b.voltDir, row, 1);
        grid->addWidget(b.voltRef, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Detector V")), row, 0);
        grid->addWidget(b.vDet, row, 1);
        grid->addWidget(b.vDetRev, row, 3);
        ++row;
        grid->addWidget(b.descScala, row, 0, 1, 4);
        if (c == 'A') {
            ++row;
            txtTimeFwdA = makeBox(QStringLiteral("txtTimeFwdA"), QString(), 50);
            grid->addWidget(new QLabel(QStringLiteral("Refresh rate  mS")), row, 0, 1, 2);
            grid->addWidget(txtTimeFwdA, row, 3);
        }
    }
    auto* refRow = new QHBoxLayout;
    VScrollVref = new QScrollBar(Qt::Vertical);
    VScrollVref->setObjectName(QStringLiteral("VScrollVref"));
    VScrollVref->setRange(100, 1000);
    VScrollVref->setInvertedAppearance(true);
    VScrollVref->setInvertedControls(false);
    VScrollVref->setFixedHeight(48);
    txtVRef = makeBox(QStringLiteral("txtVRef"), QStringLiteral("2.5"), 50);
    lblVersion = new QLabel;
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    refRow->addWidget(new QLabel(QStringLiteral("VRef")));
    refRow->addWidget(VScrollVref);
    refRow->addWidget(txtVRef);
    refRow->addStretch(1);
    refRow->addWidget(lblVersion);
    content()->addLayout(refRow);
    connect(VScrollVref, &QScrollBar::valueChanged, this,
            [this](int v) { setTextIfChanged(txtVRef, qs(format0_00(v / 100.0))); });
    readouts_ =
        std::make_unique<DeferredReadouts>(this, [this](int channel, const ChannelReading& r) {
            if (channel == 0) fill(a_, r, g_.ScaleTextA);
            else fill(b_, r, g_.ScaleTextB);
        });
}

void frmTiming::loadMode() {
    lblVersion->setText(QStringLiteral("Win v") + QString::fromLatin1(kProgramVersion) +
                        QStringLiteral(" -- Pic v") + qs(g_.BridgeFirmwareVersion));
}

void frmTiming::loadModeLate() {
    auto v = roundHalfEven16(leadingNumber(ReadIni("Test", "VRef", g_.SettingsPath, "250")));
    VScrollVref->setValue(v ? *v : 250);
    setTextIfChanged(txtVRef, qs(format0_00(VScrollVref->value() / 100.0)));
}

void frmTiming::saveOnExit() {
    SaveWindowSettings();
    WriteIni("Test", "VRef", std::to_string(VScrollVref->value()), g_.SettingsPath);
}

void frmTiming::fill(Boxes& b, const ChannelReading& r,
                     const std::array<std::string, 2>& scaleText) {
    setTextIfChanged(b.vDir, qs(r.pwrDirText));
    setTextIfChanged(b.vRev, qs(r.pwrRefText));
    setTextIfChanged(b.vDirMax, qs(r.pwrDirMaxText));
    setTextIfChanged(b.vRevMax, qs(r.pwrRefMaxText));
    setTextIfChanged(b.swr, qs(r.swrText));
    setTextIfChanged(b.nDir, QString::number(r.nDir));
    setTextIfChanged(b.nRev, QString::number(r.nRev));
    setTextIfChanged(b.nDirMax, QString::number(r.nDirMax));
    setTextIfChanged(b.nRevMax, QString::number(r.nRevMax));
    setTextIfChanged(b.voltDir, qs(format0_0(leadingNumber(r.voltDirText) / 10)));
    setTextIfChanged(b.voltRef, qs(format0_0(leadingNumber(r.voltRefText) / 10)));
    const double ref = VScrollVref->value();
    setTextIfChanged(b.vDet, qs(format0_0(ref / 102400.0 * r.nDirMax)));
    setTextIfChanged(b.vDetRev, qs(format0_0(ref / 102400.0 * r.nRevMax)));
    std::string desc = "Scale : " + scaleText[r.frameScale >= 2 ? 1 : 0];
    if (r.frameScale == 0 || r.frameScale == 3) desc += " AUTO";
    setTextIfChanged(b.descScala, qs(desc));
}

void frmTiming::updateStep(const ChannelReading& r) {
    if (r.channel == "A") {
        prevTick_ = lastTick_;
        lastTick_ = host_.platform().tickCount();
        // The first A frame has no earlier one: it only starts the first interval.
        if (haveTick_) {
            if (count_ < 5) {
                accum_ += lastTick_ -
                          prevTick_;  // unsigned: a wrapped tick counter still subtracts right
                ++count_;
            } else {
                setTextIfChanged(txtTimeFwdA, qs(formatHash0(accum_ / 5.0)));
                count_ = 0;
                accum_ = 0;
            }
        }
        haveTick_ = true;
        readouts_->post(0, r);
    } else {
        readouts_->post(1, r);
    }
}

}  // namespace quellon
