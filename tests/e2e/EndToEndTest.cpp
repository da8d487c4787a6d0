// The real start-up window and display windows on a real serial port, against
// the bridge simulator on a pseudo-terminal. Message boxes are recorded instead
// of shown, settings live in a temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"

using namespace quellon;

namespace {

const char* const kConnected = "SWR BRIDGE CONNECTED";
const char* const kInitFailed = "SWR BRIDGE initialization failled.";
const char* const kLost = "SWR CONNECTION LOST. Please verify your connection.";

// The real platform, but a message box is noted and answered at once: a modal
// box would stop the test's event loop.
class RecordingPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    int messageBox(const std::string& text, int, const std::string&) override {
        boxes.push_back(text);
        return 1;
    }
    bool saw(const std::string& text) const {
        return std::find(boxes.begin(), boxes.end(), text) != boxes.end();
    }
    std::vector<std::string> boxes;
};

// Runs the event loop until pred holds or the (generous) deadline passes.
bool pumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Whether want was sent in this order (other commands may stand between).
::testing::AssertionResult sentInOrder(const SimProcess& sim, std::vector<std::string> want) {
    std::size_t i = 0;
    std::string all;
    for (const auto& c : sim.recordedCommands()) {
        i += i < want.size() && c == want[i];
        all += c + " ";
    }
    return i == want.size() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << all;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quellon-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        modGlobal = ModGlobal{};
        modGlobal.SettingsPath = dir_ + "/Quellon.ini";
        modGlobal.ProgramDir = dir_;
    }
    void TearDown() override {
        w.reset();
        sim.reset();
        modGlobal = ModGlobal{};
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Writes the settings (port 1 pinned to portPath) and starts the program.
    void startProgram(const std::string& portPath, const std::string& gui = "0") {
        WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
        WriteIni("Bridge", "GUI", gui, modGlobal.SettingsPath);
        WriteIni("Bridge", "Port", "1", modGlobal.SettingsPath);
        WriteIni("Ports", "1", portPath, modGlobal.SettingsPath);
        w = std::make_unique<frmMain>(platform, modGlobal);
        w->Form_Load();
    }
    void start(std::vector<std::string> simArgs, const std::string& gui = "0") {
        sim = std::make_unique<SimProcess>(std::move(simArgs));
        startProgram(sim->linkPath(), gui);
    }

    std::string status() const { return w->statusLabel()->text().toStdString(); }
    bool displayOpen() const {
        return w->displayWindow() && w->displayWindow()->widget()->isVisible();
    }
    // Waits for `n` more frames to be accepted.
    bool moreFrames(uint64_t n, int timeoutMs = 10000) {
        const uint64_t before = w->framesAccepted();
        return pumpUntil([&] { return w->framesAccepted() >= before + n; }, timeoutMs);
    }

    // Connected, display window up and the stream flowing.
    void expectStreaming() {
        ASSERT_TRUE(pumpUntil([&] { return displayOpen() && w->framesAccepted() >= 20; }, 10000))
            << "status: " << status() << ", frames " << w->framesAccepted();
        EXPECT_EQ(modGlobal.StatusMessage, kConnected);
    }

    // A connect sequence has run to its end and failed: the buttons are back.
    // (Before the first sequence the buttons show too, with an empty status.)
    bool connectFailed() const {
        const std::string s = status();
        return w->retryButton()->isVisible() && !s.empty() &&
               s != "Connecting the SWR BRIDGE, please wait.";
    }
    void expectFailure(const std::string& text) {
        ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
        EXPECT_EQ(status(), text);
        EXPECT_EQ(w->displayWindow(), nullptr);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->framesAccepted(), 0u);
        EXPECT_FALSE(sentInOrder(*sim, {":11"}));  // no stream asked for
    }

    std::string dir_;
    RecordingPlatform platform{[] { return modGlobal.SettingsPath; }};
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<frmMain> w;
};

TEST_F(EndToEnd, ConnectsAndDecodesTheStream) {
    start({"--rate", "200", "--pattern", "fixed", "--counts", "720,144,732,150"});
    expectStreaming();
    EXPECT_FALSE(w->isVisible());  // the display window hides the start-up window
    ASSERT_TRUE(moreFrames(100));
    EXPECT_EQ(w->resyncs(), 0u);
    EXPECT_EQ(sim->recordedCommands(), (std::vector<std::string>{":16", ":16", ":17", ":11"}));
    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "1.10");
    EXPECT_EQ(modGlobal.ScaleTextA[0], "100W");

    // By hand, "100W" scale: power = count^2 * 20 / 20736 tenths of a watt, so
    // 720 -> 500.0, 144 -> 20.0, and the bridge's peaks 732 -> 516.8, 150 -> 21.7.
    // SWR (732+150)/(732-150) = 1.515, cut to one decimal; volts count * 1.41 * 0.0491.
    const ChannelReading& r = modGlobal.reading;
    EXPECT_TRUE(r.channel == "A" || r.channel == "B");
    EXPECT_EQ((std::vector<int>{r.nDir, r.nRev, r.nDirMax, r.nRevMax, r.pwrDir, r.pwrRef,
                                r.pwrDirMax, r.pwrRefMax}),
              (std::vector<int>{720, 144, 732, 150, 500, 20, 516, 21}));
    EXPECT_EQ((std::vector<std::string>{r.pwrDirText, r.pwrRefText, r.pwrDirMaxText, r.swrText,
                                        r.voltDirText, r.voltRefText, r.scaleMultText}),
              (std::vector<std::string>{"50", "2", "51", "1.5", "50.7", "10.4", "x1"}));
    EXPECT_EQ(modGlobal.logData[0], 500);  // both channels came in
    EXPECT_EQ(modGlobal.logData[4], 500);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(EndToEnd, OldFirmwareIsRefusedWithTheUpgradeMessage) {
    start({"--fault", "oldfw"});
    expectFailure(kInitFailed);
    EXPECT_EQ(platform.boxes,
              std::vector<std::string>{"Please upgrade the f/w of the Bridge to v1.08 or later"});
}

TEST_F(EndToEnd, CutOffIdentificationIsRefused) {
    // The prefix is there, so the bridge is found; its parameters cannot be read.
    start({"--fault", "shortid"});
    expectFailure(kInitFailed);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "");  // nothing half stored
}

// Each damage to the stream, each in another display mode (0 is the decode test's).
class EndToEndStreamFault
    : public EndToEnd,
      public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(EndToEndStreamFault, StreamResynchronisesAndGoesOn) {
    const auto [fault, gui] = GetParam();
    start({"--rate", "200"}, gui);
    expectStreaming();
    EXPECT_EQ(modGlobal.GuiMode, gui);
    EXPECT_EQ(w->resyncs(), 0u);

    ASSERT_TRUE(sim->send(std::string("fault ") + fault));
    ASSERT_TRUE(pumpUntil([&] { return w->resyncs() > 0; }, 10000))
        << "frames " << w->framesAccepted();
    ASSERT_TRUE(moreFrames(200, 15000))
        << "frames " << w->framesAccepted() << " resyncs " << w->resyncs();
    EXPECT_TRUE(displayOpen());
    EXPECT_FALSE(platform.saw(kLost));
    // A damaged frame must not leave a nonsense reading behind.
    EXPECT_TRUE(modGlobal.reading.channel == "A" || modGlobal.reading.channel == "B")
        << modGlobal.reading.channel;
}

INSTANTIATE_TEST_SUITE_P(Faults, EndToEndStreamFault,
                         ::testing::Values(std::pair{"garbage", "1"}, std::pair{"truncated", "2"},
                                           std::pair{"nocr", "3"}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST_F(EndToEnd, MissingAcknowledgementsStillStream) {
    start({"--rate", "200", "--fault", "noack"}, "4");
    expectStreaming();
    EXPECT_EQ(modGlobal.GuiMode, "4");
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11"}));
}

TEST_F(EndToEnd, HangUpIsReportedWithoutBusyLoop) {
    start({"--rate", "200"});
    expectStreaming();
    // Dropped once the stream is seen (a slow start must not race the hang-up);
    // without --reopen the simulator then exits.
    ASSERT_TRUE(sim->send("hangup"));
    ASSERT_TRUE(pumpUntil([&] { return !sim->running(); }, 10000));
    const std::clock_t cpu0 = std::clock();
    pumpUntil([] { return false; }, 5000);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 3.0) << "CPU seconds in 5 s of silence";

    EXPECT_TRUE(platform.saw(kLost));
    EXPECT_EQ(w->displayWindow(), nullptr);
    // The start-up window is back and has tried again; the port is gone, so it
    // stops with the buttons shown and says why.
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
    EXPECT_NE(status(), kConnected);
}

TEST_F(EndToEnd, ReconnectsWhenTheLineComesBack) {
    start({"--rate", "200", "--reopen"});
    expectStreaming();
    ASSERT_TRUE(sim->send("hangup"));
    ASSERT_TRUE(sim->waitReady(10000));  // the port is back a second after the hang-up
    ASSERT_TRUE(pumpUntil([&] { return platform.saw(kLost); }, 10000));
    const uint64_t before = w->framesAccepted();
    ASSERT_TRUE(
        pumpUntil([&] { return displayOpen() && w->framesAccepted() >= before + 50; }, 15000))
        << "status: " << status();
    EXPECT_EQ(modGlobal.StatusMessage, kConnected);
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11", ":16", ":16", ":17", ":11"}));
}

TEST_F(EndToEnd, MissingDeviceSaysSoAtOnce) {
    startProgram(dir_ + "/no-such-tty");
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 3000)) << status();
    EXPECT_TRUE(status().rfind("Com:1 ", 0) == 0 && status().size() > 6) << status();  // and why
    EXPECT_EQ(w->displayWindow(), nullptr);
    EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
