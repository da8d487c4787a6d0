// The display window of each GuiMode value.

#include "display/DisplayHost.h"
#include "display/frmGaugeMain.h"
#include "display/frmPwrSwrMain.h"
#include "display/frmTiming.h"
#include "display/frmVoltage.h"
#include "display/frmWattMeter.h"

namespace quellon {

std::unique_ptr<DisplayWindow> createDisplayWindow(const std::string& guiMode, DisplayHost& host) {
    if (guiMode == "0") return std::make_unique<frmPwrSwrMain>(host);
    if (guiMode == "1") return std::make_unique<frmGaugeMain>(host);
    if (guiMode == "2") return std::make_unique<frmWattMeter>(host);
    if (guiMode == "3") return std::make_unique<frmVoltage>(host);
    if (guiMode == "4") return std::make_unique<frmTiming>(host);
    return nullptr;
}

}  // namespace quellon
