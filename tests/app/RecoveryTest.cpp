// Unattended recovery: the start-up window and a real display window against a
// scripted bridge, with nobody answering the message boxes.

#include <QPushButton>
#include <set>
#include <sstream>

#include "core/Version.h"
#include "tests/app/AppRig.h"

using namespace quellon;
using namespace quellon::test;

namespace {

const std::string kDisplayLost = "SWR CONNECTION LOST. Please verify your connection.";

class RecoveryTest : public AppTest {
protected:
    // While its stream runs and it answers, the bridge sends an A/B pair every 20 ms,
    // each at its own time of day so that every record differs.
    void pump() {
        p.after(20, [this] {
            if (streamOn && !silent && w && w->port().isOpen()) {
                ++n;
                p.local.minute = static_cast<int>(p.now / 60000 % 60);
                p.local.second = static_cast<int>(p.now / 1000 % 60);
                p.local.millisecond = static_cast<int>(p.now % 1000);
                port().feed(frame('A', {n, 0, n, 0, 0, 0}) + frame('B', {n, 0, n, 0, 0, 0}));
            }
            pump();
        });
    }
    void start(const std::string& autoKey = "") {
        setting("Bridge", "Version", kProgramVersion);
        if (!autoKey.empty()) setting("Recovery", "Auto", autoKey);
        makeWindow(false);
        pump();
        ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 30000));
        modGlobal.dataLogActive = true;  // the Log button
        w->startDataLog();
        p.advance(1000);
    }
    bool streaming() {
        const uint64_t f = w->framesAccepted();
        return w->displayWindow() && streamOn && (p.advance(100), w->framesAccepted() > f);
    }
    void unplug() {
        silent = true;
        port().openError = SerialError(8002, "Invalid port number (/dev/ttyUSB0 does not exist)");
        port().hangup();
    }
    void replug() {
        port().openError.reset();
        silent = false;
    }
    int modalBoxes() const {
        return static_cast<int>(
            std::ranges::count_if(p.messageBoxes, [](auto& m) { return !m.modeless; }));
    }
    int n = 0;
};

TEST_F(RecoveryTest, PulledLineIsReconnectedEveryFiveSecondsAndTheLogGoesOn) {
    start();
    const int recordsBefore = static_cast<int>(std::ranges::count(log(), '\n'));
    ASSERT_GT(recordsBefore, 10);
    unplug();
    p.advance(3100);
    EXPECT_EQ(p.openMessages(), std::vector<std::string>{kDisplayLost});
    EXPECT_EQ(w->displayWindow(), nullptr);
    EXPECT_TRUE(w->retryButton()->isVisibleTo(w.get()));
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 5 s");
    EXPECT_NE(w->statusLabel()->text().indexOf("does not exist"), -1);

    // Nobody clicks: one attempt every 5 s, never a second message.
    const int attempts = port().openAttempts();
    for (int i = 1; i <= 4; ++i) {
        p.advance(5000);
        EXPECT_EQ(port().openAttempts(), attempts + i);
        EXPECT_EQ(p.openMessages().size(), 1u);
    }
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 5 s");
    p.advance(2000);
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 3 s");

    replug();
    ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 10000));
    p.advance(1000);
    EXPECT_TRUE(p.openMessages().empty());
    EXPECT_TRUE(p.shownMessages[0]->closedByProgram);
    EXPECT_EQ(modalBoxes(), 0);
    EXPECT_FALSE(w->retryLabel()->isVisibleTo(w.get()));

    const std::string all = log();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), '\n');
    std::istringstream lines(all);
    std::set<std::string> seen;
    int headers = 0, records = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(seen.insert(line).second) << "duplicated: " << line;
        if (line.find("Date") != std::string::npos) ++headers;
        else ++records;
    }
    EXPECT_EQ(headers, 1);
    EXPECT_GT(records, recordsBefore + 10) << "logging goes on after the return";
}

TEST_F(RecoveryTest, RetryConfigAndExitStillWorkDuringTheCountdown) {
    start();
    unplug();
    p.advance(3100);
    ASSERT_EQ(w->retryCountdown(), 5);
    p.advance(2000);
    const int attempts = port().openAttempts();
    w->retryButton()->click();
    p.advance(10);
    EXPECT_EQ(port().openAttempts(), attempts + 1) << "Retry tries at once";
    EXPECT_EQ(w->retryCountdown(), 5) << "and the pace starts again from it";

    int detections = 0;
    w->portDetection = [&](QWidget*) {
        ++detections;
        p.advance(20000);  // the port window stays open a while: no retry behind it
    };
    const int beforeConfig = port().openAttempts();
    w->setupButton()->click();
    p.advance(10);
    EXPECT_EQ(detections, 1);
    EXPECT_EQ(port().openAttempts(), beforeConfig + 1) << "only the attempt after the window";

    EXPECT_THROW(w->exitButton()->click(), ProgramEnded);
}

// A silence that ends by itself: the stream was never torn down.
class RecoverySilenceTest : public RecoveryTest, public ::testing::WithParamInterface<int> {};

TEST_P(RecoverySilenceTest, MessageIsClosedByTheProgramAndTheLinkKept) {
    start();
    const DisplayWindow* display = w->displayWindow();
    const int opens = port().opens();
    silent = true;
    p.advance(GetParam());
    EXPECT_EQ(p.openMessages(), std::vector<std::string>{kDisplayLost});
    silent = false;
    p.advance(500);
    EXPECT_TRUE(p.openMessages().empty());
    EXPECT_TRUE(p.shownMessages.back()->closedByProgram);
    EXPECT_EQ(p.shownMessages.size(), 1u) << "the watchdog's message does not stack";
    EXPECT_EQ(w->displayWindow(), display);
    EXPECT_EQ(stops, 0);
    EXPECT_EQ(port().opens(), opens);
    EXPECT_EQ(modalBoxes(), 0);
}

INSTANTIATE_TEST_SUITE_P(Silences, RecoverySilenceTest, ::testing::Values(3500, 5600));

TEST_F(RecoveryTest, AttendedModeKeepsBlockingBoxesAndWaitsForRetry) {
    p.defaultAnswer = mb::IdOk;
    start("0");
    EXPECT_FALSE(w->autoRecovery());
    unplug();
    p.advance(3100);
    ASSERT_EQ(modalBoxes(), 1);
    EXPECT_EQ(p.messageBoxes[0].text, kDisplayLost);
    EXPECT_TRUE(p.shownMessages.empty());
    EXPECT_TRUE(w->retryButton()->isVisibleTo(w.get()));
    const int attempts = port().openAttempts();
    replug();
    p.advance(30000);
    EXPECT_EQ(port().openAttempts(), attempts) << "waits for Retry";
    EXPECT_FALSE(w->retryLabel()->isVisibleTo(w.get()));
    w->retryButton()->click();
    EXPECT_TRUE(p.runUntil([&] { return streaming(); }, 10000));
}

TEST_F(RecoveryTest, SilenceLongerThanTwoCountdownsConnectsAgain) {
    start();
    silent = true;
    p.advance(6100);
    EXPECT_EQ(w->displayWindow(), nullptr) << "a silent line is connected again";
    EXPECT_EQ(p.openMessages().size(), 1u);
    silent = false;
    ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 60000));
    EXPECT_TRUE(p.openMessages().empty());
    EXPECT_EQ(log().find("Date"), log().rfind("Date")) << "one header";
}

}  // namespace
