#pragma once
// Modes 2 to 4: the channels sit in two group boxes of the main window.

#include "display/DisplayFrame.h"

class QGroupBox;

namespace quellon {

class GroupedDisplay : public DisplayFrame {
    Q_OBJECT
public:
    GroupedDisplay(DisplayHost& host, Mode mode);
    QGroupBox* frameA = nullptr;
    QGroupBox* frameB = nullptr;

protected:
    void readChannelNames() override;
};

}  // namespace quellon
