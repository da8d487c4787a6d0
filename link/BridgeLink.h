#pragma once
// Opening the bridge's configured port (the exchange on it is
// CommandExchange's).

#include <cstdint>
#include <string>

#include "core/modGlobal.h"
#include "link/CommandExchange.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace quellon {

// Opens the port g.PortNumber with g.PortSettings in text mode. On failure
// StatusMessage is "Com:" + PortNumber + " " + the port's error description and
// the result is false; no exception leaves it.
bool openPortOf(SerialPort& port, SessionState& g);

// Integer port number of a PortNumber text: its leading number rounded halves
// to even; 0 (refused by the port) when there is no number or it is out of range.
int portNumberValue(const std::string& text);

}  // namespace quellon
