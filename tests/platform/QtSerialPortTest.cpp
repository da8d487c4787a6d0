// The serial port on a real pseudo terminal: the test holds the master side.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>

#include <QProcess>
#include <QTemporaryDir>

#include "TestUtil.h"
#include "platform/PortMap.h"
#include "platform/QtSerialPort.h"
#include "settings/Ini.h"

using namespace quellon;
using test::errorOf;
using test::pumpUntil;

namespace {

// Open descriptors of this process on path (a pty's node goes with its master).
int descriptorsOn(const std::string& path) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
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
        if (master >= 0) ::close(master);
        ::close(slave);
    }
    void send(const std::string& s) {
        ASSERT_EQ(::write(master, s.data(), s.size()), ssize_t(s.size()));
    }
};

}  // namespace

TEST_F(QtPortTest, HangupFoundByAReadIsStillReportedOnceFromTheLoop) {
    port->open();
    std::vector<int> events;
    port->setReceiveHandler([&](int ev) { events.push_back(ev); });
    port->setReceiveThreshold(20);
    const int held = descriptorsOn(path);
    ::close(master);
    master = -1;
    EXPECT_TRUE(test::retry([&] { return errorOf([&] { port->read(); }) == serr::PortError; }));
    EXPECT_TRUE(events.empty());  // not from inside read()
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(descriptorsOn(path), held - 1);  // the device is let go: no more wake-ups
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(errorOf([&] { port->write(":10\r"); }), serr::PortError);
}

TEST_F(QtPortTest, WritesAndReadsWorkWithoutTheEventLoop) {
    port->open();
    port->write(":16\r");  // as during the 100 ms pause after a command
    pollfd pfd{master, POLLIN, 0};
    char buf[16];
    const ssize_t r = poll(&pfd, 1, test::kPatienceMs) == 1 ? ::read(master, buf, sizeof buf) : 0;
    EXPECT_EQ(std::string(buf, r > 0 ? size_t(r) : 0), ":16\r");
    send("abc\r");
    port->setInputLength(1);  // polled the way the reply loops do: never more than asked
    std::string got, s;
    EXPECT_TRUE(
        test::retry([&] { return (s = port->read()).size() <= 1 && (got += s).size() >= 4; }));
    EXPECT_EQ(got, "abc\r");
}

TEST_F(QtPortTest, SettingsTheDeviceCannotDoFailTheOpen) {
    port->setSettings("9600,E,7,1");  // a pseudo terminal always carries 8 bits, no parity
    EXPECT_EQ(errorOf([&] { port->open(); }), serr::PortError);
    EXPECT_FALSE(port->isOpen());
    port->setSettings("9600,N,8,2");
    port->open();  // nothing was left held
    termios t{};
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
}

TEST_F(QtPortTest, FrameThatArrivesDuringTheHandlerIsStillAnnounced) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    std::vector<std::string> frames;
    port->setReceiveHandler([&](int) {
        if (frames.empty()) {  // the handler's own count pulls the next frame in
            send(std::string(20, 'f'));
            test::retry([&] { return port->inBufferCount() >= 40; });
        }
        frames.push_back(port->read());
    });
    port->setReceiveThreshold(20);
    send(std::string(20, 'e'));
    ASSERT_TRUE(pumpUntil([&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[1], std::string(20, 'f'));
}

TEST_F(QtPortTest, HandlerIsNotReenteredAndMayDestroyThePort) {
    port->open();
    int depth = 0, maxDepth = 0, calls = 0;
    port->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) {
        maxDepth = std::max(maxDepth, ++depth);
        send("more");  // a reply loop inside the handler while more data arrives
        pumpUntil([&] { return port->inBufferCount() >= 5; });
        port->read();
        --depth;
        if (++calls == 2) port.reset();  // the owner unloads
    });
    send("x");
    ASSERT_TRUE(pumpUntil([&] { return port == nullptr || calls >= 1; }));
    send("y");
    ASSERT_TRUE(pumpUntil([&] { return port == nullptr; }));
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(QtPortTest, DeviceHeldElsewhereIsInUse) {
    QProcess holder;  // another program holds it
    holder.start(QCoreApplication::applicationFilePath(),
                 {"--hold-port", QString::fromStdString(path)});
    ASSERT_TRUE(holder.waitForStarted(test::kPatienceMs) &&
                holder.waitForReadyRead(test::kPatienceMs));
    ASSERT_EQ(holder.readLine().trimmed().toStdString(), "ready");
    EXPECT_EQ(errorOf([&] { port->open(); }), serr::PortInUse);
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(test::kPatienceMs));
    port->open();
}

TEST(QtPortErrors, OpenFailuresMapToTheirNumbersAndTexts) {
    SerialError e =
        openErrorFor("/dev/ttyUSB0", QSerialPort::PermissionError, false, EACCES, "denied");
    EXPECT_EQ(e.number(), serr::PermissionDenied);
    EXPECT_EQ(e.description(),
              "Permission denied on /dev/ttyUSB0: add your user to the dialout group (sudo adduser "
              "$USER dialout) and log in again");
    // Allowed to use it, yet refused: somebody holds it.
    e = openErrorFor("/dev/ttyUSB0", QSerialPort::PermissionError, true, 0, "locking");
    EXPECT_EQ(e.number(), serr::PortInUse);
    EXPECT_EQ(e.description(), "Port In Use (/dev/ttyUSB0 is held by another program)");
    // A path that is no serial device is refused.
    QTemporaryDir dir;
    QtSerialPort port([p = dir.path().toStdString()](int) { return p; });
    EXPECT_NE(errorOf([&] { port.open(); }), 0);
    EXPECT_FALSE(port.isOpen());
}

// A receive handler that cannot run (a modal box on the receive path) must not
// make the port take in the line without end; once it runs again, everything
// the line still holds arrives, down to the last byte.
TEST_F(QtPortTest, UnreadDataIsBoundedAndFlowsAgainOnceRead) {
    port->open();
    port->setInputMode(InputMode::Binary);
    port->setInputLength(20);
    bool stuck = true;
    size_t got = 0;
    port->setReceiveHandler([&](int ev) {
        if (ev == SerialPort::EvReceive && !stuck) got += port->read().size();
    });
    port->setReceiveThreshold(20);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const std::string chunk(4000, 'x');  // 200 frames
    size_t written = 0;
    for (int idle = 0; written < 512 * 1024 && idle < 50;) {
        const ssize_t n = ::write(master, chunk.data(), chunk.size());
        idle = n > 0 ? 0 : idle + 1;
        written += n > 0 ? size_t(n) : 0;
        pumpUntil([] { return false; }, 5);
    }
    EXPECT_LE(port->inBufferCount(), QtSerialPort::kReadBufferLimit);
    EXPECT_LT(written, 512u * 1024);  // the line filled up instead of the program
    stuck = false;
    EXPECT_TRUE(pumpUntil([&] { return got == written - written % 20; }));
    EXPECT_EQ(got, written - written % 20);
}

// A USB adapter pinned by its stable name: while it is unplugged the number is
// reported as missing, and once the name is back the same number opens it.
TEST_F(QtPortTest, PinnedStableNameIsMissingWhileUnpluggedAndFoundAgain) {
    QTemporaryDir dir;
    const std::string byId = dir.path().toStdString() + "/by-id";
    std::filesystem::create_directory(byId);
    const std::string name = byId + "/usb-FTDI_FT232R_USB_UART_A10K2B3C-if00-port0";
    const std::string ini = dir.path().toStdString() + "/Quellon.ini";
    std::filesystem::create_symlink(path, name);
    EXPECT_EQ(stableDevicePath(path, byId), name);
    EXPECT_EQ(pinSuggestion(1, path, ini, byId), name);
    WriteIni("Ports", "1", name, ini);
    EXPECT_EQ(pinSuggestion(1, path, ini, byId), "");  // already pinned
    const std::vector<PortInfo> system{{path, "FT232R USB UART"}};
    QtSerialPort pinned([&](int n) { return devicePathForPort(n, ini, system); });
    pinned.setSettings("115200,N,8,1");

    const std::tuple<const char*, bool, const char*> steps[] = {
        {"plugged in", true, "FT232R USB UART"},
        {"unplugged", false, "missing (set in the settings file)"},
        {"plugged in again", true, "FT232R USB UART"},
    };
    for (const auto& [what, present, description] : steps) {
        SCOPED_TRACE(what);
        std::filesystem::remove(name);
        if (present) std::filesystem::create_symlink(path, name);
        const auto listed = numberedPorts(ini, 1, system);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].second.path, name);
        EXPECT_EQ(listed[0].second.description, description);
        if (present) {
            EXPECT_EQ(errorOf([&] { pinned.open(); }), 0);
            EXPECT_TRUE(pinned.isOpen());
            pinned.close();
        } else {
            std::string text;
            try {
                pinned.open();
            } catch (const SerialError& e) {
                text = e.description();
            }
            EXPECT_NE(text.find(name + " does not exist"), std::string::npos) << text;
        }
    }
    EXPECT_EQ(stableDevicePath("/dev/null", byId), "");  // no stable name
}
