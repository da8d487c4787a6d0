// What only the real port on a pseudo terminal shows; the calls both ports share
// are checked in SerialPortContractTest.cpp.
#include <fcntl.h>

#include <gtest/gtest.h>
#include <filesystem>

#include <QProcess>
#include <QTemporaryDir>

#include "TestUtil.h"
#include "platform/PortMap.h"
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

struct QtPortTest : ::testing::Test, test::Pty {};

}  // namespace

TEST_F(QtPortTest, HangupFoundByAReadIsStillReportedOnceFromTheLoop) {
    port->open();
    int events = 0;
    port->setHangupHandler([&] { ++events; });
    const int held = descriptorsOn(path);
    hangup();
    EXPECT_TRUE(test::retry([&] { return errorOf([&] { port->read(); }) == serr::PortError; }));
    EXPECT_EQ(events, 0);  // not from inside read()
    ASSERT_TRUE(pumpUntil([&] { return events > 0; }));
    EXPECT_EQ(descriptorsOn(path), held - 1);  // the device is let go: no more wake-ups
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(events, 1);
    EXPECT_FALSE(port->isOpen());
}

TEST_F(QtPortTest, WritesAndReadsWorkWithoutTheEventLoop) {
    port->open();
    port->write(":16\r");  // as during the 100 ms pause after a command
    EXPECT_EQ(farSide(4, false), ":16\r");
    arrive("abc\r");
    std::string got;
    EXPECT_TRUE(test::retry([&] { return (got += port->read()).size() >= 4; }));
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

TEST_F(QtPortTest, BytesThatArriveDuringTheHandlerAreStillAnnounced) {
    port->open();
    std::vector<std::string> reads;
    port->setBytesHandler([&] {
        if (reads.empty()) {  // the handler's own read pulls the next frame in
            arrive(std::string(20, 'f'));
            test::retry([&] { return port->hasBytes(); });
            reads.push_back(port->read(20));
            return;
        }
        reads.push_back(port->read());
    });
    arrive(std::string(20, 'e'));
    ASSERT_TRUE(pumpUntil([&] { return reads.size() == 2; }));
    EXPECT_EQ(reads[1], std::string(20, 'f'));
}

TEST_F(QtPortTest, HandlerIsNotReenteredAndMayDestroyThePort) {
    port->open();
    int depth = 0, maxDepth = 0, calls = 0;
    port->setBytesHandler([&] {
        maxDepth = std::max(maxDepth, ++depth);
        arrive("more");  // a reply loop inside the handler while more data arrives
        std::string got;
        pumpUntil([&] { return (got += port->read()).size() >= 5; });
        --depth;
        if (++calls == 2) port.reset();  // the owner unloads
    });
    arrive("x");
    ASSERT_TRUE(pumpUntil([&] { return port == nullptr || calls >= 1; }));
    arrive("y");
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

// A bytes handler that cannot read (a modal box on the receive path) must not make
// the port take in the line without end; once read, every byte still arrives.
TEST_F(QtPortTest, UnreadDataIsBoundedAndFlowsAgainOnceRead) {
    port->open();
    bool stuck = true;
    size_t got = 0;
    port->setBytesHandler([&] {
        if (!stuck) got += port->read().size();
    });
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const std::string chunk(4000, 'x');  // 200 frames
    size_t written = 0;
    for (int idle = 0; written < 512 * 1024 && idle < 50;) {
        const ssize_t n = ::write(master, chunk.data(), chunk.size());
        idle = n > 0 ? 0 : idle + 1;
        written += n > 0 ? size_t(n) : 0;
        pumpUntil([] { return false; }, 5);
    }
    EXPECT_LT(written, 512u * 1024);  // the line filled up instead of the program
    stuck = false;
    got = port->read().size();
    EXPECT_LE(got, size_t(QtSerialPort::kReadBufferLimit));
    EXPECT_TRUE(pumpUntil([&] { return got == written; })) << got << " of " << written;
}

// The line is read while the event loop is held up (as in a command exchange's
// pause): more than the system's own buffer holds is taken in, and all of it is
// handed on in order, batch after batch.
TEST_F(QtPortTest, LineIsTakenInWhileTheLoopIsHeldUpAndPassedOnInOrder) {
    port->open();
    std::string sent, got;
    for (int i = 0; sent.size() < 48 * 1024; ++i) sent += std::to_string(i) + ',';
    port->setBytesHandler([&] { got += port->read(); });
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    size_t written = 0;
    EXPECT_TRUE(test::retry([&] {  // no event loop meanwhile
        const ssize_t n =
            ::write(master, sent.data() + written, std::min<size_t>(4000, sent.size() - written));
        written += n > 0 ? size_t(n) : 0;
        return written == sent.size();
    }));
    ASSERT_TRUE(pumpUntil([&] { return got.size() >= written; }));
    EXPECT_TRUE(got == sent);  // (not the 48 KB of both in a failure)
}

// A USB adapter pinned by its stable name: while it is unplugged the number cannot
// be opened, and once the name is back the same number opens it (the list's
// "missing" is PortMapTest's).
TEST_F(QtPortTest, PinnedStableNameIsMissingWhileUnpluggedAndFoundAgain) {
    QTemporaryDir dir;
    const std::string byId = dir.path().toStdString() + "/by-id";
    const std::string name = byId + "/usb-FTDI_FT232R_USB_UART_A10K2B3C-if00-port0";
    const std::string ini = dir.path().toStdString() + "/Quellon.ini";
    std::filesystem::create_directory(byId);
    std::filesystem::create_symlink(path, name);
    EXPECT_EQ(stableDevicePath(path, byId), name);
    EXPECT_EQ(stableDevicePath("/dev/null", byId), "");
    EXPECT_EQ(pinSuggestion(1, path, ini, byId), name);
    WriteIni("Ports", "1", name, ini);
    EXPECT_EQ(pinSuggestion(1, path, ini, byId), "");  // already pinned
    const std::vector<PortInfo> system{{path, "FT232R USB UART"}};
    QtSerialPort pinned([&](int n) { return devicePathForPort(n, ini, system); });
    std::filesystem::remove(name);  // unplugged
    std::string text;
    EXPECT_EQ(errorOf([&] { pinned.open(); }, &text), serr::InvalidPortNumber);
    EXPECT_NE(text.find(name + " does not exist"), std::string::npos) << text;
    std::filesystem::create_symlink(path, name);  // plugged in again
    EXPECT_TRUE(errorOf([&] { pinned.open(); }) == 0 && pinned.isOpen());
}
