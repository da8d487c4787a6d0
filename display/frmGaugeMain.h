#pragma once
// Mode 1: needle gauges. Each channel has a window of its own with a power and
// an SWR dial.

#include <memory>
#include <string>

#include "display/DialArea.h"
#include "display/DisplayFrame.h"
#include "display/ModeParts.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace quellon {

class frmGaugeChannel : public ChannelWindow {
    Q_OBJECT
public:
    frmGaugeChannel(DisplayHost& host, char letter);
    // Draws one needle into drawing area Index (1 power, 3 SWR), replacing the last.
    void analogmeter(int Index, int Mtype, double Emin, double Emax, double Mmin, double Mmax,
                     int Handw, const std::string& Color, double Handl, double Value);
    DialArea* area(int index) const { return index == 1 ? power_ : index == 3 ? swr_ : nullptr; }

    QLineEdit* txtPwr = nullptr;
    QLineEdit* txtSWR = nullptr;
    QLabel* lblScaleMult = nullptr;
    QCheckBox* chkPeak = nullptr;
    std::unique_ptr<DeferredReadouts> readouts;

    // Where the needles go at the next paint, with the texts: a needle moved
    // with every frame would work out its repaint area 576 times a second for
    // some 50 paints.
    struct NeedleValues {
        double fullScale = 100;
        double power = 0;
        double swrTenths = 0;
    };
    NeedleValues pendingNeedles;

protected:
    void loadExtra() override;
    void unloadExtra() override;

private:
    DialArea *power_ = nullptr, *swr_ = nullptr;
};

class frmGaugeMain : public DisplayFrame {
    Q_OBJECT
public:
    explicit frmGaugeMain(DisplayHost& host);
    frmGaugeChannel* windowA() const { return a_; }
    frmGaugeChannel* windowB() const { return b_; }

protected:
    void updateStep(const ChannelReading& r) override;
    void loadMode() override;

private:
    void updateGauge(frmGaugeChannel& w, const ChannelReading& r);
    frmGaugeChannel *a_ = nullptr, *b_ = nullptr;
    double fullScale_ = 100;  // tenths of a watt
};

}  // namespace quellon
