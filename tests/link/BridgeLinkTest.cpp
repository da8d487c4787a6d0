#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "link/BridgeLink.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

namespace quellon {
namespace {

class Link : public ::testing::Test {
protected:
    Link() : port(&p), link(port, p) {}
    uint32_t elapsed() const { return p.now - start; }

    FakePlatform p;
    FakeSerialPort port;
    BridgeLink link;
    uint32_t start = p.now;
    ModGlobal g;
};

// ------------------------------------------------------------ sendCmd_ACK

TEST_F(Link, AckBehindBufferedFrameBytesInOneRead) {
    EXPECT_TRUE(link.sendCmd_ACK(""));  // an empty command: no write, no open, no pause
    EXPECT_TRUE(port.written().empty() && !port.isOpen() && p.sleeps.empty());
    port.onWrite = [](const std::string&, FakeSerialPort& s) {
        s.feed(std::string("\x05\x00\x07\r", 4) + ":ACK\r");
    };
    EXPECT_TRUE(link.sendCmd_ACK(":11\r"));
    EXPECT_TRUE(port.isOpen());  // opened because it was closed
    EXPECT_EQ(port.written(), std::vector<std::string>{":11\r"});
    EXPECT_EQ(p.sleeps, std::vector<int>{100});
    // Left in the command regime: text, no notification.
    EXPECT_EQ(std::tuple(port.inputMode(), port.receiveThreshold(), port.inputLength()),
              std::tuple(InputMode::Text, 0, 0));
}

TEST_F(Link, StaleBytesAreDrainedBeforeTheFirstWrite) {
    port.open();
    port.setInputMode(InputMode::Binary);
    port.setReceiveThreshold(20);
    port.setInputLength(20);
    port.feed(":ACK\r left over from before");
    EXPECT_FALSE(link.sendCmd_ACK(":10\r"));
    EXPECT_EQ(port.written().size(), 3u);
    EXPECT_EQ(port.receiveThreshold(), 0);
}

TEST(LinkAck, UnrecognisedAckCostsThreeWritesHundredMsApart) {
    // Silence, ":ACK" without its CR, and an ACK split over two reads.
    const std::pair<const char*, const char*> replies[] = {
        {"", ""}, {":ACK", ":ACK"}, {":AC", "K\r"}};
    for (const auto& [first, second] : replies) {
        SCOPED_TRACE(first);
        FakePlatform p;
        FakeSerialPort port(&p);
        BridgeLink link(port, p);
        std::vector<uint32_t> writeTimes;
        port.onWrite = [&, first = first, second = second](const std::string&, FakeSerialPort& s) {
            writeTimes.push_back(p.now);
            s.feed(writeTimes.size() == 1 ? first : second);
        };
        const uint32_t t0 = p.now;
        EXPECT_FALSE(link.sendCmd_ACK(":01\r"));
        EXPECT_EQ(port.written(), (std::vector<std::string>(3, ":01\r")));
        EXPECT_EQ(writeTimes, (std::vector<uint32_t>{t0, t0 + 100, t0 + 200}));
        EXPECT_EQ(p.now - t0, 300u);
        EXPECT_EQ(p.processEventsCalls, 0);  // plain pauses: no events run
    }
}

TEST_F(Link, LateAckOnSecondAttempt) {
    int n = 0;
    port.onWrite = [&](const std::string&, FakeSerialPort& s) {
        if (++n == 2) s.feed(":ACK\r");
    };
    EXPECT_TRUE(link.sendCmd_ACK(":371034\r"));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(link.rxBuffer, ":ACK\r");
}

TEST_F(Link, PortErrorsReachTheCaller) {
    port.openError = SerialError(serr::InvalidPortNumber, "Invalid port number");
    EXPECT_THROW(link.sendCmd_ACK(":11\r"), SerialError);
    port.openError.reset();
    // The line goes away during the exchange: the read after the pause fails.
    port.onWrite = [](const std::string&, FakeSerialPort& s) { s.hangup(); };
    EXPECT_THROW(link.sendCmd_ACK(":11\r"), SerialError);
    EXPECT_EQ(port.written().size(), 1u);
}

// ------------------------------------------------------------ leggiPIC

TEST_F(Link, ReplyLineWithoutItsCarriageReturn) {
    port.open();
    port.setReceiveThreshold(20);
    port.feed("\r:1034\rnext");
    EXPECT_EQ(link.leggiPIC(), "");  // a leading CR gives an empty text
    EXPECT_EQ(link.leggiPIC(), ":1034");
    EXPECT_EQ(link.rxBuffer, ":1034");
    EXPECT_EQ(port.buffered(), "next");  // one character per read: the rest stays
    EXPECT_EQ(port.inputLength(), 1);
    EXPECT_EQ(port.receiveThreshold(), 20);  // not touched
}

TEST_F(Link, NoCarriageReturnTimesOutAfter5000msAlsoOverTickWrap) {
    port.open();
    for (uint32_t t0 : {p.now, 0xFFFFFFFFu - 1000}) {
        SCOPED_TRACE(t0);
        p.now = start = t0;
        port.feed(":wexlo 1.1");
        EXPECT_EQ(link.leggiPIC(), "NAK Timeout");
        EXPECT_GT(elapsed(), 5000u);
        EXPECT_LE(elapsed(), 5002u);
        EXPECT_EQ(link.rxBuffer, ":wexlo 1.1");  // kept, not returned
    }
}

TEST_F(Link, ReplyArrivingLaterWhileEventsRun) {
    port.open();
    port.feedAfter(1200, ":17reply\r");
    auto timer = p.newTimer();
    int ticks = 0;
    timer->onTimeout = [&] { ++ticks; };
    timer->setInterval(1000);
    timer->start();
    EXPECT_EQ(link.leggiPIC(), ":17reply");
    EXPECT_GE(elapsed(), 1200u);
    EXPECT_LT(elapsed(), 1300u);
    EXPECT_EQ(ticks, 1);  // the user interface stayed alive
}

TEST_F(Link, HangupWhileWaitingEndsTheWait) {
    port.open();
    p.after(300, [&] { port.hangup(); });
    EXPECT_THROW(link.leggiPIC(), SerialError);
    EXPECT_LT(elapsed(), 400u);
}

// ------------------------------------------------------------ IdentifyBridge

TEST_F(Link, IdentifyAnsweringBridgeDrainsAndCloses) {
    port.open();
    port.feed("stale frame bytes");
    port.onWrite = [](const std::string& d, FakeSerialPort& s) {
        if (d == ":16\r") s.feed(":wexlo 1.10 rest of the line\r");
    };
    EXPECT_TRUE(IdentifyBridge(link, g));
    EXPECT_EQ(port.written(), std::vector<std::string>{":16\r"});
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(p.sleeps, std::vector<int>{100});
}

TEST_F(Link, IdentifySilentPortCostsFiveTriesOf5100ms) {
    EXPECT_FALSE(IdentifyBridge(link, g));
    EXPECT_EQ(port.written(), std::vector<std::string>(5, ":16\r"));
    EXPECT_GE(elapsed(), 25500u);
    EXPECT_LE(elapsed(), 25510u);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.opens(), 1);
    EXPECT_EQ(g.StatusMessage, "Link error, SWR BRIDGE non found.");
}

TEST_F(Link, IdentifyWrongRepliesUntilTheThirdTry) {
    int n = 0;
    port.onWrite = [&](const std::string&, FakeSerialPort& s) {
        s.feed(++n == 1 ? "hello\rgarbage" : n == 2 ? ":wexl\rgarbage" : ":wexlo\r");
    };
    EXPECT_TRUE(IdentifyBridge(link, g));
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(Link, IdentifyPortErrorsEndWithFalseAndClosedPort) {
    g.StatusMessage = "before";
    port.openError = SerialError(serr::PortInUse, "Port In Use");
    EXPECT_FALSE(IdentifyBridge(link, g));
    EXPECT_EQ(g.StatusMessage, "before");

    port.openError.reset();
    int n = 0;
    port.onWrite = [&](const std::string&, FakeSerialPort& s) {
        if (++n == 2) p.after(50, [&s] { s.hangup(); });
    };
    EXPECT_FALSE(IdentifyBridge(link, g));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(g.StatusMessage, "Link error, SWR BRIDGE non found.");  // left by the first try
    EXPECT_FALSE(port.isOpen());
}

// ------------------------------------------------------------ OpenBridgePort

class OpenPort : public Link {
protected:
    OpenPort() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quellon-link-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) dir = tmpl;
        g.SettingsPath = dir + "/Quellon.ini";
    }
    ~OpenPort() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void setPort(const std::string& number) { WriteIni("Bridge", "Port", number, g.SettingsPath); }

    std::string dir;
};

TEST_F(OpenPort, DefaultsAreReadWrittenBackAndTheReadyPortIsOpen) {
    ASSERT_FALSE(dir.empty());
    port.setInputMode(InputMode::Binary);
    EXPECT_TRUE(OpenBridgePort(port, g));
    EXPECT_EQ(g.PortNumber + " " + g.PortSettings, "1 115200,N,8,1");
    EXPECT_EQ(IniLookup("Bridge", "Port", g.SettingsPath).value_or("") + " " +
                  IniLookup("Bridge", "Setting", g.SettingsPath).value_or(""),
              "1 115200,N,8,1");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(std::to_string(port.portNumber()) + " " + port.settings(), "1 115200,N,8,1");
    EXPECT_EQ(port.inputMode(), InputMode::Text);
    EXPECT_EQ(g.StatusMessage, "Com1: port already in use.");

    setPort("4");  // an open port is reopened on the configured number
    EXPECT_TRUE(OpenBridgePort(port, g));
    EXPECT_EQ(port.portNumber(), 4);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.closes(), 1);
}

TEST_F(OpenPort, FailuresGiveTheStatusTextAndLeaveThePortClosed) {
    for (const char* number : {"0", "abc", "99999", "-3"}) {
        SCOPED_TRACE(number);
        setPort(number);
        EXPECT_FALSE(OpenBridgePort(port, g));
        EXPECT_EQ(g.StatusMessage, std::string("Com:") + number + " Invalid port number");
        EXPECT_FALSE(port.isOpen());
    }
    setPort("7");
    p.openFailures.emplace(7, SerialError(serr::InvalidPortNumber, "Invalid port number"));
    EXPECT_FALSE(OpenBridgePort(port, g));
    EXPECT_EQ(g.StatusMessage, "Com:7 Invalid port number");

    setPort("2");
    FakeSerialPort other(&p);
    other.setPortNumber(2);
    other.open();
    EXPECT_FALSE(OpenBridgePort(port, g));
    EXPECT_EQ(g.StatusMessage, "Com:2 Port In Use");

    setPort("1");
    WriteIni("Bridge", "Setting", "fast please", g.SettingsPath);
    EXPECT_FALSE(OpenBridgePort(port, g));
    EXPECT_EQ(g.StatusMessage.rfind("Com:1 ", 0), 0u);
    EXPECT_GT(g.StatusMessage.size(), 6u);
    EXPECT_FALSE(port.isOpen());
}

TEST(PortNumber, LeadingNumberRoundedHalfEvenOrZero) {
    const std::pair<const char*, int> cases[] = {{"3", 3},   {" 12 ", 12}, {"2.5", 2},
                                                 {"3.5", 4}, {"abc", 0},   {"70000", 0}};
    for (const auto& [text, want] : cases) EXPECT_EQ(portNumberValue(text), want) << text;
}

}  // namespace
}  // namespace quellon
