// The start-up window against a scripted bridge on a fake port.

#include <QPushButton>
#include <cerrno>
#include <functional>

#include "core/Version.h"
#include "tests/app/AppRig.h"

using namespace quellon;
using namespace quellon::test;

namespace {

class FrmMainTest : public AppTest {
protected:
    void connect() {
        auto done = [this] { return !openedMode.empty() || w->retryButton()->isVisibleTo(&*w); };
        ASSERT_TRUE(p.runUntil([&] { return done() && !status().empty(); }, 60000));
    }
    void streaming() { makeWindow(), connect(), commands.clear(); }
    void feed(const std::string& bytes, int ms = 5) { port().feed(bytes), p.advance(ms); }
};

// A stored mode the program does not know is repaired to 0; a scale reply that
// cannot be read still streams.
TEST_F(FrmMainTest, ConnectsRepairsAnUnknownModeAndStreamsDespiteABadScaleReply) {
    setting("Bridge", "Version", "1.10");
    setting("Bridge", "GUI", "7");
    scales = "garbage\r";
    makeWindow();
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(ReadIni("Bridge", "GUI", modGlobal.SettingsPath, "x"), "0");
    EXPECT_EQ(status(), "SWR BRIDGE CONNECTED");
    EXPECT_EQ(commands.back(), ":11\r");
    EXPECT_EQ(w->session().streamState(), StreamState::Running);
}

TEST_F(FrmMainTest, StopRxDatiSendsStopStopsTheWatchdogAndLogging) {
    streaming();
    feed(frame('A'));
    ASSERT_TRUE(w->timer3().isActive());  // armed by the data
    modGlobal.dataLogActive = true;
    w->startDataLog();
    w->stopRxDati();
    EXPECT_EQ(commands, std::vector<std::string>{":10\r"});
    EXPECT_FALSE(w->timer3().isActive());
    EXPECT_EQ(w->session().streamState(), StreamState::Stopped);
    EXPECT_FALSE(w->logger().isOpen());
    // The writer closes the file on a real thread; the fake clock must not run
    // ten seconds ahead of it, or the logger would rightly call it stalled.
    ASSERT_TRUE(w->logger().flush(5000));
    p.advance(10000);  // no connection-lost message from a stopped stream
    EXPECT_TRUE(p.messageBoxes.empty());
}

TEST_F(FrmMainTest, StreamBadFrameResynchronisesAndForgetsTheLastChannel) {
    streaming();
    feed(frame('A', {1018, 100, 1018, 100, 999, 9}));
    EXPECT_EQ(modGlobal.reading.pwrDir, 999);  // A scale 1 is 100W
    std::string bad = frame('B', {1, 2, 3, 4, 5, 6});
    bad[0] = 'x';
    port().feed(bad.substr(0, 19) + "Z");
    port().feedAfter(2, "tail\r");
    p.advance(400);
    EXPECT_EQ(w->resyncs(), 1u);
    EXPECT_EQ(w->lastChannel(), "");
    EXPECT_EQ(commands.empty() ? "" : commands.front(), ":11\r");
    feed(frame('B') + frame('A'));  // good frames, even in one burst, are accepted again
    EXPECT_EQ(updates, 3);
    // A field above the int16 range takes the recovery path, which keeps the last channel.
    port().feed(frame('B', {0x8001, 0, 0, 0, 0, 0}));
    port().feedAfter(2, "\r");
    p.advance(400);
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(w->resyncs(), 2u);
    EXPECT_EQ(w->lastChannel(), "A");
}

TEST_F(FrmMainTest, StreamHangUpClosesThePortAndTheWatchdogReportsOnce) {
    streaming();
    feed(frame('A'), 4905);
    port().hangup();
    const int before = p.processEventsCalls;
    EXPECT_TRUE(p.messageBoxes.empty());
    p.advance(200);
    EXPECT_FALSE(port().isOpen());
    ASSERT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_EQ(p.messageBoxes[0].text, "SWR BRIDGE connection lost. Please verify your connection.");
    p.advance(20000);
    EXPECT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_LT(p.processEventsCalls - before, 25000) << "the dead line is not polled in a spin";
}

TEST_F(FrmMainTest, StreamListenersHearEveryAcceptedFrameAndTheLinkState) {
    struct Listener : ReadingListener {
        std::vector<std::string> heard;
        void onReading(const ReadingEvent& e) override {
            heard.push_back(e.reading.channel + std::to_string(e.reading.pwrDir) + "@" +
                            std::to_string(e.epochMs));
        }
        void onLinkState(LinkState s) override { heard.push_back(linkStateName(s)); }
    } l;
    makeWindow();
    w->readings().subscribe(&l);
    connect();
    p.epoch = 5;
    std::string bad = frame('B');
    bad[19] = 'x';
    // The resync reads on to the next CR: it comes while the resync waits, so the
    // line is not lost until it really hangs up.
    port().feedAfter(2, "\r");
    feed(frame('A', {1018, 100, 1018, 100, 999, 9}) + bad);
    p.advance(400);
    EXPECT_EQ(l.heard, (std::vector<std::string>{"connecting", "streaming", "A999@5"}));
    port().hangup();
    p.advance(100);
    EXPECT_EQ(l.heard, (std::vector<std::string>{"connecting", "streaming", "A999@5", "lost"}));
}

// One record per A-then-B pair; a channel from before a new connection is not
// paired into a record.
TEST_F(FrmMainTest, StreamLoggingWritesOneRecordPerAThenBPairOfOneConnection) {
    streaming();
    const std::string a = frame('A', {500, 50, 500, 50, 120, 1}), b = frame('B');
    modGlobal.dataLogActive = true;
    w->startDataLog();
    feed(a + b + b + a + b, 10);
    feed(frame('A'));
    w->session().startStream();  // connected again after a lost line
    p.advance(100);              // frames count from the acknowledgement on
    feed(b + frame('A') + b);
    modGlobal.dataLogActive = false;
    w->stopDataLog();
    const std::string all = log();
    EXPECT_EQ(std::ranges::count(all, '\n'), 4) << all;  // header + two records + the new pair
    EXPECT_NE(all.find(",120,1,"), std::string::npos) << all;
}

// A failing log (a full disk) is reported off the receive path: attended, the box
// waits for OK while frames are still read; unattended, it does not wait at all.
TEST_F(FrmMainTest, LogFailureBoxDoesNotHoldTheStreamUp) {
    for (const bool unattended : {false, true}) {
        SCOPED_TRACE(unattended ? "unattended" : "attended");
        w.reset();
        SetUp();
        openedMode.clear();  // the display of the run before is not this one's
        setting("Bridge", "Version", kProgramVersion);
        setting("Recovery", "Auto", unattended ? "1" : "0");
        streaming();
        p.messageBoxes.clear();
        modGlobal.dataLogActive = true;
        w->startDataLog();
        w->logger().writeFn = [](int, const void*, size_t) -> ssize_t {
            return errno = ENOSPC, -1;
        };
        int boxes = 0;
        uint64_t takenWhileShown = 0;
        p.whileMessageBoxShown = [&](const MessageBoxCall&) {
            ++boxes;
            const uint64_t before = w->framesAccepted();
            for (int i = 0; i < 20; ++i) feed(frame('A') + frame('B'), 2);
            takenWhileShown = w->framesAccepted() - before;
            EXPECT_TRUE(port().buffered().empty());
        };
        feed(frame('A') + frame('B'), 10);
        w->logger().flush();  // the writer's failure taken in; the box comes from a tick
        p.advance(5);
        EXPECT_EQ(boxes, unattended ? 0 : 1);
        EXPECT_EQ(takenWhileShown, unattended ? 0u : 40u);
        EXPECT_FALSE(modGlobal.dataLogActive);
        ASSERT_EQ(p.messageBoxes.size(), 1u);
        EXPECT_EQ(p.messageBoxes[0].modeless, unattended);
        EXPECT_NE(p.messageBoxes[0].text.find("No space left"), std::string::npos);
        if (unattended) {
            const uint64_t before = w->framesAccepted();
            for (int i = 0; i < 20; ++i) feed(frame('A') + frame('B'), 2);
            EXPECT_EQ(w->framesAccepted() - before, 40u);
            EXPECT_EQ(p.openMessages().size(), 1u);  // still there for the morning
        }
        p.whileMessageBoxShown = nullptr;
    }
}

}  // namespace
