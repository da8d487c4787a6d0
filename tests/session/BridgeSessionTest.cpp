// The session on its own, without any window: the connect sequence's commands,
// how a failure ends, and what one frame reaches.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/testing/FakePlatform.h"
#include "session/BridgeSession.h"
#include "tests/BridgeBytes.h"

using namespace quellon;
using quellon::test::idReply;

namespace {

struct Heard : ReadingListener {
    std::vector<std::string> events;
    void onReading(const ReadingEvent& e) override {
        events.push_back(e.reading.channel + std::to_string(e.reading.pwrDir) + " scale " +
                         e.state.ScaleTextA[1]);
    }
    void onLinkState(LinkState s) override { events.push_back(linkStateName(s)); }
};

struct Session : ::testing::Test {
    Session() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quellon-session-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
        g.SettingsPath = dir + "/Quellon.ini";
        g.ProgramDir = dir;
        p.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& self) {
                commands.push_back(data);
                wire.push_back(std::to_string(p.now) + " " + data);
                self.feed(data == ":16\r" ? id : data == ":17\r" ? ":1047\r" : ":ACK\r");
            };
        };
        session = std::make_unique<BridgeSession>(p, g);
        session->readings().subscribe(&heard);
        session->onStatus = [this](const std::string& s) { statuses.push_back(s); };
    }
    ~Session() override {
        session.reset();  // its log writer first: it may still be writing in dir
        std::filesystem::remove_all(dir);
    }
    bool connect() {
        if (!session->beginConnect()) return false;
        std::optional<bool> ok;
        session->readBridge([&](bool r) { ok = r; });
        p.runUntil([&] { return ok.has_value(); }, 30000);
        if (!ok.value_or(false)) return false;
        session->startStream();
        return p.runUntil([&] { return session->streaming(); }, 1000);
    }

    std::string dir, id = idReply("1.10");
    FakePlatform p;
    ModGlobal g;
    Heard heard;
    std::vector<std::string> commands, statuses, wire;
    std::unique_ptr<BridgeSession> session;
};

TEST_F(Session, ConnectsThenAFrameReachesTheListenersAsAValueWithTheBridgesState) {
    ASSERT_TRUE(connect());
    // Identification, then parameters and scales on the reopened port, then the stream.
    EXPECT_EQ(commands, (std::vector<std::string>{":16\r", ":16\r", ":17\r", ":11\r"}));
    EXPECT_EQ(statuses, std::vector<std::string>{"SWR BRIDGE CONNECTED"});
    EXPECT_EQ(g.ScaleTextA[1] + "|" + g.ScaleTextB[1], "50W|250W");
    EXPECT_EQ(session->streamState(), StreamState::Running);
    // nDir 10: below nFwdMin, no power
    static_cast<FakeSerialPort&>(session->port()).feed(test::frame('A', {10, 0, 0, 0, 0, 0}));
    p.advance(5);
    EXPECT_EQ(heard.events, (std::vector<std::string>{"connecting", "streaming", "A0 scale 50W"}));
    EXPECT_TRUE(session->framesAccepted() == 1 && session->watchdog().isActive());
}

// A bad mark resynchronises and forgets the last channel, as a new connection
// does; a field above the int16 range also resynchronises but keeps it.
TEST_F(Session, BadFramesResynchroniseAndOnlyBadMarksForgetTheLastChannel) {
    ASSERT_TRUE(connect());
    auto& port = static_cast<FakeSerialPort&>(session->port());
    commands.clear();
    port.feed(test::frame('A'));
    port.feed("x" + test::frame('B').substr(1, 18) + "Z");
    port.feedAfter(2, "tail\r");
    p.advance(400);
    EXPECT_EQ(std::tuple(session->resyncs(), session->lastChannel()), std::tuple(1u, ""));
    EXPECT_EQ(commands, std::vector<std::string>{":11\r"});
    port.feed(test::frame('B') + test::frame('A'));  // good frames, even in one burst
    port.feed(test::frame('B', {0x8001, 0, 0, 0, 0, 0}));
    port.feedAfter(2, "\r");
    p.advance(400);
    EXPECT_EQ(std::tuple(session->framesAccepted(), session->resyncs(), session->lastChannel()),
              std::tuple(3u, 2u, "A"));
    session->startStream();  // connected again after a lost line
    EXPECT_EQ(session->lastChannel(), "");
}

// Every command, the windows' too, goes through the one port in the order asked
// for, each one's exchange over before the next is written; the window's port
// is closed and opened as it always was.
TEST_F(Session, CommandsOfAWindowQueueBehindTheStreamStopOnTheOnePort) {
    ASSERT_TRUE(connect());
    auto& port = static_cast<FakeSerialPort&>(session->port());
    const int opens = port.opens(), closes = port.closes();
    wire.clear();
    port.feed(test::frame('A'));  // arms the watchdog
    p.advance(5);
    session->logger().setDataLogActive(true);
    session->logger().startDataLog();
    const uint32_t t0 = p.now;
    std::vector<std::string> heardBack;
    session->stopRxDati();  // the stream's watchdog and log stop with it
    EXPECT_FALSE(session->watchdog().isActive() || session->logger().isOpen());
    EXPECT_EQ(session->streamState(), StreamState::Stopped);
    session->closeBridgePort();
    session->openForCommands([&](const std::string& failure) { heardBack.push_back(failure); });
    session->sendCommand(":01\r", [&](bool acked) { heardBack.push_back(acked ? "ack" : "nak"); });
    session->closeBridgePort();
    session->reopenBridgePort();
    session->startRxDati();
    EXPECT_FALSE(session->idle());
    ASSERT_TRUE(p.runUntil([&] { return session->idle(); }, 1000));
    EXPECT_EQ(wire, (std::vector<std::string>{std::to_string(t0) + " :10\r",
                                              std::to_string(t0 + 100) + " :01\r",
                                              std::to_string(t0 + 200) + " :11\r"}));
    EXPECT_EQ(heardBack, (std::vector<std::string>{"", "ack"}));
    EXPECT_EQ(std::tuple(port.opens() - opens, port.closes() - closes), std::tuple(2, 2));
    EXPECT_TRUE(session->streaming());
}

// The window's test (tests/app) checks the status text, the handshake's the box's text.
TEST_F(Session, OldFirmwareEndsTheSequenceWithOneBoxAndThePortClosed) {
    id = idReply("1.07");
    EXPECT_FALSE(connect());
    EXPECT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_EQ(heard.events, (std::vector<std::string>{"connecting", "idle"}));
    EXPECT_FALSE(session->port().isOpen() || session->connecting());
}

}  // namespace
