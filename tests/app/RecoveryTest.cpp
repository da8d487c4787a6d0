// Unattended recovery: the start-up window and a real display window against a
// scripted bridge on a fake port, with nobody answering the message boxes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "app/frmMain.h"
#include "core/modGlobal.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"
#include "tests/app/BridgeBytes.h"

using namespace quellon;
using test::frame;
using test::idReply;

namespace {

const std::string kDisplayLost = "SWR CONNECTION LOST. Please verify your connection.";
const std::string kWatchdogLost = "SWR BRIDGE connection lost. Please verify your connection.";

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGlobal = ModGlobal{};
        modGlobal.SettingsPath = tmp.filePath("Quellon.ini").toStdString();
        modGlobal.ProgramDir = tmp.path().toStdString();
        p.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& self) {
                if (data == ":12\r") ++stops, streamOn = false;
                if (!bridgeAnswers) return;
                if (data == ":11\r") streamOn = true;
                self.feed(data == ":16\r" ? idReply() : data == ":17\r" ? ":1047\r" : ":ACK\r");
            };
        };
    }
    void TearDown() override { w.reset(); }

    // The bridge sends an A/B pair every 20 ms while its stream runs and it is
    // neither silent nor unplugged.
    void pump() {
        p.after(20, [this] {
            if (streamOn && bridgeAnswers && w && w->port().isOpen()) {
                auto& port = static_cast<FakeSerialPort&>(w->port());
                ++n;
                // Each pair at its own time of day, so that every record differs.
                p.local.minute = static_cast<int>(p.now / 60000 % 60);
                p.local.second = static_cast<int>(p.now / 1000 % 60);
                p.local.millisecond = static_cast<int>(p.now % 1000);
                port.feed(frame('A', {n, 0, n, 0, 0, 0}) + frame('B', {n, 0, n, 0, 0, 0}));
            }
            pump();
        });
    }
    void start(const std::string& autoKey = "") {
        WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
        if (!autoKey.empty()) WriteIni("Recovery", "Auto", autoKey, modGlobal.SettingsPath);
        w = std::make_unique<frmMain>(p, modGlobal);
        w->Form_Load();
        pump();
        ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 30000));
        modGlobal.dataLogActive = true;  // the Log button
        w->startDataLog();
        p.advance(1000);
    }
    FakeSerialPort& port() { return static_cast<FakeSerialPort&>(w->port()); }
    bool streaming() {
        const uint64_t f = w->framesAccepted();
        return w->displayWindow() && streamOn && (p.advance(100), w->framesAccepted() > f);
    }
    void unplug() {
        bridgeAnswers = false;
        port().openError = SerialError(8002, "Invalid port number (/dev/ttyUSB0 does not exist)");
        port().hangup();
    }
    void replug() {
        port().openError.reset();
        bridgeAnswers = true;
    }
    std::string log() const {
        std::ifstream f(tmp.filePath("dataLog.csv").toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    int modalBoxes() const {
        return static_cast<int>(
            std::ranges::count_if(p.messageBoxes, [](auto& m) { return !m.modeless; }));
    }

    QTemporaryDir tmp;
    FakePlatform p;
    std::unique_ptr<frmMain> w;
    bool bridgeAnswers = true, streamOn = false;
    int n = 0, stops = 0;
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
    bridgeAnswers = false;
    p.advance(GetParam());
    EXPECT_EQ(p.openMessages(), std::vector<std::string>{kDisplayLost});
    bridgeAnswers = true;
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
    bridgeAnswers = false;
    p.advance(6100);
    EXPECT_EQ(w->displayWindow(), nullptr) << "a silent line is connected again";
    EXPECT_EQ(p.openMessages().size(), 1u);
    bridgeAnswers = true;
    ASSERT_TRUE(p.runUntil([&] { return streaming(); }, 60000));
    EXPECT_TRUE(p.openMessages().empty());
    EXPECT_EQ(log().find("Date"), log().rfind("Date")) << "one header";
}

}  // namespace
