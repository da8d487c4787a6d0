#include "platform/QtSerialPort.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace quellon {

namespace {

// The longest a write waits for the system to take its data: a command line is
// a few bytes, so this only matters when the line is stuck.
constexpr int kWriteWaitMs = 500;

bool lineHungUp(int fd) {
    pollfd pfd{fd, 0, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

QSerialPort::Parity toQtParity(char p) {
    switch (p) {
        case 'E': return QSerialPort::EvenParity;
        case 'O': return QSerialPort::OddParity;
        case 'M': return QSerialPort::MarkParity;
        case 'S': return QSerialPort::SpaceParity;
        default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQtStopBits(int s) {
    if (s == 2) return QSerialPort::TwoStop;
    if (s == 3) return QSerialPort::OneAndHalfStop;
    return QSerialPort::OneStop;
}

}  // namespace

SerialError openErrorFor(const std::string& path, QSerialPort::SerialPortError e,
                         bool accessAllowed, int accessErrno, const std::string& qtText) {
    switch (e) {
        case QSerialPort::DeviceNotFoundError:
            return SerialError(serr::InvalidPortNumber,
                               "Invalid port number (" + path + " does not exist)");
        case QSerialPort::PermissionError:
            // Qt reports both a refused device and a lock held by somebody else
            // (its lock file, or an exclusive open: EBUSY) this way; only the
            // access check tells them apart.
            if (!accessAllowed && (accessErrno == EACCES || accessErrno == EPERM))
                return SerialError(serr::PermissionDenied,
                                   "Permission denied on " + path +
                                       ": add your user to the dialout group (sudo adduser $USER "
                                       "dialout) and log in "
                                       "again");
            return SerialError(serr::PortInUse,
                               "Port In Use (" + path + " is held by another program)");
        case QSerialPort::OpenError:
            return SerialError(serr::PortOpenAlready,
                               "Operation not valid while the port is opened");
        default: return SerialError(serr::PortError, "Port ERROR: " + path + ": " + qtText);
    }
}

QtSerialPort::QtSerialPort(std::function<std::string(int)> devicePathFor)
    : devicePathFor_(std::move(devicePathFor)),
      settings_(parseSerialSettings(settingsText_)),
      wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      ctx_(new QObject) {
    if (wakeFd_ < 0) throw SerialError(serr::Other, "no event descriptor for the serial reader");
}

QtSerialPort::~QtSerialPort() {
    lineGone();
    ::close(wakeFd_);
    // We may be destroyed from a handler that a posted call of ctx_ runs: let
    // Qt finish that call first. Calls still queued find alive_ gone.
    ctx_->deleteLater();
}

void QtSerialPort::setPortNumber(int n) {
    if (isOpen() && n != portNumber_)
        throw SerialError(serr::PortOpenAlready, "Operation not valid while the port is opened");
    if (n < 1) throw SerialError(serr::InvalidPortNumber, "Invalid port number");
    portNumber_ = n;
}

void QtSerialPort::setSettings(const std::string& settings) {
    SerialSettings parsed = parseSerialSettings(settings);  // 380 when malformed
    settings_ = parsed;
    settingsText_ = settings;
    if (isOpen()) applySettings();
}

void QtSerialPort::applySettings() {
    bool ok = serial_.setBaudRate(settings_.baud) &&
              serial_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
              serial_.setParity(toQtParity(settings_.parity)) &&
              serial_.setStopBits(toQtStopBits(settings_.stopBits)) &&
              serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        const std::string why = serial_.errorString().toStdString();
        serial_.clearError();
        throw SerialError(serr::PortError, "Port ERROR: " + devicePath_ + " does not accept \"" +
                                               settingsText_ + "\" (" + why + ")");
    }
}

void QtSerialPort::open() {
    if (isOpen())
        throw SerialError(serr::PortOpenAlready, "Operation not valid while the port is opened");
    const std::string path = devicePathFor_ ? devicePathFor_(portNumber_) : std::string();
    devicePath_ = path;
    if (path.empty())
        throw SerialError(
            serr::InvalidPortNumber,
            "Invalid port number (no serial device for port " + std::to_string(portNumber_) + ")");
    const QFileInfo fi(QString::fromStdString(path));
    if (!fi.exists())
        throw SerialError(serr::InvalidPortNumber,
                          "Invalid port number (" + path + " does not exist)");
    // Open the real device, so that every name of it (a udev link, the pinned
    // path, the kernel name) shares one lock and shows as in use to the others.
    const QString real = fi.canonicalFilePath();
    const std::string realPath = real.toStdString();
    const bool mayUse = ::access(realPath.c_str(), R_OK | W_OK) == 0;
    const int accessErrno = errno;

    lineGone();  // a hang-up not yet reported may have left the device open
    serial_.setPortName(real);
    hungUp_ = false;
    ++generation_;
    bytesPosted_ = false;
    {
        std::lock_guard lk(mutex_);
        buffer_.clear();
        readerFull_ = false;
    }
    if (!serial_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = serial_.error();
        const std::string qtText = serial_.errorString().toStdString();
        serial_.clearError();
        throw openErrorFor(path, e, mayUse, accessErrno, qtText);
    }
    // The reader thread reads the device from now on. QSerialPort watches it
    // from the event loop and would take bytes in on its own when it sees
    // them; it only starts watching again when asked to read or wait, which
    // this port never does.
    for (QSocketNotifier* n : serial_.findChildren<QSocketNotifier*>()) n->setEnabled(false);
    try {
        applySettings();
    } catch (...) {
        serial_.close();
        throw;
    }
    serial_.clear(QSerialPort::AllDirections);  // nothing from before we opened
    fd_ = static_cast<int>(serial_.handle());
    stop_ = false;
    reader_ = std::thread([this, gen = generation_] { readerLoop(gen); });
}

void QtSerialPort::setReadBufferLimit(size_t bytes) {
    std::lock_guard lk(mutex_);
    limit_ = bytes;
    if (readerFull_) wakeReader();
}

void QtSerialPort::close() {
    bytesPosted_ = false;
    lineGone();
}

bool QtSerialPort::isOpen() const { return serial_.isOpen() && !hungUp_; }

void QtSerialPort::checkUsable() {
    if (hungUp_) {
        lineGone();
        throw SerialError(serr::PortError, "Port ERROR: " + devicePath_ + " is gone");
    }
    if (!serial_.isOpen())
        throw SerialError(serr::PortNotOpen, "Operation valid only when the port is open");
}

void QtSerialPort::write(const std::string& data) {
    checkUsable();
    // Straight to the system: the bridge's 100 ms to acknowledge count from
    // the write, so nothing may stay behind in a buffer.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        const int err = n < 0 ? errno : EAGAIN;
        if (err == EINTR) continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd_, POLLOUT, 0};
        const bool room = (err == EAGAIN || err == EWOULDBLOCK) && left.count() > 0 &&
                          ::poll(&pfd, 1, static_cast<int>(left.count())) > 0 &&
                          (pfd.revents & POLLOUT) != 0;
        if (room) continue;
        if (lineHungUp(fd_) || ::access(devicePath_.c_str(), F_OK) != 0) {
            lineGoneFrom(generation_);
            checkUsable();
        }
        throw SerialError(serr::PortError,
                          "Port ERROR: " + devicePath_ + ": " +
                              (err == EAGAIN ? std::string("the line takes no more data")
                                             : std::string(std::strerror(err))));
    }
}

bool QtSerialPort::takeInLocked(size_t& added) {
    char chunk[4096];
    for (;;) {
        size_t want = sizeof chunk;
        if (limit_ != 0) {
            if (buffer_.size() >= limit_) return true;
            want = std::min(want, limit_ - buffer_.size());
        }
        const ssize_t n = ::read(fd_, chunk, want);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        buffer_.append(chunk, static_cast<size_t>(n));
        added += static_cast<size_t>(n);
        // Empty: nothing there (a raw line with no data reads empty; a line
        // that hung up reads empty too, and poll() tells that apart).
        if (static_cast<size_t>(n) < want) return true;
    }
}

std::string QtSerialPort::read(size_t max) {
    checkUsable();
    std::string got;
    size_t added = 0;
    bool ok = true, left = false, wake = false;
    {
        std::lock_guard lk(mutex_);
        if (buffer_.size() < max) ok = takeInLocked(added);
        const size_t n = std::min(max, buffer_.size());
        got.assign(buffer_, 0, n);
        buffer_.erase(0, n);
        left = !buffer_.empty();
        wake = readerFull_ && n > 0;
    }
    if (!ok) {
        lineGoneFrom(generation_);
        checkUsable();
    }
    if (wake) wakeReader();
    if (added > 0 && left) postBytes();  // taken in here and left: announce them
    return got;
}

bool QtSerialPort::hasBytes() {
    checkUsable();
    size_t added = 0;
    bool ok = true, any = false;
    {
        std::lock_guard lk(mutex_);
        ok = takeInLocked(added);
        any = !buffer_.empty();
    }
    if (!ok) lineGoneFrom(generation_);
    checkUsable();
    if (added > 0) postBytes();  // taken in here, not by the reader: announce them
    return any;
}

void QtSerialPort::wakeReader() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void QtSerialPort::readerLoop(uint64_t gen) {
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    while (!stop_) {
        {
            // Full: leave the bytes to the line until somebody reads. A hang-up
            // is still seen, poll() reports it whatever is asked for.
            std::lock_guard lk(mutex_);
            readerFull_ = limit_ != 0 && buffer_.size() >= limit_;
            fds[1].events = readerFull_ ? 0 : POLLIN;
        }
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            continue;
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
        if (!(fds[1].revents & POLLIN)) continue;
        size_t added = 0;
        bool ok;
        {
            std::lock_guard lk(mutex_);
            ok = takeInLocked(added);
        }
        if (!ok) break;
        if (added > 0) postBytes();
        // Let the line gather a batch before looking again; a stop ends the
        // pause early.
        pollfd wake{wakeFd_, POLLIN, 0};
        ::poll(&wake, 1, kBatchMs);
    }
    if (!stop_) lineGoneFrom(gen);
}

void QtSerialPort::lineGoneFrom(uint64_t gen) {
    if (hungUp_.exchange(true)) return;
    std::weak_ptr<bool> alive = alive_;
    QMetaObject::invokeMethod(
        ctx_,
        [this, gen, alive] {
            // Reopened meanwhile: that hang-up belongs to a line we no longer have.
            if (alive.expired() || gen != generation_) return;
            lineGone();
            if (onHangup_) {
                auto h = onHangup_;
                h();
            }
        },
        Qt::QueuedConnection);
}

void QtSerialPort::postBytes() {
    if (bytesPosted_.exchange(true)) return;
    std::weak_ptr<bool> alive = alive_;
    QMetaObject::invokeMethod(
        ctx_,
        [this, alive] {
            if (alive.expired()) return;
            bytesPosted_ = false;
            deliverBytes();
        },
        Qt::QueuedConnection);
}

void QtSerialPort::deliverBytes() {
    if (inHandler_) {
        announceAgain_ = true;  // once the handler is back
        return;
    }
    if (hungUp_ || !serial_.isOpen() || !onBytes_) return;
    {
        std::lock_guard lk(mutex_);
        if (buffer_.empty()) return;
    }
    std::weak_ptr<bool> alive = alive_;
    auto h = onBytes_;
    inHandler_ = true;
    announceAgain_ = false;
    try {
        h();
    } catch (...) {
        if (!alive.expired()) inHandler_ = false;
        throw;
    }
    if (alive.expired()) return;  // the handler closed down the port's owner
    inHandler_ = false;
    if (announceAgain_) postBytes();
}

void QtSerialPort::lineGone() {
    if (reader_.joinable()) {
        stop_ = true;
        wakeReader();
        reader_.join();
    }
    fd_ = -1;
    if (serial_.isOpen()) serial_.close();
    serial_.clearError();
}

}  // namespace quellon
