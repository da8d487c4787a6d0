// The real start-up and display windows on a real serial port, against the bridge
// simulator on a pseudo-terminal; settings live in a temporary folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <ctime>

#include "app/frmMain.h"
#include "sim/SimProcess.h"
#include "tests/SimProgram.h"

using namespace quellon;
using namespace quellon::test;

namespace {

// Whether want was sent in this order (other commands may stand between).
bool sentInOrder(const SimProcess& sim, const std::vector<std::string>& want) {
    std::size_t i = 0;
    for (const auto& c : sim.recordedCommands()) i += i < want.size() && c == want[i];
    return i == want.size();
}

class EndToEnd : public ::testing::Test {
protected:
    // Starts the simulator and the program, port 1 pinned to the simulator.
    void start(std::vector<std::string> simArgs, const std::string& gui = "0") {
        sim = std::make_unique<SimProcess>(std::move(simArgs));
        programSettings(dir_, sim->linkPath(), gui);
        w = std::make_unique<frmMain>(platform, modGlobal);
        w->Form_Load();
    }

    std::string status() const { return w->statusLabel()->text().toStdString(); }
    bool displayOpen() const {
        return w->displayWindow() && w->displayWindow()->widget()->isVisible();
    }
    bool moreFrames(uint64_t n, int timeoutMs = 10000) {
        const uint64_t before = w->framesAccepted();
        return pumpUntil([&] { return w->framesAccepted() >= before + n; }, timeoutMs);
    }

    // Connected, display window up and the stream flowing.
    void expectStreaming() {
        ASSERT_TRUE(pumpUntil([&] { return displayOpen() && w->framesAccepted() >= 20; }, 10000))
            << status();
        EXPECT_EQ(modGlobal.StatusMessage, "SWR BRIDGE CONNECTED");
    }

    // A connect sequence has failed: the buttons are back (before the first, the status is empty).
    bool connectFailed() const {
        const std::string s = status();
        return w->retryButton()->isVisible() && !s.empty() &&
               s != "Connecting the SWR BRIDGE, please wait.";
    }

    QTemporaryDir tmp_;
    const std::string dir_ = tmp_.path().toStdString();
    TestPlatform platform;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<frmMain> w;
};

TEST_F(EndToEnd, MissingAcknowledgementsStillStream) {
    start({"--rate", "200", "--fault", "noack"}, "4");
    expectStreaming();
    // Unacknowledged, ":11" goes out three times; the stream is whole all the same.
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11", ":11", ":11"}));
    ASSERT_TRUE(moreFrames(100));
    EXPECT_EQ(w->resyncs(), 0u);
}

// The device's link (as a /dev/serial/by-id name would be) goes away with the
// line and comes back ten seconds later, on a new pseudo-terminal. Meanwhile the
// loss is reported once, without a busy loop; then, with nobody clicking, the
// program connects, streams and logs again into the same file.
TEST_F(EndToEnd, LinkRemovedAndCreatedAgainStreamsAndLogsWithoutAClick) {
    start({"--rate", "200", "--reopen"});
    const std::string link = dir_ + "/by-id-bridge";
    ASSERT_EQ(symlink(sim->slavePath().c_str(), link.c_str()), 0);
    WriteIni("Ports", "1", link, modGlobal.SettingsPath);
    expectStreaming();
    w->setDataLogActive(true);
    ASSERT_TRUE(moreFrames(200));

    ASSERT_TRUE(sim->send("hangup"));
    unlink(link.c_str());
    ASSERT_TRUE(sim->waitReady(10000));
    const std::clock_t cpu0 = std::clock();
    pumpUntil([] { return false; }, 10000);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 6.0) << "CPU seconds in 10 s";
    EXPECT_TRUE(platform.saw("SWR CONNECTION LOST. Please verify your connection."));
    EXPECT_EQ(platform.modeless, 1) << "one message, never a second";
    // The start-up window is back, tries again and stops: the port is gone.
    EXPECT_TRUE(w->isVisible() && !w->displayWindow());
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
    const auto lines = [&] { return std::ranges::count(readFile(dir_ + "/dataLog.csv"), '\n'); };
    const auto linesBefore = lines();
    ASSERT_EQ(symlink(sim->slavePath().c_str(), link.c_str()), 0);

    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(pumpUntil([&] { return displayOpen(); }, 10000)) << status();
    ASSERT_TRUE(moreFrames(100, 10000 - static_cast<int>(back.elapsed())));
    EXPECT_EQ(modGlobal.StatusMessage, "SWR BRIDGE CONNECTED");
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11", ":16", ":16", ":17", ":11"}));
    w->logger().stopDataLog();
    w->logger().flush();
    const std::string all = readFile(dir_ + "/dataLog.csv");
    EXPECT_EQ(all.find("Date"), all.rfind("Date")) << "one header";
    EXPECT_GT(lines(), linesBefore + 30) << "logging goes on";
    EXPECT_EQ(platform.modeless, 1);
    const auto widgets = QApplication::topLevelWidgets();
    EXPECT_TRUE(std::ranges::none_of(widgets, [](QWidget* b) {
        return b->isVisible() && b->inherits("QMessageBox");
    })) << "the message is closed once the bridge is back";
}

}  // namespace
