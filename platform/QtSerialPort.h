#pragma once
// The serial port on QSerialPort. Port numbers become device paths through a
// resolver (normally devicePathForPort with the settings file, see PortMap.h).
//
// Reads take what Qt has buffered after pulling in what the system holds, so a
// program that polls without running the event loop still sees its data.
// "Bytes arrived" and hang-ups are delivered from the event loop, never from
// inside read(), write() or waitForBytes(); the bytes handler is not re-entered
// from an event loop that it runs itself.

#include <QSerialPort>
#include <functional>
#include <memory>
#include <string>

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
    bool waitForBytes(int ms) override;
    void setBytesHandler(std::function<void()> handler) override { onBytes_ = std::move(handler); }
    void setHangupHandler(std::function<void()> handler) override {
        onHangup_ = std::move(handler);
    }

    // Device path of the open port (or of the last open attempt).
    const std::string& devicePath() const { return devicePath_; }

    // Most bytes held for reading. Past it the port stops taking data from the
    // system until somebody reads (the line's own buffer then overflows, as a
    // real line does), so a receive handler that cannot run (a modal box, a
    // stalled event loop) never makes the program grow. Qt would otherwise keep
    // a fresh block of memory per arrival, far more than the bytes themselves.
    static constexpr qint64 kReadBufferLimit = 4096;
    // For measurements only: 0 takes the limit away.
    void setReadBufferLimit(qint64 bytes);

private:
    void applySettings();
    void checkUsable();  // throws 8018 closed, 8020 after a hang-up
    void postBytes();
    void deliverBytes();
    void onError(QSerialPort::SerialPortError e);
    void lineGone();
    bool lineHungUp() const;

    std::function<std::string(int)> devicePathFor_;
    QSerialPort serial_;
    int portNumber_ = 1;
    std::string settingsText_ = "9600,N,8,1";
    SerialSettings settings_;
    std::string devicePath_;
    std::function<void()> onBytes_;
    std::function<void()> onHangup_;
    bool hungUp_ = false;
    bool bytesPosted_ = false;
    bool inHandler_ = false;
    uint64_t generation_ = 0;  // counts opens
    int ioErrors_ = 0;
    qint64 readLimit_ = kReadBufferLimit;
    int inCall_ = 0;  // inside one of our own calls that may run Qt's waits
    QObject* ctx_;    // receiver of our posted calls
    // Lets posted calls find out that the port is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quellon
