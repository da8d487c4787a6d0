#include "link/CommandExchange.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/testing/FakePlatform.h"
#include "session/BridgeSession.h"
#include "settings/Ini.h"

namespace quellon {
namespace {

struct Exchange : ::testing::Test {
    Exchange() : port(&p), ex(port, p) {
        port.setBytesHandler([this] { ex.onBytes(); });
        port.setHangupHandler([this] { ex.onHangup(); });
        port.onWrite = [this](const std::string& d, FakeSerialPort& s) {
            writes.push_back(std::to_string(p.now - start) + " " + d);
            if (!answers.empty()) s.feed(answers.front()), answers.erase(answers.begin());
        };
    }
    // Runs one step to its end; "error", or the outcome and reply, and when it came.
    std::string run(const std::function<void(CommandExchange::Done)>& step) {
        std::string out;
        step([&](const ExchangeResult& r) {
            out = r.error ? "error" : (r.ok ? "ok " : "no ") + r.reply;
            out += " @" + std::to_string(p.now - start);
        });
        p.runUntil([&] { return !out.empty(); }, 60000);
        return out;
    }
    FakePlatform p;
    FakeSerialPort port;
    CommandExchange ex;
    uint32_t start = p.now;
    std::vector<std::string> answers, writes;
    ModGlobal g;
};

// The acknowledgement is read 100 ms after each write, within that one read;
// three writes at most. Nothing waits on the thread: no pause, no event pump.
TEST_F(Exchange, AcknowledgedCommand) {
    const std::tuple<std::vector<std::string>, std::string, size_t> rows[] = {
        {{std::string("\x05\x00\x07\r", 4) + ":ACK\r"}, "ok", 1},
        {{":AC", "K\r", ""}, "no", 3},
        {{"", "x:ACK\r"}, "ok", 2},
    };
    for (const auto& [rowAnswers, outcome, count] : rows) {
        port.close();
        p.now = start = 0xFFFFFFFFu - 150;  // the tick counter wraps during the exchange
        writes.clear(), answers = rowAnswers;
        port.open();
        port.feed(":ACK\r left over from before");  // not an answer: dropped before the write
        const std::string out = run([&](auto done) { ex.sendAck(":01\r", done); });
        EXPECT_EQ(out.substr(0, 2), outcome);
        EXPECT_EQ(out.substr(out.find('@')), "@" + std::to_string(100 * count));
        ASSERT_EQ(writes.size(), count);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(writes[i], std::to_string(100 * i) + " :01\r");
    }
}

TEST_F(Exchange, ReplyLineKeepsWhatFollowsOrTimesOutAfter5000ms) {
    p.now = start = 0xFFFFFFFFu - 1000;
    port.open();
    answers = {":1034\r:wexlo 1.1"};
    EXPECT_EQ(run([&](auto done) { ex.sendForReply(":17\r", 0, done); }), "ok :1034 @0");
    start = p.now;
    EXPECT_EQ(run([&](auto done) { ex.sendForReply("", 0, done); }), "no NAK Timeout @5000");
    EXPECT_EQ(ex.rxBuffer(), ":wexlo 1.1");  // what stood behind the first reply's CR
    start = p.now;
    port.feedAfter(300, "3\r");  // read after the pause, then as it comes
    EXPECT_EQ(run([&](auto done) { ex.sendForReply(":16\r", 100, done); }), "ok 3 @300");
}

TEST_F(Exchange, LineGoneEndsTheStepWithItsError) {
    port.open();
    p.after(50, [&] { port.hangup(); });
    EXPECT_EQ(run([&](auto done) { ex.sendForReply(":16\r", 0, done); }), "error @50");
    port.onWrite = [](const std::string&, FakeSerialPort& s) { s.hangup(); };
    EXPECT_EQ(run([&](auto done) { ex.sendAck(":11\r", done); }).substr(0, 5), "error");
    port.openError = SerialError(serr::InvalidPortNumber, "Invalid port number");
    EXPECT_EQ(run([&](auto done) { ex.sendAck(":11\r", done); }).substr(0, 5), "error");
}

TEST_F(Exchange, IdentifyAnsweringBridgeAndSilentPort) {
    answers = {":wexlo 1.10 rest of the line\r"};
    EXPECT_EQ(run([&](auto done) { identifyBridge(ex, g, done); }).substr(0, 9), "ok :wexlo");
    EXPECT_FALSE(port.isOpen());
    start = p.now;
    // Five tries of 100 + 5000 ms.
    EXPECT_EQ(run([&](auto done) { identifyBridge(ex, g, done); }), "no NAK Timeout @25500");
    EXPECT_EQ(writes.size(), 6u);
    EXPECT_EQ(g.StatusMessage, "Link error, SWR BRIDGE non found.");
    // A stream left running is stopped once, before the reply is judged.
    writes.clear(), answers = {":wexlo 1.10\r:A frame", ":ACK\r"};
    EXPECT_EQ(run([&](auto done) { identifyBridge(ex, g, done); }).substr(0, 9), "ok :wexlo");
    EXPECT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes.back().substr(writes.back().find(' ')), " :10\r");
}

TEST_F(Exchange, IdentifyPortErrorEndsTheTriesWithTheStatusOfThatMoment) {
    for (size_t failingTry : {1, 2, 5}) {
        SCOPED_TRACE(failingTry);
        g.PortNumber = "3";
        g.StatusMessage = "Com3: port already in use.";  // left by opening the port
        writes.clear();
        port.onWrite = [&](const std::string& d, FakeSerialPort& s) {
            writes.push_back(d);
            if (writes.size() == failingTry) p.after(50, [&s] { s.hangup(); });
        };
        EXPECT_EQ(run([&](auto done) { identifyBridge(ex, g, done); }).substr(0, 5), "error");
        EXPECT_EQ(std::tuple(writes.size(), port.isOpen()), std::tuple(failingTry, false));
        if (failingTry == 1) EXPECT_EQ(g.StatusMessage.rfind("Com:3 ", 0), 0u) << g.StatusMessage;
        else EXPECT_EQ(g.StatusMessage, "Link error, SWR BRIDGE non found.");
    }
}

TEST_F(Exchange, OpenBridgePortStatusTexts) {
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
