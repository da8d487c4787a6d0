#pragma once
// Opening a port by its number and line settings, as the session and every
// window that talks to the bridge on a port of its own do it, and the text that
// tells the user why a port failed. Callers decide where that text goes.

#include <exception>
#include <optional>
#include <string>

#include "platform/SerialPort.h"

namespace quellon {

struct PortFailure {
    int number = serr::Other;  // serial service error number
    std::string reason;        // what the port reports
};

// Closes the port if it is open, sets the number and the line settings and
// opens it. nullopt when the port is open.
inline std::optional<PortFailure> openPortAs(SerialPort& port, int number,
                                             const std::string& settings) {
    try {
        if (port.isOpen()) port.close();
        port.setPortNumber(number);
        port.setSettings(settings);
        if (!port.isOpen()) port.open();
        return std::nullopt;
    } catch (const SerialError& e) {
        return PortFailure{e.number(), e.description()};
    } catch (const std::exception& e) {
        return PortFailure{serr::Other, e.what()};
    }
}

// "Com:3 Port In Use": the port as the settings name it, then the reason.
inline std::string portFailureText(const std::string& portNumber, const std::string& reason) {
    return "Com:" + portNumber + " " + reason;
}

}  // namespace quellon
