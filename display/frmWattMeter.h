#pragma once
// Mode 2: numeric wattmeter, both channels in the main window.

#include <memory>

#include "display/GroupedDisplay.h"
#include "display/ModeParts.h"

class QLineEdit;

namespace quellon {

class frmWattMeter : public GroupedDisplay {
    Q_OBJECT
public:
    explicit frmWattMeter(DisplayHost& host);

protected:
    void updateStep(const ChannelReading& r) override;

private:
    void showReading(int channel, const ChannelReading& r);
    std::unique_ptr<DeferredReadouts> readouts_;
    struct Boxes {
        QLineEdit *vDir, *vRev, *vDirMax, *vRevMax, *swr;
    };
    Boxes a_{}, b_{};
};

}  // namespace quellon
