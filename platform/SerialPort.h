#pragma once
// The serial port as the rest of the program sees it: a port number, a settings
// text such as "115200,N,8,1", text or binary input, a receive threshold that
// raises a notification when that many bytes are buffered, and an input length
// that caps what one read returns. Errors are thrown as SerialError with a
// number from the classic serial-control numbering (8002 missing port, 8005 port
// in use, 380 invalid property value, ...), so callers and the port detection
// window can tell them apart.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace quellon {

enum class InputMode { Text, Binary };

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

    virtual void setInputMode(InputMode m) = 0;
    virtual InputMode inputMode() const = 0;
    // 0: no notification; N: notify (through the receive handler) whenever at
    // least N bytes are buffered. Notifications are always delivered from the
    // event loop, never from inside a read or write.
    virtual void setReceiveThreshold(int n) = 0;
    virtual int receiveThreshold() const = 0;
    // 0: a read returns everything buffered; N: at most N bytes.
    virtual void setInputLength(int n) = 0;
    virtual int inputLength() const = 0;

    // Bytes buffered and not yet read. Throws 8018 when closed.
    virtual int inBufferCount() = 0;
    // Throws 8018 when closed, or an error when the line is gone.
    virtual void write(const std::string& data) = 0;
    // Returns up to inputLength bytes (all if 0); empty when nothing is buffered.
    // Throws 8018 when closed.
    virtual std::string read() = 0;

    // Event code passed to the receive handler for "data received".
    static constexpr int EvReceive = 2;
    // Event code for "the line went away" (device removed, cable pulled).
    static constexpr int EvHangup = 1000;
    virtual void setReceiveHandler(std::function<void(int event)> handler) = 0;
};

}  // namespace quellon
