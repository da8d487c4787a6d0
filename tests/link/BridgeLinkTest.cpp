#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "link/BridgeLink.h"
#include "platform/testing/FakePlatform.h"
#include "session/BridgeSession.h"
#include "settings/Ini.h"

namespace quellon {
namespace {

struct Link : ::testing::Test {
    Link() : port(&p), link(port, p) {}
    uint32_t elapsed() const { return p.now - start; }

    FakePlatform p;
    FakeSerialPort port;
    BridgeLink link;
    uint32_t start = p.now;
    ModGlobal g;
};

TEST_F(Link, AckBehindFrameBytesInOneRead) {
    port.onWrite = [](const std::string&, FakeSerialPort& s) {
        s.feed(std::string("\x05\x00\x07\r", 4) + ":ACK\r");
    };
    EXPECT_TRUE(link.sendCmd_ACK(":11\r"));
    EXPECT_EQ(port.written(), std::vector<std::string>{":11\r"});
    EXPECT_EQ(p.sleeps, std::vector<int>{100});
}

TEST_F(Link, StaleOrSplitAckCostsThreeWritesHundredMsApart) {
    port.open();
    port.feed(":ACK\r left over from before");  // drained before the write: not an answer
    std::vector<uint32_t> writeTimes;
    port.onWrite = [&](const std::string&, FakeSerialPort& s) {
        writeTimes.push_back(p.now);
        s.feed(writeTimes.size() == 1 ? ":AC" : "K\r");
    };
    EXPECT_FALSE(link.sendCmd_ACK(":01\r"));
    EXPECT_EQ(port.written(), (std::vector<std::string>(3, ":01\r")));
    EXPECT_EQ(writeTimes, (std::vector<uint32_t>{start, start + 100, start + 200}));
    EXPECT_EQ(p.processEventsCalls, 0);  // plain pauses: no events run
}

TEST_F(Link, PortErrorsAndHangupReachTheCaller) {
    port.onWrite = [](const std::string&, FakeSerialPort& s) { s.hangup(); };
    EXPECT_THROW(link.sendCmd_ACK(":11\r"), SerialError);
    port.onWrite = nullptr;
    port.open();
    start = p.now;
    p.after(300, [&] { port.hangup(); });
    EXPECT_THROW(link.leggiPIC(), SerialError);  // the wait ends with the line
    EXPECT_LT(elapsed(), 400u);
}

TEST_F(Link, ReplyLineOrTimeoutAfter5000msAlsoOverTickWrap) {
    port.open();
    p.now = start = 0xFFFFFFFFu - 1000;
    port.feed(":1034\r:wexlo 1.1");
    EXPECT_EQ(link.leggiPIC(), ":1034");
    start = p.now;
    EXPECT_EQ(link.leggiPIC(), "NAK Timeout");
    EXPECT_EQ(link.rxBuffer, ":wexlo 1.1");  // what stood behind the first reply's CR
    EXPECT_GT(elapsed(), 5000u);
    EXPECT_LE(elapsed(), 5002u);
}

TEST_F(Link, IdentifyAnsweringBridgeAndSilentPort) {
    port.onWrite = [](const std::string& d, FakeSerialPort& s) {
        if (d == ":16\r") s.feed(":wexlo 1.10 rest of the line\r");
    };
    EXPECT_TRUE(IdentifyBridge(link, g));
    EXPECT_FALSE(port.isOpen());
    port.onWrite = nullptr;
    start = p.now;
    EXPECT_FALSE(IdentifyBridge(link, g));  // five tries of 100 + 5000 ms
    EXPECT_EQ(port.written(), std::vector<std::string>(6, ":16\r"));
    EXPECT_GE(elapsed(), 25500u);
    EXPECT_LE(elapsed(), 25510u);
    EXPECT_EQ(g.StatusMessage, "Link error, SWR BRIDGE non found.");
}

TEST_F(Link, IdentifyPortErrorEndsTheTriesWithTheStatusOfThatMoment) {
    struct Row {
        size_t failingTry;  // 1-based try whose write is followed by a hang-up
        const char* status;
    };
    for (const Row& row : {Row{1, ""}, Row{2, "Link error, SWR BRIDGE non found."},
                           Row{5, "Link error, SWR BRIDGE non found."}}) {
        SCOPED_TRACE(row.failingTry);
        g.PortNumber = "3";
        g.StatusMessage = "Com3: port already in use.";  // left by opening the port
        port.clearWritten();
        port.onWrite = [&](const std::string&, FakeSerialPort& s) {
            if (port.written().size() == row.failingTry) p.after(50, [&s] { s.hangup(); });
        };
        EXPECT_THROW(IdentifyBridge(link, g), SerialError);
        EXPECT_EQ(port.written().size(), row.failingTry);
        EXPECT_FALSE(port.isOpen());
        if (row.failingTry == 1)
            EXPECT_EQ(g.StatusMessage.rfind("Com:3 ", 0), 0u) << g.StatusMessage;
        else EXPECT_EQ(g.StatusMessage, row.status);
    }
}

TEST_F(Link, OpenBridgePortStatusTexts) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quellon-link-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(tmpl.data()));
    g.SettingsPath = tmpl + "/Quellon.ini";
    EXPECT_TRUE(OpenBridgePort(port, g));  // defaults: Com1 at 115200,N,8,1
    EXPECT_EQ(std::to_string(port.portNumber()) + " " + port.settings(), "1 115200,N,8,1");
    EXPECT_EQ(g.StatusMessage, "Com1: port already in use.");
    WriteIni("Bridge", "Port", "abc", g.SettingsPath);
    EXPECT_FALSE(OpenBridgePort(port, g));
    EXPECT_EQ(g.StatusMessage, "Com:abc Invalid port number");
    EXPECT_FALSE(port.isOpen());
    std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace quellon
