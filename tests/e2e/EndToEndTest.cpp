// The real start-up window and display windows on a real serial port, against
// the bridge simulator on a pseudo-terminal. Message boxes are recorded instead
// of shown, settings live in a temporary folder.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "display/DisplayHost.h"
#include "link/modGlobal.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"

using namespace quellon;
namespace fs = std::filesystem;

namespace {

struct RecordedBox {
    std::string text;
    int style;
};

// The real platform, but a message box is noted and answered at once: a modal
// box would stop the test's event loop.
class RecordingPlatform : public QtPlatform {
public:
    explicit RecordingPlatform(std::function<std::string()> settings)
        : QtPlatform(std::move(settings)) {}
    int messageBox(const std::string& text, int style, const std::string&) override {
        boxes.push_back({text, style});
        return 1;
    }
    bool saw(const std::string& text) const {
        return std::any_of(boxes.begin(), boxes.end(),
                           [&](const RecordedBox& b) { return b.text == text; });
    }
    std::vector<RecordedBox> boxes;
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

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

const char* const kConnected = "SWR BRIDGE CONNECTED";
const char* const kInitFailed = "SWR BRIDGE initialization failled.";
const char* const kLost = "SWR CONNECTION LOST. Please verify your connection.";

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
        fs::remove_all(dir_, ec);
    }

    void startSim(std::vector<std::string> args) {
        sim = std::make_unique<SimProcess>(std::move(args));
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

    std::string status() const { return w->statusLabel()->text().toStdString(); }
    bool displayOpen() const {
        return w->displayWindow() && w->displayWindow()->widget()->isVisible();
    }
    bool streaming(uint64_t atLeast) const { return w->framesAccepted() >= atLeast; }

    // Connected, display window up and the stream flowing.
    void expectStreaming() {
        ASSERT_TRUE(pumpUntil([&] { return displayOpen() && streaming(20); }, 10000))
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

    // After a failed connect: the buttons are back and the status says why.
    void expectFailure(const std::string& text) {
        ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
        EXPECT_EQ(status(), text);
        EXPECT_EQ(w->displayWindow(), nullptr);
        EXPECT_TRUE(w->isVisible());
    }

    std::string dir_;
    RecordingPlatform platform{[] { return modGlobal.SettingsPath; }};
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<frmMain> w;
};

// Whether want occurs in got in this order (other commands may stand between).
bool inOrder(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    size_t i = 0;
    for (const auto& c : got)
        if (i < want.size() && c == want[i]) ++i;
    return i == want.size();
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x + " ";
    return s;
}

TEST_F(EndToEnd, ConnectsAndDecodesTheStream) {
    // Counts chosen so the power of the "100W" scale (multiplier 20) is easy by
    // hand: count^2 * 20 / 20736.
    startSim({"--rate", "200", "--pattern", "fixed", "--counts", "720,144,732,150"});
    startProgram(sim->linkPath());
    expectStreaming();
    ASSERT_NE(w->displayWindow(), nullptr);
    EXPECT_FALSE(w->isVisible());  // the display window hides the start-up window

    const uint64_t before = w->framesAccepted();
    ASSERT_TRUE(pumpUntil([&] { return w->framesAccepted() >= before + 100; }, 10000));
    EXPECT_EQ(w->resyncs(), 0u);

    const auto cmds = sim->recordedCommands();
    EXPECT_TRUE(inOrder(cmds, {":16", ":16", ":17", ":11"})) << joined(cmds);
    EXPECT_EQ(cmds.size(), 4u) << joined(cmds);

    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "1.10");
    EXPECT_EQ(modGlobal.ScaleTextA[0], "100W");

    const ChannelReading& r = modGlobal.reading;
    EXPECT_TRUE(r.channel == "A" || r.channel == "B");
    EXPECT_EQ(r.nDir, 720);
    EXPECT_EQ(r.nRev, 144);
    EXPECT_EQ(r.nDirMax, 732);
    EXPECT_EQ(r.nRevMax, 150);
    EXPECT_EQ(r.pwrDir, 500);     // 720^2*20/20736 = 500.0
    EXPECT_EQ(r.pwrRef, 20);      // 144^2*20/20736 = 20.0
    EXPECT_EQ(r.pwrDirMax, 516);  // 732^2*20/20736 = 516.8, sent by the bridge
    EXPECT_EQ(r.pwrRefMax, 21);   // 150^2*20/20736 = 21.7
    EXPECT_EQ(r.pwrDirText, "50");
    EXPECT_EQ(r.pwrRefText, "2");
    EXPECT_EQ(r.pwrDirMaxText, "51");
    EXPECT_EQ(r.swrText, "1.5");       // (732+150)/(732-150) = 1.515, cut to one decimal
    EXPECT_EQ(r.voltDirText, "50.7");  // 732 * 1.41 * 0.0491
    EXPECT_EQ(r.voltRefText, "10.4");  // 150 * 1.41 * 0.0491
    EXPECT_EQ(r.scaleMultText, "x1");
    // Both channels came in.
    EXPECT_EQ(modGlobal.logData[0], 500);
    EXPECT_EQ(modGlobal.logData[4], 500);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(EndToEnd, EveryDisplayModeOpens) {
    for (const char* gui : {"1", "2", "3", "4"}) {
        SCOPED_TRACE(gui);
        startSim({"--rate", "200"});
        startProgram(sim->linkPath(), gui);
        expectStreaming();
        EXPECT_EQ(modGlobal.GuiMode, gui);
        w.reset();
        sim.reset();
    }
}

TEST_F(EndToEnd, OldFirmwareIsRefusedWithTheUpgradeMessage) {
    startSim({"--fault", "oldfw"});
    startProgram(sim->linkPath());
    expectFailure(kInitFailed);
    EXPECT_TRUE(platform.saw("Please upgrade the f/w of the Bridge to v1.08 or later"));
    EXPECT_EQ(w->framesAccepted(), 0u);
    const auto cmds = sim->recordedCommands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), ":11"), 0) << joined(cmds);
}

TEST_F(EndToEnd, CutOffIdentificationIsRefused) {
    // The prefix is there, so the bridge is found; its parameters cannot be read.
    startSim({"--fault", "shortid"});
    startProgram(sim->linkPath());
    expectFailure(kInitFailed);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(w->framesAccepted(), 0u);
    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "");  // nothing half stored
}

class EndToEndStreamFault : public EndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(EndToEndStreamFault, StreamResynchronisesAndGoesOn) {
    startSim({"--rate", "200"});
    startProgram(sim->linkPath());
    expectStreaming();
    EXPECT_EQ(w->resyncs(), 0u);

    ASSERT_TRUE(sim->send(std::string("fault ") + GetParam()));
    ASSERT_TRUE(pumpUntil([&] { return w->resyncs() > 0; }, 10000))
        << "frames " << w->framesAccepted();
    const uint64_t after = w->framesAccepted();
    ASSERT_TRUE(pumpUntil([&] { return w->framesAccepted() >= after + 200; }, 15000))
        << "frames " << w->framesAccepted() << " resyncs " << w->resyncs();
    EXPECT_TRUE(displayOpen());
    EXPECT_FALSE(platform.saw(kLost));
    // A damaged frame must not leave a nonsense reading behind.
    EXPECT_TRUE(modGlobal.reading.channel == "A" || modGlobal.reading.channel == "B")
        << modGlobal.reading.channel;
}

INSTANTIATE_TEST_SUITE_P(Faults, EndToEndStreamFault,
                         ::testing::Values("garbage", "truncated", "nocr"));

TEST_F(EndToEnd, HangUpIsReportedWithoutBusyLoop) {
    startSim({"--rate", "200", "--fault", "hangup"});
    startProgram(sim->linkPath());
    expectStreaming();
    // The simulator drops the line after 50 frames and, without --reopen, exits.
    ASSERT_TRUE(pumpUntil([&] { return !sim->running(); }, 10000));

    const double cpu0 = cpuSeconds();
    pumpFor(5000);
    const double cpu = cpuSeconds() - cpu0;
    EXPECT_LT(cpu, 3.0) << "CPU seconds in 5 s of silence";

    EXPECT_TRUE(platform.saw(kLost));
    EXPECT_EQ(w->displayWindow(), nullptr);
    // The start-up window is back and has tried again; the port is gone, so it
    // stops with the buttons shown and says why.
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
    EXPECT_NE(status(), kConnected);
    EXPECT_FALSE(status().empty());
}

TEST_F(EndToEnd, ReconnectsWhenTheLineComesBack) {
    startSim({"--rate", "200", "--fault", "hangup", "--reopen"});
    startProgram(sim->linkPath());
    expectStreaming();
    ASSERT_TRUE(sim->waitReady(10000));  // the port is back a second after the hang-up
    ASSERT_TRUE(sim->send("fault none"));

    ASSERT_TRUE(pumpUntil([&] { return platform.saw(kLost); }, 10000));
    const uint64_t before = w->framesAccepted();
    ASSERT_TRUE(
        pumpUntil([&] { return displayOpen() && w->framesAccepted() >= before + 50; }, 15000))
        << "status: " << status();
    EXPECT_EQ(modGlobal.StatusMessage, kConnected);
    const auto cmds = sim->recordedCommands();
    EXPECT_TRUE(inOrder(cmds, {":16", ":16", ":17", ":11", ":16", ":16", ":17", ":11"}))
        << joined(cmds);
}

TEST_F(EndToEnd, MissingDeviceSaysSoAtOnce) {
    const std::string missing = dir_ + "/no-such-tty";
    startProgram(missing);
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 3000)) << status();
    const std::string s = status();
    EXPECT_EQ(s.rfind("Com:1 ", 0), 0u) << s;
    EXPECT_GT(s.size(), std::string("Com:1 ").size()) << s;
    EXPECT_EQ(w->displayWindow(), nullptr);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(EndToEnd, MissingAcknowledgementsStillStream) {
    startSim({"--rate", "200", "--fault", "noack"});
    startProgram(sim->linkPath());
    expectStreaming();
    const auto cmds = sim->recordedCommands();
    EXPECT_TRUE(inOrder(cmds, {":16", ":16", ":17", ":11"})) << joined(cmds);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
