#pragma once
// Port numbers ("COM1", "COM2", ...) to serial device paths.
//
// Port n names, in this order of precedence:
//   1. key n of section [Ports] in the settings file, e.g. "1=/dev/ttyUSB0"
//      (any path: a symbolic link made by udev, a pseudo terminal, ...);
//   2. otherwise the n-th serial device of the system (1-based), the devices
//      sorted by kind and, within a kind, by number (ttyUSB2 before ttyUSB10):
//        a. /dev/ttyUSB*  (USB serial adapters)
//        b. /dev/ttyACM*  (USB CDC devices)
//        c. /dev/ttyS*    (built-in UARTs; only those that really exist)
//        d. all others    (ttyAMA*, rfcomm*, ...), by name.
// A pinned key does not move the numbering of the others: port 3 is always the
// third system device unless key 3 is pinned. A number that maps to nothing
// gives an empty path (the port reports "Invalid port number" when opened).

#include <string>
#include <utility>
#include <vector>

namespace quellon {

struct PortInfo {
    std::string path;         // /dev/ttyUSB0
    std::string description;  // what the system says about the device, may be empty
};

// The system's serial devices in the order above.
std::vector<PortInfo> systemSerialPorts();

// Sorts a device list into the order above (stable for equal names).
std::vector<PortInfo> sortSerialPorts(std::vector<PortInfo> ports);

// Device path of port n, or "" when there is none.
std::string devicePathForPort(int n, const std::string& settingsPath);
// The same with the system's list given (for tests and for callers that list once).
std::string devicePathForPort(int n, const std::string& settingsPath,
                              const std::vector<PortInfo>& system);

// What the port numbers 1..maxN map to, in number order; numbers that map to
// nothing are left out. Pinned entries carry the description "set in the
// settings file" unless the device is also in the system's list; a pinned
// path that does not exist now (an adapter unplugged) is described as missing.
std::vector<std::pair<int, PortInfo>> numberedPorts(const std::string& settingsPath, int maxN);
std::vector<std::pair<int, PortInfo>> numberedPorts(const std::string& settingsPath, int maxN,
                                                    const std::vector<PortInfo>& system);

// Where udev keeps the stable names of USB serial adapters (made from maker,
// model and serial number, so they survive a replug and another USB socket).
inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";

// The stable name in byIdDir of the device at path (any name of it), or "" when
// there is none (a built-in port, a pty, a device udev gives no such name).
std::string stableDevicePath(const std::string& path, const std::string& byIdDir = kSerialByIdDir);

// The stable name worth pinning as key n of [Ports] for the device at path:
// "" when there is none or key n already holds it.
std::string pinSuggestion(int n, const std::string& path, const std::string& settingsPath,
                          const std::string& byIdDir = kSerialByIdDir);

}  // namespace quellon
