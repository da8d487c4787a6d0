#pragma once
// The five display modes: 0 bargraphs, 1 needle gauges, 2 numeric wattmeter,
// 3 voltages, 4 timing and test.

#include <QColor>
#include <QPixmap>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/ChannelReading.h"
#include "display/DisplayFrame.h"
#include "resources/Images.h"
#include "resources/NeedleGeometry.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace quellon {

// Puts an SWR text into a box: one decimal for a number plus ":1"; "HIG" in red,
// "---" in black as they are.
void showSwrText(QLineEdit* box, const std::string& swrText);

// The read-outs of one window. Frames come far faster than a window paints,
// and making a text and setting it into a box (which lays the text out again)
// costs more than the rest of a frame. So the latest reading of each channel is
// kept, and its texts are made and set right before the window paints; a
// reading that comes while the window may paint at once is shown at once. Either
// way the boxes show the latest frame whenever the window is painted.
class DeferredReadouts {
public:
    using Show = std::function<void(int channel, const ChannelReading& r)>;
    // channel 0 is A, 1 is B.
    DeferredReadouts(QWidget* window, Show show);
    void post(int channel, const ChannelReading& r);
    void flush();

private:
    QWidget* window_;
    Show show_;
    std::array<ChannelReading, 2> pending_{};
    std::array<bool, 2> dirty_{};
};

// ---------------------------------------------------------------- mode 0

// A horizontal bar drawn like the platform's progress bar. QProgressBar repaints
// at once on every change of value; this one only schedules a repaint, so a
// bridge sending hundreds of frames a second does not paint hundreds of times.
class LevelBar : public QWidget {
    Q_OBJECT
public:
    explicit LevelBar(QWidget* parent = nullptr);
    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setValue(int v);  // kept inside the range
    int value() const { return value_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int min_ = 0, max_ = 100, value_ = 0;
};

class frmPwrSwrChannel : public ChannelWindow {
    Q_OBJECT
public:
    frmPwrSwrChannel(DisplayHost& host, char letter);
    void showReading(const ChannelReading& r);
    QLineEdit* txtPwr = nullptr;
    QLineEdit* txtSWR = nullptr;
    LevelBar* ProgressBar1 = nullptr;
    std::unique_ptr<DeferredReadouts> readouts;
};

class frmPwrSwrMain : public DisplayFrame {
    Q_OBJECT
public:
    explicit frmPwrSwrMain(DisplayHost& host);
    frmPwrSwrChannel* windowA() const { return a_; }
    frmPwrSwrChannel* windowB() const { return b_; }

protected:
    void updateStep() override;

private:
    frmPwrSwrChannel *a_ = nullptr, *b_ = nullptr;
};

// ---------------------------------------------------------------- mode 1

// One needle instrument: a dial face with the needle drawn over it. The needle's
// geometry is computed in twips, like the window's sizes, and drawn in pixels.
class DialArea : public QWidget {
    Q_OBJECT
public:
    DialArea(DialKind kind, QSize logicalSize, QWidget* parent);
    void setNeedle(const NeedleGeometry& g, QColor color, int width);
    const NeedleGeometry& needle() const { return needle_; }
    bool hasNeedle() const { return hasNeedle_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRect needleRect() const;
    DialKind kind_;
    QPixmap face_;
    NeedleGeometry needle_;
    QColor color_ = Qt::blue;
    int width_ = 1;
    bool hasNeedle_ = false;
};

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
    void updateStep() override;
    void loadMode() override;

private:
    void updateGauge(frmGaugeChannel& w);
    frmGaugeChannel *a_ = nullptr, *b_ = nullptr;
};

// ---------------------------------------------------------------- modes 2 to 4

// Modes whose channels sit in two group boxes of the main window.
class GroupedDisplay : public DisplayFrame {
    Q_OBJECT
public:
    GroupedDisplay(DisplayHost& host, Mode mode);
    QGroupBox* frameA = nullptr;
    QGroupBox* frameB = nullptr;

protected:
    void readChannelNames() override;
};

class frmWattMeter : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmWattMeter(DisplayHost& host);

protected:
    void updateStep() override;

private:
    void showReading(int channel, const ChannelReading& r);
    std::unique_ptr<DeferredReadouts> readouts_;
    struct Boxes {
        QLineEdit *vDir, *vRev, *vDirMax, *vRevMax, *swr;
    };
    Boxes a_{}, b_{};
};

class frmVoltage : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmVoltage(DisplayHost& host);

protected:
    void updateStep() override;

private:
    void showReading(int channel, const ChannelReading& r);
    std::unique_ptr<DeferredReadouts> readouts_;
    QLineEdit *vDirA_ = nullptr, *vRevA_ = nullptr, *vDirB_ = nullptr, *vRevB_ = nullptr;
};

class frmTiming : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmTiming(DisplayHost& host);
    QScrollBar* VScrollVref = nullptr;
    QLineEdit* txtVRef = nullptr;
    QLabel* lblVersion = nullptr;

protected:
    void updateStep() override;
    void loadMode() override;
    void loadModeLate() override;
    void saveOnExit() override;

private:
    struct Boxes {
        QLineEdit *vDir, *vRev, *vDirMax, *vRevMax, *swr, *nDir, *nRev, *nDirMax, *nRevMax,
            *voltDir, *voltRef, *vDet, *vDetRev;
        QLabel* descScala;
    };
    void fill(Boxes& b, const ChannelReading& r, const std::array<std::string, 2>& scaleText);
    std::unique_ptr<DeferredReadouts> readouts_;
    Boxes a_{}, b_{};
    QLineEdit* txtTimeFwdA = nullptr;
    uint32_t lastTick_ = 0, prevTick_ = 0;
    int16_t count_ = 0;
    uint32_t accum_ = 0;
    bool haveTick_ = false;
};

}  // namespace quellon
