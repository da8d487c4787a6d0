#pragma once
// The platform on Qt: the real clock, the Qt event loop, QMessageBox, QTimer and
// serial ports on QSerialPort.

#include <functional>
#include <memory>
#include <string>

#include "platform/LocalTimeCache.h"
#include "platform/MessageBoxSpec.h"
#include "platform/Platform.h"

namespace quellon {

class QtPlatform : public Platform {
public:
    // settingsPath is asked whenever a port opens (the path is set after start).
    explicit QtPlatform(std::function<std::string()> settingsPath);

    uint32_t tickCount() override;
    int messageBox(const std::string& text, int style, const std::string& title) override;
    std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                              const std::string& title) override;
    void beep() override;
    LocalTime localTime() override;
    std::unique_ptr<SerialPort> newSerialPort() override;
    std::unique_ptr<Timer> newTimer() override;
    [[noreturn]] void endProgram(int code = 0) override;

    // The local zone's offset from UTC in seconds at an instant (ms since 1970 UTC).
    static int localOffsetAt(int64_t epochMs);
    // The local date and time of an instant, converted by the system on every call.
    static LocalTime uncachedLocalTimeAt(int64_t epochMs);

private:
    std::function<std::string()> settingsPath_;
    LocalTimeCache localTimes_{&QtPlatform::localOffsetAt};
};

}  // namespace quellon
