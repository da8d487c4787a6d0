#pragma once
// Mode 0: bargraphs. Each channel has a window of its own with the power, the
// SWR and a bar of the forward count.

#include <memory>

#include "display/DisplayFrame.h"
#include "display/LevelBar.h"
#include "display/ModeParts.h"

class QLineEdit;

namespace quellon {

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
    void updateStep(const ChannelReading& r) override;

private:
    frmPwrSwrChannel *a_ = nullptr, *b_ = nullptr;
};

}  // namespace quellon
