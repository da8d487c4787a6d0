#pragma once
// Everything the program's logic needs from the desktop, behind one interface, so
// the logic runs in unit tests without a display and without waiting in real time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/SerialPort.h"

namespace quellon {

// A repeating timer on the user-interface thread. An interval of 0 never fires
// (as with the classic timer control) instead of firing on every event pass.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void start() = 0;  // (re)starts the countdown from now
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    void setEnabled(bool on) { on ? start() : stop(); }
    std::function<void()> onTimeout;
};

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Message box style numbers: low four bits pick the buttons (0 OK, 1 OK/Cancel,
// 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel; anything else
// shows OK), 16 stop icon, 32 question icon, 48 exclamation icon, 64 information.
namespace mb {
// Buttons (the low bits) ...
constexpr int OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4,
              RetryCancel = 5;
// ... plus one icon.
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
// The connection-lost boxes: a question mark over an OK button. The button
// bits 14 name no set of buttons and so give OK alone.
constexpr int ConnectionLost = Question + 14;
// Return values
constexpr int IdOk = 1, IdCancel = 2, IdAbort = 3, IdRetry = 4, IdIgnore = 5, IdYes = 6, IdNo = 7;
}  // namespace mb

// A message box shown without waiting for its answer. The program goes on while
// it is open; the user may dismiss it, or the program closes it (close(), or
// dropping the handle) once what it reported no longer holds.
class ShownMessage {
public:
    virtual ~ShownMessage() = default;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Brings the box in front of the program's other windows again.
    virtual void raise() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;
    // Milliseconds since some fixed start; wraps like a 32-bit tick counter.
    virtual uint32_t tickCount() = 0;
    virtual int messageBox(const std::string& text, int style, const std::string& title) = 0;
    // The same box, modeless: returns at once; its answer is not read.
    virtual std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                                      const std::string& title) = 0;
    virtual void beep() = 0;
    virtual LocalTime localTime() = 0;
    // Wall-clock milliseconds since 1970 UTC, for time stamps that leave the
    // program (history, network).
    virtual int64_t epochMs() {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
    virtual std::unique_ptr<SerialPort> newSerialPort() = 0;
    virtual std::unique_ptr<Timer> newTimer() = 0;
    // Ends the program at once (no unload handling runs).
    virtual void endProgram(int code = 0) = 0;
};

}  // namespace quellon
