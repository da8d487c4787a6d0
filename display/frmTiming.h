#pragma once
// Mode 4: timing and test. Every figure of both channels, the interval between
// A frames and the detector's reference voltage.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "display/GroupedDisplay.h"
#include "display/ModeParts.h"

class QLabel;
class QLineEdit;
class QScrollBar;

namespace quellon {

class frmTiming : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmTiming(DisplayHost& host);
    QScrollBar* VScrollVref = nullptr;
    QLineEdit* txtVRef = nullptr;
    QLabel* lblVersion = nullptr;

protected:
    void updateStep(const ChannelReading& r) override;
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
