// The start-up window against a scripted bridge on a fake port.

#include <QPushButton>
#include <cerrno>

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
    EXPECT_EQ(std::tuple(status(), commands.back(), w->session().streamState()),
              std::tuple("SWR BRIDGE CONNECTED", ":11\r", StreamState::Running));
}

TEST_F(FrmMainTest, StreamHangUpClosesThePortAndTheWatchdogReportsOnce) {
    struct : ReadingListener {
        int64_t at = 0;
        void onReading(const ReadingEvent& e) override { at = e.epochMs; }
    } heard;
    streaming();
    w->readings().subscribe(&heard);
    p.epoch = 5;
    feed(frame('A'), 4905);
    EXPECT_EQ(heard.at, 5);
    port().hangup();
    EXPECT_TRUE(p.messageBoxes.empty());
    p.advance(200);
    EXPECT_TRUE(!port().isOpen() && w->readings().linkState() == LinkState::Lost);
    ASSERT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_EQ(p.messageBoxes[0].text, "SWR BRIDGE connection lost. Please verify your connection.");
    p.advance(20000);
    EXPECT_EQ(p.messageBoxes.size(), 1u);
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
        w->setDataLogActive(true);
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
        EXPECT_EQ(std::tuple(boxes, takenWhileShown, w->dataLogActive()),
                  std::tuple(unattended ? 0 : 1, unattended ? 0u : 40u, false));
        ASSERT_EQ(p.messageBoxes.size(), 1u);
        EXPECT_EQ(p.messageBoxes[0].modeless, unattended);
        EXPECT_NE(p.messageBoxes[0].text.find("No space left"), std::string::npos);
        p.whileMessageBoxShown = nullptr;
    }
}

}  // namespace
