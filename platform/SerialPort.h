#pragma once
// The serial port as the rest of the program sees it: a byte stream on a port
// number with a settings text such as "115200,N,8,1". It tells its owner when
// bytes arrived and when the line went away; what the bytes mean (frames,
// replies) is the link's business. Errors are thrown as SerialError with a
// number from the classic serial numbering (8002 missing port, 8005 port in
// use, 380 invalid property value, ...), so callers and the port detection
// window can tell them apart.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace quellon {

// Error numbers of the serial service.
namespace serr {
constexpr int InvalidPropertyValue = 380;  // malformed settings text, bad port number text
constexpr int PropertyReadOnly = 383;
constexpr int PropertyWriteOnly = 394;
constexpr int PortOpenAlready = 8000;    // operation not valid while the port is open
constexpr int InvalidPortNumber = 8002;  // no such device
constexpr int PortInUse = 8005;          // held by another process
constexpr int PortInUseAlt = 8012;
constexpr int PortHardwareError = 8015;
constexpr int PortNotOpen = 8018;
constexpr int PortError = 8020;
constexpr int DeviceControlBlock = 8021;
constexpr int PermissionDenied = 8100;  // our own: device exists but may not be opened
constexpr int Other = 9999;
}  // namespace serr

class SerialError : public std::runtime_error {
public:
    SerialError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

// Parsed form of "115200,N,8,1".
struct SerialSettings {
    int baud = 115200;
    char parity = 'N';  // N, E, O, M, S
    int dataBits = 8;   // 5..8
    int stopBits = 1;   // 1 or 2 (1.5 is accepted as "1.5" -> 3 meaning one and a half)
};

// Throws SerialError(380, description) when the text is malformed.
SerialSettings parseSerialSettings(const std::string& text);

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Port number 1..n ("Com" + n). Setting an invalid number while open throws 8000.
    virtual void setPortNumber(int n) = 0;
    virtual int portNumber() const = 0;
    // Throws SerialError(380) when malformed.
    virtual void setSettings(const std::string& settings) = 0;
    virtual std::string settings() const = 0;

    virtual void open() = 0;   // throws SerialError (8002, 8005, 8100, ...)
    virtual void close() = 0;  // never throws; closing a closed port is harmless
    virtual bool isOpen() const = 0;

    // Throws 8018 when closed, or an error when the line is gone.
    virtual void write(const std::string& data) = 0;
    // What is buffered, after taking in what the system holds, at most max
    // bytes; empty when nothing is. Throws 8018 when closed, 8020 when the line
    // is gone.
    static constexpr size_t kAll = static_cast<size_t>(-1);
    virtual std::string read(size_t max = kAll) = 0;
    // True when bytes are buffered or the system holds some for the port; it
    // never waits. The command exchange asks it whether anything is left on
    // the line behind a reply. Throws 8018 when closed, 8020 when the line is
    // gone.
    virtual bool hasBytes() = 0;

    // Called from the event loop, never from inside a read or write and never
    // re-entered, when new bytes were buffered. Bytes the handler leaves are
    // not announced again until more arrive.
    virtual void setBytesHandler(std::function<void()> handler) = 0;
    // Called once from the event loop when the line went away (device removed,
    // cable pulled); the port counts as closed from then on.
    virtual void setHangupHandler(std::function<void()> handler) = 0;
};

}  // namespace quellon
