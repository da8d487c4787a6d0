#pragma once
// The serial port: QSerialPort opens the device (its lock file, exclusive use,
// the line settings), and from then on the port reads and writes the device
// itself. Port numbers become device paths through a resolver (normally
// devicePathForPort with the settings file, see PortMap.h).
//
// A reader thread of the port's own waits on the device and takes in what
// arrives, so bytes keep being taken off the line while the event loop is held
// up (a command exchange pausing, a slow paint, a modal box). It gathers them
// for a short while and announces them to the event loop with one posted call
// per batch instead of one wake-up of the program per frame. Reads, writes and
// hasBytes() are called from the event loop's thread; they take what the reader
// has gathered after pulling in what the system holds, so a program that polls
// without running the event loop still sees its data. "Bytes arrived" and
// hang-ups are delivered from the event loop, never from inside read(), write()
// or hasBytes(); the bytes handler is not re-entered from an event loop that it
// runs itself.

#include <QSerialPort>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/SerialPort.h"

namespace quellon {

// The error a failed open reports. accessAllowed/accessErrno: the result of a
// read-write access check on the device made just before the open.
SerialError openErrorFor(const std::string& path, QSerialPort::SerialPortError e,
                         bool accessAllowed, int accessErrno, const std::string& qtText);

class QtSerialPort : public SerialPort {
public:
    // devicePathFor(n) gives the device of port n or "" when there is none; it is
    // asked at every open, so a changed settings file takes effect.
    explicit QtSerialPort(std::function<std::string(int portNumber)> devicePathFor);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    void setPortNumber(int n) override;
    int portNumber() const override { return portNumber_; }
    void setSettings(const std::string& settings) override;
    std::string settings() const override { return settingsText_; }
    void open() override;
    void close() override;
    bool isOpen() const override;
    void write(const std::string& data) override;
    std::string read(size_t max = kAll) override;
    bool hasBytes() override;
    void setBytesHandler(std::function<void()> handler) override { onBytes_ = std::move(handler); }
    void setHangupHandler(std::function<void()> handler) override {
        onHangup_ = std::move(handler);
    }

    // Device path of the open port (or of the last open attempt).
    const std::string& devicePath() const { return devicePath_; }

    // Most bytes held for reading. Past it the reader stops taking data from
    // the system until somebody reads (the line's own buffer then fills and
    // overflows, as a real line does), so a receive handler that cannot run (a
    // modal box, a stalled event loop) never makes the program grow. It holds
    // well over a second of the fastest stream, so the command exchange's
    // pauses never make the line overflow.
    static constexpr size_t kReadBufferLimit = 64 * 1024;
    // How long the reader gathers bytes before it looks at the line again:
    // the event loop then wakes for a batch of frames (some fourteen at the
    // line's full rate), not for every one. A frame then waits up to this long
    // in the system before the program sees it; with the paint that follows,
    // 95 % of frames are on the screen within 25 to 30 ms of reaching the line.
    static constexpr int kBatchMs = 25;
    // For measurements only: 0 takes the limit away.
    void setReadBufferLimit(size_t bytes);

private:
    void checkUsable();  // throws 8018 closed, 8020 after a hang-up
    void applySettings();
    void readerLoop(uint64_t gen);  // the reader thread
    void wakeReader();
    bool takeInLocked(size_t& added);  // false when the line is gone
    void lineGoneFrom(uint64_t gen);   // marks the line gone, reports it from the loop
    void postBytes();
    void deliverBytes();
    void lineGone();

    std::function<std::string(int)> devicePathFor_;
    QSerialPort serial_;
    int portNumber_ = 1;
    std::string settingsText_ = "9600,N,8,1";
    SerialSettings settings_;
    std::string devicePath_;
    std::function<void()> onBytes_;
    std::function<void()> onHangup_;
    bool inHandler_ = false;
    bool announceAgain_ = false;  // bytes came while the handler ran
    uint64_t generation_ = 0;     // counts opens

    // Shared with the reader thread.
    int fd_ = -1;
    int wakeFd_ = -1;  // eventfd: stop, room again
    std::thread reader_;
    std::mutex mutex_;
    std::string buffer_;               // guarded by mutex_
    size_t limit_ = kReadBufferLimit;  // guarded by mutex_
    bool readerFull_ = false;          // guarded by mutex_: the reader waits for room
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> bytesPosted_{false};

    QObject* ctx_;  // receiver of our posted calls, on the event loop's thread
    // Lets posted calls find out that the port is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quellon
