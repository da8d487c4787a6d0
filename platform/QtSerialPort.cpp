#include "platform/QtSerialPort.h"

#include <poll.h>
#include <unistd.h>

#include <QFileInfo>
#include <QMetaObject>
#include <cerrno>

namespace quellon {

namespace {

// The longest a write waits for the system to take its data: a command line is
// a few bytes, so this only matters when the line is stuck.
constexpr int kWriteWaitMs = 500;
// Read or write errors in a row, with no data between them, taken as a line
// that has gone away.
constexpr int kIoErrorsForHangup = 3;

struct CallGuard {
    explicit CallGuard(int& n) : n_(n) { ++n_; }
    ~CallGuard() { --n_; }
    int& n_;
};

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
      ctx_(new QObject) {
    QObject::connect(&serial_, &QSerialPort::readyRead, &serial_, [this] {
        ioErrors_ = 0;
        // Straight from the event loop: tell the handler now. From inside one
        // of our own calls (a read pulling data in) or the handler itself,
        // leave it for later so the handler is never entered twice.
        if (inCall_ == 0 && !inHandler_) deliverBytes();
        else postBytes();
    });
    QObject::connect(&serial_, &QSerialPort::errorOccurred, &serial_,
                     [this](QSerialPort::SerialPortError e) { onError(e); });
}

QtSerialPort::~QtSerialPort() {
    serial_.disconnect();
    if (serial_.isOpen()) serial_.close();
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

    if (serial_.isOpen()) lineGone();  // left over from a hang-up not yet reported
    serial_.setPortName(real);
    serial_.setReadBufferSize(readLimit_);
    hungUp_ = false;
    ioErrors_ = 0;
    ++generation_;
    bytesPosted_ = false;
    if (!serial_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = serial_.error();
        const std::string qtText = serial_.errorString().toStdString();
        serial_.clearError();
        throw openErrorFor(path, e, mayUse, accessErrno, qtText);
    }
    try {
        applySettings();
    } catch (...) {
        serial_.close();
        throw;
    }
    serial_.clear(QSerialPort::AllDirections);  // nothing from before we opened
}

void QtSerialPort::setReadBufferLimit(qint64 bytes) {
    readLimit_ = bytes < 0 ? 0 : bytes;
    serial_.setReadBufferSize(readLimit_);
}

void QtSerialPort::close() {
    bytesPosted_ = false;
    if (serial_.isOpen()) serial_.close();
    serial_.clearError();
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
    {
        CallGuard g(inCall_);
        const qint64 n = serial_.write(data.data(), static_cast<qint64>(data.size()));
        if (n < 0) {
            const std::string why = serial_.errorString().toStdString();
            serial_.clearError();
            checkUsable();
            throw SerialError(serr::PortError, "Port ERROR: " + devicePath_ + ": " + why);
        }
        // Hand the data to the system now: callers pause without running the
        // event loop right after writing a command.
        serial_.flush();
        if (serial_.bytesToWrite() > 0 && !hungUp_) serial_.waitForBytesWritten(kWriteWaitMs);
    }
    checkUsable();
}

std::string QtSerialPort::read(size_t max) {
    checkUsable();
    QByteArray got;
    {
        CallGuard g(inCall_);
        if (static_cast<size_t>(serial_.bytesAvailable()) < max) serial_.waitForReadyRead(0);
        if (hungUp_) checkUsable();
        // Reading everything also restarts Qt's watch on the line when a full
        // read buffer had stopped it.
        got = max == kAll ? serial_.readAll() : serial_.read(static_cast<qint64>(max));
    }
    return std::string(got.constData(), static_cast<size_t>(got.size()));
}

bool QtSerialPort::waitForBytes(int ms) {
    checkUsable();
    {
        CallGuard g(inCall_);
        if (serial_.bytesAvailable() == 0) serial_.waitForReadyRead(ms);
    }
    checkUsable();
    return serial_.bytesAvailable() > 0;
}

void QtSerialPort::postBytes() {
    if (bytesPosted_ || !serial_.isOpen() || hungUp_) return;
    bytesPosted_ = true;
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
        postBytes();
        return;
    }
    if (hungUp_ || !serial_.isOpen() || serial_.bytesAvailable() == 0 || !onBytes_) return;
    std::weak_ptr<bool> alive = alive_;
    auto h = onBytes_;
    inHandler_ = true;
    try {
        h();
    } catch (...) {
        if (!alive.expired()) inHandler_ = false;
        throw;
    }
    if (alive.expired()) return;  // the handler closed down the port's owner
    inHandler_ = false;
}

bool QtSerialPort::lineHungUp() const {
    pollfd pfd{static_cast<int>(serial_.handle()), POLLIN, 0};
    if (pfd.fd < 0) return false;
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void QtSerialPort::onError(QSerialPort::SerialPortError e) {
    if (hungUp_ || !serial_.isOpen()) return;
    // A vanished device (USB adapter pulled) shows as a resource error. A
    // pseudo terminal whose other side closed shows as read errors that Qt
    // repeats on every pass of the event loop: the line reports a hang-up, and
    // a few read errors in a row without any data mean the same.
    // A pseudo terminal in raw mode can also return an empty read while the
    // line is fine, which Qt reports as a read or even a resource error with a
    // stale errno: only a hang-up on the line, a vanished device node or
    // repeated errors without data in between count as the line being gone.
    if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError &&
        e != QSerialPort::WriteError)
        return;
    const bool gone = lineHungUp() || ::access(devicePath_.c_str(), F_OK) != 0 ||
                      ++ioErrors_ >= kIoErrorsForHangup;
    if (!gone) {
        serial_.clearError();
        return;
    }
    hungUp_ = true;
    if (inCall_ == 0) lineGone();
    const uint64_t gen = generation_;
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

void QtSerialPort::lineGone() {
    if (serial_.isOpen()) serial_.close();
    serial_.clearError();
}

}  // namespace quellon
