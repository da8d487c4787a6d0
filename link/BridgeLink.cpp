#include "link/BridgeLink.h"

#include "link/Format.h"
#include "platform/OpenPort.h"

namespace quellon {

int portNumberValue(const std::string& text) {
    return roundHalfEven16(leadingNumber(text)).value_or(0);
}

bool openPortOf(SerialPort& port, SessionState& g) {
    const auto failure = openPortAs(port, portNumberValue(g.PortNumber), g.PortSettings);
    // An open port leaves the status of the last step, which the connect
    // sequence's later texts are checked against.
    g.StatusMessage = failure ? portFailureText(g.PortNumber, failure->reason)
                              : "Com" + g.PortNumber + ": port already in use.";
    return !failure;
}

}  // namespace quellon
