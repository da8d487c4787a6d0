// Unattended recovery: the start-up window and a real display window against a
// scripted bridge, with nobody answering the message boxes.

#include <QProgressBar>
#include <QPushButton>

#include "core/Version.h"
#include "tests/app/AppRig.h"

using namespace quellon;
using namespace quellon::test;

namespace {

const std::string kDisplayLost = "SWR CONNECTION LOST. Please verify your connection.";

class RecoveryTest : public AppTest {
protected:
    // While its stream runs and it answers, the bridge sends an A/B pair every 20 ms.
    void pump() {
        p.after(20, [this] {
            if (streamOn && !silent && w && w->port().isOpen())
                port().feed(frame('A') + frame('B'));
            pump();
        });
    }
    void start(const std::string& autoKey = "") {
        setting("Bridge", "Version", kProgramVersion);
        if (!autoKey.empty()) setting("Recovery", "Auto", autoKey);
        makeWindow(false);
        pump();
        ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 30000));
        w->setDataLogActive(true);  // the Log button
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
};

// Nobody clicks: one attempt every 5 s, never a second message. Retry tries at once,
// Setup once its window is closed, and Exit still ends the program.
TEST_F(RecoveryTest, PulledLineIsReconnectedEveryFiveSecondsAndTheButtonsStillWork) {
    start();
    unplug();
    p.advance(3100);
    EXPECT_EQ(p.openMessages(), std::vector<std::string>{kDisplayLost});
    EXPECT_TRUE(!w->displayWindow() && w->retryButton()->isVisibleTo(w.get()));
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 5 s");
    EXPECT_NE(w->statusLabel()->text().indexOf("does not exist"), -1);
    int attempts = port().openAttempts();
    for (int i = 1; i <= 4; ++i) {
        p.advance(5000);
        EXPECT_EQ(port().openAttempts(), attempts + i);
        EXPECT_EQ(p.openMessages().size(), 1u);
    }
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 5 s");
    p.advance(2000);
    EXPECT_EQ(w->retryLabel()->text().toStdString(), "Retrying in 3 s");

    attempts = port().openAttempts();
    w->retryButton()->click();
    p.advance(10);
    EXPECT_EQ(port().openAttempts(), attempts + 1) << "Retry tries at once";
    EXPECT_EQ(w->retryCountdown(), 5) << "and the pace starts again from it";
    int detections = 0;
    w->portDetection = [&](QWidget*) {
        ++detections;
        p.advance(20000);  // the port window stays open a while: no retry behind it
    };
    attempts = port().openAttempts();
    w->setupButton()->click();
    p.advance(10);
    EXPECT_EQ(detections, 1);
    EXPECT_EQ(port().openAttempts(), attempts + 1) << "only the attempt after the window";

    replug();
    ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 10000));
    p.advance(1000);
    EXPECT_TRUE(p.openMessages().empty() && p.shownMessages[0]->closedByProgram);
    EXPECT_GT(p.shownMessages[0]->raises, 0) << "not left behind the start-up window";
    EXPECT_FALSE(modalBoxes() > 0 || w->retryLabel()->isVisibleTo(w.get()));
    EXPECT_THROW(w->exitButton()->click(), ProgramEnded);
}

// Attended, the lost line is a blocking box and nothing is tried before Retry.
TEST_F(RecoveryTest, AttendedModeKeepsBlockingBoxesAndWaitsForRetry) {
    p.defaultAnswer = mb::IdOk;
    start("0");
    EXPECT_FALSE(w->autoRecovery());
    unplug();
    p.advance(3100);
    ASSERT_EQ(modalBoxes(), 1);
    EXPECT_EQ(p.messageBoxes[0].text, kDisplayLost);
    EXPECT_TRUE(p.shownMessages.empty() && w->retryButton()->isVisibleTo(w.get()));
    const int attempts = port().openAttempts();
    replug();
    p.advance(30000);
    EXPECT_EQ(port().openAttempts(), attempts) << "waits for Retry";
    EXPECT_FALSE(w->retryLabel()->isVisibleTo(w.get()));
    w->retryButton()->click();
    EXPECT_TRUE(p.runUntil([&] { return streaming(); }, 10000));
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
    EXPECT_TRUE(p.openMessages().empty() && p.shownMessages.back()->closedByProgram);
    EXPECT_EQ(p.shownMessages.size(), 1u) << "the watchdog's message does not stack";
    EXPECT_EQ(std::tuple(w->displayWindow(), stops, port().opens(), modalBoxes()),
              std::tuple(display, 0, opens, 0));
}

INSTANTIATE_TEST_SUITE_P(Silences, RecoverySilenceTest, ::testing::Values(3500, 5600));

// The first connect sequence fails, for each kind of reason a bridge can give
// (the exchange's tests hold every one); nobody clicks. It ends with the reason,
// Retry, Setup and Exit, the port closed and no display. Unattended, it is tried
// every 5 s until the bridge is right, and the firmware message (modeless, one
// however many tries meet it) is closed then. Attended, the failure waits for
// Retry, the firmware message for its OK.
TEST_F(RecoveryTest, FailedFirstStartShowsWhyAndIsRetriedUntilTheBridgeIsThere) {
    const std::string kUpgrade = "Please upgrade the f/w of the Bridge to v1.08 or later";
    const char* kInitFailed = "SWR BRIDGE initialization failled.";
    const auto oldFirmware = [&](bool ok) { id = ok ? idReply() : idReply("1.07"); };
    // What, Auto, the status shown, ":16" sent by then, the firmware box, and the
    // bridge (false: the failing one, true: the right one).
    using Bridge = std::function<void(bool)>;
    const std::tuple<const char*, const char*, const char*, int, bool, Bridge> rows[] = {
        {"port missing", "1", "Com:1 Invalid port number (/dev/ttyUSB0 does not exist)", 0, false,
         [&](bool ok) {
             p.openFailures.clear();
             if (!ok)
                 p.openFailures.emplace(
                     1, SerialError(8002, "Invalid port number (/dev/ttyUSB0 does not exist)"));
         }},
        {"no answer", "1", "SWR BRIDGE not found.", 5, false, [&](bool ok) { silent = !ok; }},
        {"old firmware", "1", kInitFailed, 2, true, oldFirmware},
        {"attended, old firmware", "0", kInitFailed, 2, true, oldFirmware},
    };
    for (const auto& [what, autoKey, wantStatus, identifies, upgradeBox, bridge] : rows) {
        SCOPED_TRACE(what);
        w.reset();
        p.messageBoxes.clear(), p.shownMessages.clear(), commands.clear(), openedMode.clear();
        streamOn = false;  // the bridge of the row before stopped with its program
        bridge(false);
        setting("Bridge", "Version", kProgramVersion);
        setting("Recovery", "Auto", autoKey);
        const uint32_t start = p.now;
        makeWindow();
        ASSERT_TRUE(p.runUntil(
            [&] { return status() == wantStatus && w->retryButton()->isVisibleTo(&*w); }, 30000))
            << status();
        EXPECT_TRUE(identifies > 0 || p.now - start < 100u) << "shown at once, not after tries";
        EXPECT_EQ(std::ranges::count(commands, ":16\r"), identifies);
        EXPECT_TRUE(w->setupButton()->isVisibleTo(&*w) && w->exitButton()->text() == "Exit");
        EXPECT_FALSE(w->progressBar()->isVisibleTo(&*w) || w->timer2().isActive() ||
                     port().isOpen() || !openedMode.empty());
        const bool unattended = autoKey[0] == '1';
        EXPECT_EQ(w->retryLabel()->text().toStdString(), unattended ? "Retrying in 5 s" : "");
        const int attempts = port().openAttempts();
        p.advance(5100);
        EXPECT_EQ(port().openAttempts() > attempts, unattended);
        if (unattended) p.advance(30000);  // more tries meet the same bridge
        const auto boxes = std::ranges::count(p.messageBoxes, kUpgrade, &MessageBoxCall::text);
        EXPECT_EQ(boxes, upgradeBox ? 1 : 0);
        EXPECT_EQ(modalBoxes(), unattended ? 0 : static_cast<int>(boxes));

        bridge(true);
        if (!unattended) w->retryButton()->click();
        EXPECT_TRUE(p.runUntil([&] { return w->displayWindow() != nullptr; }, 31000));
        EXPECT_TRUE(p.openMessages().empty()) << "the firmware message is closed";
    }
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
