// The serial port on a real pseudo terminal: the test holds the master side and
// plays the bridge.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "platform/QtSerialPort.h"

using namespace quellon;

namespace {

// Generous limit for things that happen within milliseconds; only reached when
// something is broken, so a busy machine does not make the tests fail.
constexpr int kPatienceMs = 10000;

// Runs the event loop until pred() holds or the patience runs out.
bool pumpUntil(const std::function<bool()>& pred, int ms = kPatienceMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const SerialError& e) {
        return e.number();
    }
    return 0;
}

// Open descriptors of this process on path.
int descriptorsOn(const std::string& path) {
    int n = 0;
    const QDir fds("/proc/self/fd");
    for (const QString& e : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char buf[512];
        const std::string link = "/proc/self/fd/" + e.toStdString();
        const ssize_t r = ::readlink(link.c_str(), buf, sizeof buf - 1);
        // A pseudo terminal's node goes away with its master side.
        const std::string target(buf, r > 0 ? static_cast<size_t>(r) : 0);
        if (target == path || target == path + " (deleted)") ++n;
    }
    return n;
}

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        closeMaster();
        if (slave >= 0) ::close(slave);
    }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void send(const std::string& s) const {
        ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // What the program wrote, waiting up to ms for n bytes.
    std::string receive(size_t n, int ms = kPatienceMs) const {
        std::string got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < ms) {
            pollfd pfd{master, POLLIN, 0};
            if (poll(&pfd, 1, 10) > 0 && (pfd.revents & POLLIN)) {
                char buf[256];
                const ssize_t r = ::read(master, buf, sizeof buf);
                if (r > 0) got.append(buf, static_cast<size_t>(r));
            }
        }
        return got;
    }
};

struct QtPortTest : ::testing::Test {
    Pty pty;
    std::unique_ptr<QtSerialPort> port;
    void SetUp() override {
        ASSERT_FALSE(pty.path.empty()) << "openpty failed";
        const std::string path = pty.path;
        port =
            std::make_unique<QtSerialPort>([path](int n) { return n == 1 ? path : std::string(); });
        port->setSettings("115200,N,8,1");
    }
    // Polls read() without the event loop, the way the reply loops do.
    std::string readAtLeast(size_t n) {
        std::string got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < kPatienceMs) got += port->read();
        return got;
    }
};

}  // namespace

TEST_F(QtPortTest, WritesReachTheLineWithoutTheEventLoop) {
    port->open();
    EXPECT_TRUE(port->isOpen());
    port->write(":16\r");
    // No event loop runs here, as during the 100 ms pause after a command.
    EXPECT_EQ(pty.receive(4), ":16\r");

    pty.send(":ACK\r");
    EXPECT_EQ(readAtLeast(5), ":ACK\r");
}

TEST_F(QtPortTest, ReadHonoursInputLength) {
    port->open();
    pty.send("abc\r");
    port->setInputLength(1);
    std::string chars;
    QElapsedTimer t;
    t.start();
    while (chars.size() < 4 && t.elapsed() < kPatienceMs) {
        const std::string c = port->read();
        ASSERT_LE(c.size(), 1u);
        chars += c;
    }
    EXPECT_EQ(chars, "abc\r");
    EXPECT_EQ(port->read(), "");  // nothing buffered: empty after a short wait

    pty.send(std::string(30, 'x'));
    port->setInputLength(20);
    ASSERT_TRUE(pumpUntil([&] { return port->inBufferCount() >= 30; }));
    EXPECT_EQ(port->read().size(), 20u);
    port->setInputLength(0);
    EXPECT_EQ(port->read().size(), 10u);
}

TEST_F(QtPortTest, SettingsReachTheDevice) {
    port->setSettings("9600,N,8,2");
    port->open();
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    port->setSettings("115200,N,8,1");  // while open: applied at once
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
}

TEST_F(QtPortTest, SettingsTheDeviceRefusesFailTheOpen) {
    // A pseudo terminal always carries 8 bits without parity.
    port->setSettings("9600,E,7,1");
    try {
        port->open();
        FAIL() << "opened with settings the device cannot do";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::PortError);
        EXPECT_NE(e.description().find("9600,E,7,1"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(port->isOpen());
    port->setSettings("9600,N,8,1");
    port->open();  // and nothing is left held
    EXPECT_TRUE(port->isOpen());
}

TEST_F(QtPortTest, ThresholdNotifiesFromTheEventLoopAndAgainWhileDataWaits) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    std::vector<std::string> frames;
    bool inCall = false, calledInsideCall = false;
    port->setReceiveHandler([&](int ev) {
        EXPECT_EQ(ev, SerialPort::EvReceive);
        if (inCall) calledInsideCall = true;
        frames.push_back(port->read());
    });
    port->setReceiveThreshold(20);

    // Two frames and a part: two notifications, the part waits.
    pty.send(std::string(20, 'a') + std::string(20, 'b') + "cc");
    // Reads and counts outside the handler never run it.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 200) {
        inCall = true;
        port->inBufferCount();
        inCall = false;
        QThread::msleep(2);
    }
    EXPECT_TRUE(frames.empty());
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[0], std::string(20, 'a'));
    EXPECT_EQ(frames[1], std::string(20, 'b'));
    // The rest is below the threshold: quiet until the frame is complete.
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(frames.size(), 2u);
    pty.send(std::string(18, 'c'));
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 3; }));
    EXPECT_EQ(frames[2], std::string(20, 'c'));
    EXPECT_FALSE(calledInsideCall);

    // Threshold 0: no more notifications.
    port->setReceiveThreshold(0);
    pty.send(std::string(40, 'd'));
    ASSERT_TRUE(pumpUntil([&] { return port->inBufferCount() >= 40; }));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(frames.size(), 3u);
}

TEST_F(QtPortTest, FrameThatArrivesDuringTheHandlerIsStillAnnounced) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    std::vector<std::string> frames;
    port->setReceiveHandler([&](int) {
        if (frames.empty()) {
            // The next frame comes in while the handler works, and its own
            // count pulls it in: the line will not announce it again.
            pty.send(std::string(20, 'f'));
            QElapsedTimer t;
            t.start();
            while (port->inBufferCount() < 40 && t.elapsed() < 2000) QThread::msleep(1);
        }
        frames.push_back(port->read());
    });
    port->setReceiveThreshold(20);
    pty.send(std::string(20, 'e'));
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[1], std::string(20, 'f'));
}

TEST_F(QtPortTest, HandlerIsNotReenteredByItsOwnEventLoop) {
    port->open();
    int depth = 0, maxDepth = 0, calls = 0;
    port->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) {
        ++calls;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        // A reply loop inside the handler while more data arrives.
        pty.send("more");
        pumpUntil([&] { return port->inBufferCount() >= 5; });
        port->setInputLength(0);
        port->read();
        --depth;
    });
    pty.send("x");
    ASSERT_TRUE(pumpUntil([&] { return calls >= 1; }));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(QtPortTest, HangupIsReportedOnceAndBreaksTheLine) {
    port->open();
    std::vector<int> events;
    port->setReceiveHandler([&](int ev) { events.push_back(ev); });
    port->setReceiveThreshold(20);
    const int held = descriptorsOn(pty.path);
    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    // The device is let go, so nothing keeps waking the event loop.
    EXPECT_EQ(descriptorsOn(pty.path), held - 1);
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(errorOf([&] { port->read(); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port->write(":10\r"); }), serr::PortError);
    port->close();  // harmless
}

TEST_F(QtPortTest, HangupFoundByAReadIsStillReportedFromTheLoop) {
    port->open();
    std::vector<int> events;
    port->setReceiveHandler([&](int ev) { events.push_back(ev); });
    pty.closeMaster();
    int err = 0;
    QElapsedTimer t;
    t.start();
    while (err == 0 && t.elapsed() < kPatienceMs) err = errorOf([&] { port->read(); });
    EXPECT_EQ(err, serr::PortError);
    EXPECT_TRUE(events.empty());  // not from inside read()
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
}

TEST_F(QtPortTest, PropertyAndStateErrors) {
    EXPECT_EQ(errorOf([&] { port->setPortNumber(0); }), serr::InvalidPortNumber);
    EXPECT_EQ(errorOf([&] { port->setPortNumber(-3); }), serr::InvalidPortNumber);
    EXPECT_EQ(errorOf([&] { port->setSettings("115200,N,8"); }), serr::InvalidPropertyValue);
    EXPECT_EQ(port->settings(), "115200,N,8,1");
    EXPECT_EQ(errorOf([&] { port->read(); }), serr::PortNotOpen);
    EXPECT_EQ(errorOf([&] { port->write("x"); }), serr::PortNotOpen);
    EXPECT_EQ(errorOf([&] { port->inBufferCount(); }), serr::PortNotOpen);
    port->close();  // closing a closed port is harmless
    port->open();
    EXPECT_EQ(errorOf([&] { port->setPortNumber(2); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port->open(); }), serr::PortOpenAlready);
    port->close();
    EXPECT_FALSE(port->isOpen());
}

TEST_F(QtPortTest, MissingDeviceIsInvalidPortNumber) {
    port->setPortNumber(2);  // maps to nothing
    try {
        port->open();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::InvalidPortNumber);
        EXPECT_NE(e.description().find("port 2"), std::string::npos) << e.what();
    }
    QtSerialPort ghost([](int) { return std::string("/dev/ttyQuellonMissing7"); });
    try {
        ghost.open();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::InvalidPortNumber);
        EXPECT_NE(e.description().find("/dev/ttyQuellonMissing7"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(ghost.isOpen());
}

TEST_F(QtPortTest, SecondPortOnTheSameDeviceIsInUse) {
    port->open();
    // Another name of the same device shares the lock.
    const std::string link =
        QDir::tempPath().toStdString() + "/quellon-test-link-" + std::to_string(getpid());
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(pty.path.c_str(), link.c_str()), 0);
    for (const std::string& path : {pty.path, link}) {
        QtSerialPort second([path](int) { return path; });
        try {
            second.open();
            ADD_FAILURE() << "second open of " << path << " succeeded";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.number(), serr::PortInUse) << e.what();
            EXPECT_EQ(e.description(), "Port In Use (" + path + " is held by another program)");
        }
    }
    port->close();
    QtSerialPort second([link](int) { return link; });
    second.open();  // free again
    EXPECT_TRUE(second.isOpen());
    second.close();
    ::unlink(link.c_str());
}

TEST_F(QtPortTest, PortHeldByAnotherProcessIsInUse) {
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--hold-port", QString::fromStdString(pty.path)});
    ASSERT_TRUE(holder.waitForStarted(kPatienceMs));
    ASSERT_TRUE(holder.waitForReadyRead(kPatienceMs));
    ASSERT_EQ(holder.readLine().trimmed().toStdString(), "ready");
    EXPECT_EQ(errorOf([&] { port->open(); }), serr::PortInUse);
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(kPatienceMs));
    port->open();
    EXPECT_TRUE(port->isOpen());
}

TEST_F(QtPortTest, OwnerMayDestroyThePortInItsHandler) {
    port->open();
    bool called = false;
    port->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) {
        called = true;
        port.reset();
    });
    pty.send("x");
    ASSERT_TRUE(pumpUntil([&] { return called; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(port, nullptr);
}

TEST(QtPortErrors, OpenFailuresMapToTheirNumbers) {
    const std::string dev = "/dev/ttyUSB0";
    const SerialError denied =
        openErrorFor(dev, QSerialPort::PermissionError, false, EACCES, "Permission denied");
    EXPECT_EQ(denied.number(), serr::PermissionDenied);
    EXPECT_EQ(denied.description(),
              "Permission denied on /dev/ttyUSB0: add your user to the dialout group (sudo adduser "
              "$USER dialout) "
              "and log in again");
    // Allowed to use it, yet refused: somebody holds it.
    const SerialError busy =
        openErrorFor(dev, QSerialPort::PermissionError, true, 0, "Permission error while locking");
    EXPECT_EQ(busy.number(), serr::PortInUse);
    EXPECT_EQ(busy.description(), "Port In Use (/dev/ttyUSB0 is held by another program)");
    EXPECT_EQ(openErrorFor(dev, QSerialPort::DeviceNotFoundError, true, 0, "").number(),
              serr::InvalidPortNumber);
    EXPECT_EQ(openErrorFor(dev, QSerialPort::OpenError, true, 0, "").number(),
              serr::PortOpenAlready);
    const SerialError other = openErrorFor(dev, QSerialPort::UnknownError, true, 0, "Strange");
    EXPECT_EQ(other.number(), serr::PortError);
    EXPECT_EQ(other.description(), "Port ERROR: /dev/ttyUSB0: Strange");
}

TEST(QtPortErrors, APathThatIsNoSerialDeviceIsRefused) {
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/not-a-tty";
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    for (const std::string& path : {file, dir.path().toStdString()}) {
        QtSerialPort port([path](int) { return path; });
        int err = errorOf([&] { port.open(); });
        EXPECT_NE(err, 0) << path;
        EXPECT_FALSE(port.isOpen()) << path;
    }
}
