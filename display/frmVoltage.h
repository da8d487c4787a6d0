#pragma once
// Mode 3: the forward and reflected voltages of both channels.

#include <memory>

#include "display/GroupedDisplay.h"
#include "display/ModeParts.h"

class QLineEdit;

namespace quellon {

class frmVoltage : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmVoltage(DisplayHost& host);

protected:
    void updateStep(const ChannelReading& r) override;

private:
    void showReading(int channel, const ChannelReading& r);
    std::unique_ptr<DeferredReadouts> readouts_;
    QLineEdit *vDirA_ = nullptr, *vRevA_ = nullptr, *vDirB_ = nullptr, *vRevB_ = nullptr;
};

}  // namespace quellon
