// The serial port on a real pseudo terminal: the test holds the master side and
// plays the bridge.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "TestUtil.h"
#include "platform/QtSerialPort.h"

using namespace quellon;
using test::errorOf;
using test::kPatienceMs;
using test::pumpUntil;

namespace {

// Runs the event loop for ms, to see that nothing more arrives.
void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// Open descriptors of this process on path (a pty's node goes with its master).
int descriptorsOn(const std::string& path) {
    int n = 0;
    for (const QString& e :
         QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char buf[512];
        const ssize_t r = ::readlink(("/proc/self/fd/" + e.toStdString()).c_str(), buf, sizeof buf);
        const std::string target(buf, r > 0 ? static_cast<size_t>(r) : 0);
        n += target == path || target == path + " (deleted)";
    }
    return n;
}

struct QtPortTest : ::testing::Test {
    int master = -1, slave = -1;
    std::string path;
    std::unique_ptr<QtSerialPort> port;

    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        port = std::make_unique<QtSerialPort>([p = path](int n) { return n == 1 ? p : ""; });
        port->setSettings("115200,N,8,1");
    }
    void TearDown() override {
        port.reset();
        closeMaster();
        if (slave >= 0) ::close(slave);
    }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void send(const std::string& s) {
        ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }
    // What the program wrote, waiting for n bytes; no event loop runs meanwhile.
    std::string receive(size_t n) {
        std::string got;
        test::retry([&] {
            pollfd pfd{master, POLLIN, 0};
            char buf[256];
            const ssize_t r = poll(&pfd, 1, 10) > 0 ? ::read(master, buf, sizeof buf) : 0;
            got.append(buf, r > 0 ? static_cast<size_t>(r) : 0);
            return got.size() >= n;
        });
        return got;
    }
    // Polls read() without the event loop, the way the reply loops do; no read
    // may return more than the input length.
    std::string readAtLeast(size_t n, size_t most = SIZE_MAX) {
        std::string got;
        test::retry([&] {
            const std::string s = port->read();
            EXPECT_LE(s.size(), most);
            return (got += s).size() >= n;
        });
        return got;
    }

    void hangUp(bool foundByRead) {
        port->open();
        std::vector<int> events;
        port->setReceiveHandler([&](int ev) { events.push_back(ev); });
        port->setReceiveThreshold(20);
        const int held = descriptorsOn(path);
        closeMaster();
        if (foundByRead) {
            int err = 0;
            test::retry([&] { return (err = errorOf([&] { port->read(); })) != 0; });
            EXPECT_EQ(err, serr::PortError);
            EXPECT_TRUE(events.empty());  // not from inside read()
        }
        ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
        // The device is let go, so nothing keeps waking the event loop.
        EXPECT_EQ(descriptorsOn(path), held - 1);
        pumpFor(200);
        EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(errorOf([&] { port->read(); }), serr::PortError);
        EXPECT_EQ(errorOf([&] { port->write(":10\r"); }), serr::PortError);
        port->close();  // harmless
    }
};

}  // namespace

TEST_F(QtPortTest, WritesAndReadsWorkWithoutTheEventLoop) {
    port->open();
    port->write(":16\r");  // as during the 100 ms pause after a command
    EXPECT_EQ(receive(4), ":16\r");
    send(":ACK\r");
    EXPECT_EQ(readAtLeast(5), ":ACK\r");

    send("abc\r");
    port->setInputLength(1);
    EXPECT_EQ(readAtLeast(4, 1), "abc\r");
    EXPECT_EQ(port->read(), "");  // nothing buffered: empty after a short wait
    send(std::string(30, 'x'));
    port->setInputLength(20);
    ASSERT_TRUE(pumpUntil([&] { return port->inBufferCount() >= 30; }));
    EXPECT_EQ(port->read().size(), 20u);
    port->setInputLength(0);
    EXPECT_EQ(port->read().size(), 10u);
}

TEST_F(QtPortTest, SettingsReachTheDeviceOrFailTheOpen) {
    port->setSettings("9600,E,7,1");  // a pseudo terminal always carries 8 bits, no parity
    try {
        port->open();
        FAIL() << "opened with settings the device cannot do";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::PortError);
        EXPECT_NE(e.description().find("9600,E,7,1"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(port->isOpen());

    port->setSettings("9600,N,8,2");
    port->open();  // nothing was left held
    termios t{};
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    port->setSettings("115200,N,8,1");  // while open: applied at once
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
}

TEST_F(QtPortTest, ThresholdNotifiesFromTheEventLoopAndAgainWhileDataWaits) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    std::vector<std::string> frames;
    bool inCall = false, calledInsideCall = false;
    port->setReceiveHandler([&](int ev) {
        EXPECT_EQ(ev, SerialPort::EvReceive);
        calledInsideCall |= inCall;
        frames.push_back(port->read());
    });
    port->setReceiveThreshold(20);

    // Two frames and a part: two notifications, the part waits.
    send(std::string(20, 'a') + std::string(20, 'b') + "cc");
    QElapsedTimer t;  // counts outside the handler never run it
    for (t.start(); t.elapsed() < 200; QThread::msleep(2)) {
        inCall = true;
        port->inBufferCount();
        inCall = false;
    }
    EXPECT_TRUE(frames.empty());
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[0], std::string(20, 'a'));
    EXPECT_EQ(frames[1], std::string(20, 'b'));
    pumpFor(100);  // the rest is below the threshold: quiet until the frame is complete
    EXPECT_EQ(frames.size(), 2u);
    send(std::string(18, 'c'));
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 3; }));
    EXPECT_EQ(frames[2], std::string(20, 'c'));
    EXPECT_FALSE(calledInsideCall);

    port->setReceiveThreshold(0);  // no more notifications
    send(std::string(40, 'd'));
    ASSERT_TRUE(pumpUntil([&] { return port->inBufferCount() >= 40; }));
    pumpFor(100);
    EXPECT_EQ(frames.size(), 3u);
}

TEST_F(QtPortTest, FrameThatArrivesDuringTheHandlerIsStillAnnounced) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    std::vector<std::string> frames;
    port->setReceiveHandler([&](int) {
        if (frames.empty()) {
            // The handler's own count pulls the next frame in: the line will
            // not announce it again.
            send(std::string(20, 'f'));
            QElapsedTimer t;
            t.start();
            while (port->inBufferCount() < 40 && t.elapsed() < 2000) QThread::msleep(1);
        }
        frames.push_back(port->read());
    });
    port->setReceiveThreshold(20);
    send(std::string(20, 'e'));
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[1], std::string(20, 'f'));
}

TEST_F(QtPortTest, HandlerIsNotReenteredByItsOwnEventLoop) {
    port->open();
    int depth = 0, maxDepth = 0, calls = 0;
    port->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) {
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        send("more");  // a reply loop inside the handler while more data arrives
        pumpUntil([&] { return port->inBufferCount() >= 5; });
        port->read();
        --depth;
    });
    send("x");
    ASSERT_TRUE(pumpUntil([&] { return calls >= 1; }));
    pumpFor(100);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(QtPortTest, HangupIsReportedOnceAndBreaksTheLine) { hangUp(false); }
TEST_F(QtPortTest, HangupFoundByAReadIsStillReportedFromTheLoop) { hangUp(true); }

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

    // A number that maps to nothing, and a path where there is no device.
    port->setPortNumber(2);
    QtSerialPort ghost([](int) { return std::string("/dev/ttyQuellonMissing7"); });
    const auto missing = [](QtSerialPort& p, const std::string& named) {
        try {
            p.open();
            ADD_FAILURE() << named;
        } catch (const SerialError& e) {
            EXPECT_EQ(e.number(), serr::InvalidPortNumber);
            EXPECT_NE(e.description().find(named), std::string::npos) << e.what();
        }
        EXPECT_FALSE(p.isOpen());
    };
    missing(*port, "port 2");
    missing(ghost, "/dev/ttyQuellonMissing7");
}

TEST_F(QtPortTest, DeviceHeldElsewhereIsInUse) {
    port->open();
    // Another name of the same device shares the lock.
    const std::string link =
        QDir::tempPath().toStdString() + "/quellon-test-link-" + std::to_string(getpid());
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    for (const std::string& p : {path, link}) {
        QtSerialPort second([p](int) { return p; });
        try {
            second.open();
            ADD_FAILURE() << "second open of " << p << " succeeded";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.number(), serr::PortInUse) << e.what();
            EXPECT_EQ(e.description(), "Port In Use (" + p + " is held by another program)");
        }
    }
    port->close();
    QtSerialPort second([link](int) { return link; });
    second.open();  // free again
    second.close();
    ::unlink(link.c_str());

    QProcess holder;  // another program holds it
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--hold-port", QString::fromStdString(path)});
    ASSERT_TRUE(holder.waitForStarted(kPatienceMs) && holder.waitForReadyRead(kPatienceMs));
    ASSERT_EQ(holder.readLine().trimmed().toStdString(), "ready");
    EXPECT_EQ(errorOf([&] { port->open(); }), serr::PortInUse);
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(kPatienceMs));
    port->open();
    EXPECT_TRUE(port->isOpen());
}

TEST_F(QtPortTest, OwnerMayDestroyThePortInItsHandler) {
    port->open();
    port->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) { port.reset(); });
    send("x");
    ASSERT_TRUE(pumpUntil([&] { return port == nullptr; }));
    pumpFor(50);
}

TEST(QtPortErrors, OpenFailuresMapToTheirNumbersAndTexts) {
    const auto error = [](QSerialPort::SerialPortError e, bool allowed, int err, const char* qt) {
        return openErrorFor("/dev/ttyUSB0", e, allowed, err, qt);
    };
    SerialError e = error(QSerialPort::PermissionError, false, EACCES, "Permission denied");
    EXPECT_EQ(e.number(), serr::PermissionDenied);
    EXPECT_EQ(e.description(),
              "Permission denied on /dev/ttyUSB0: add your user to the dialout group (sudo adduser "
              "$USER dialout) and log in again");
    // Allowed to use it, yet refused: somebody holds it.
    e = error(QSerialPort::PermissionError, true, 0, "Permission error while locking");
    EXPECT_EQ(e.number(), serr::PortInUse);
    EXPECT_EQ(e.description(), "Port In Use (/dev/ttyUSB0 is held by another program)");
    e = error(QSerialPort::UnknownError, true, 0, "Strange");
    EXPECT_EQ(e.number(), serr::PortError);
    EXPECT_EQ(e.description(), "Port ERROR: /dev/ttyUSB0: Strange");
    EXPECT_EQ(error(QSerialPort::DeviceNotFoundError, true, 0, "").number(),
              serr::InvalidPortNumber);
    EXPECT_EQ(error(QSerialPort::OpenError, true, 0, "").number(), serr::PortOpenAlready);
}

TEST(QtPortErrors, APathThatIsNoSerialDeviceIsRefused) {
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/not-a-tty";
    QFile f(QString::fromStdString(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("x") == 1);
    f.close();
    for (const std::string& path : {file, dir.path().toStdString()}) {
        QtSerialPort port([path](int) { return path; });
        EXPECT_NE(errorOf([&] { port.open(); }), 0) << path;
        EXPECT_FALSE(port.isOpen()) << path;
    }
}
