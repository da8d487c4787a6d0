// The real start-up and display windows on a real serial port, against the bridge
// simulator on a pseudo-terminal; settings live in a temporary folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
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

// Message boxes are noted and answered at once: a modal one would stop the test.
class RecordingPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    int messageBox(const std::string& text, int, const std::string&) override {
        boxes.push_back(text);
        return 1;
    }
    // Modeless boxes are shown for real and left open; the program closes them.
    std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                              const std::string& title) override {
        boxes.push_back(text);
        ++modeless;
        return QtPlatform::showMessage(text, style, title);
    }
    int modeless = 0;
    bool saw(const std::string& text) const {
        return std::find(boxes.begin(), boxes.end(), text) != boxes.end();
    }
    std::vector<std::string> boxes;
};

// Runs the event loop until pred holds or the (generous) deadline passes.
bool pumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred() && !t.hasExpired(timeoutMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return pred();
}

// Whether want was sent in this order (other commands may stand between).
bool sentInOrder(const SimProcess& sim, const std::vector<std::string>& want) {
    std::size_t i = 0;
    for (const auto& c : sim.recordedCommands()) i += i < want.size() && c == want[i];
    return i == want.size();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quellon-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        freshState();
    }
    void freshState() {
        w.reset();
        modGlobal = ModGlobal{};
        modGlobal.ProgramDir = dir_;
        modGlobal.SettingsPath = dir_ + "/Quellon.ini";
    }
    void TearDown() override {
        w.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Starts the simulator, writes the settings (port 1 pinned to it, or to
    // device) and the program.
    void start(std::vector<std::string> simArgs, const std::string& gui = "0",
               const std::string& device = "") {
        sim = std::make_unique<SimProcess>(std::move(simArgs));
        WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
        WriteIni("Bridge", "GUI", gui, modGlobal.SettingsPath);
        WriteIni("Bridge", "Port", "1", modGlobal.SettingsPath);
        WriteIni("Ports", "1", device.empty() ? sim->linkPath() : device, modGlobal.SettingsPath);
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
        EXPECT_EQ(modGlobal.StatusMessage, kConnected);
    }

    // A connect sequence has failed: the buttons are back (before the first, the status is empty).
    bool connectFailed() const {
        const std::string s = status();
        return w->retryButton()->isVisible() && !s.empty() &&
               s != "Connecting the SWR BRIDGE, please wait.";
    }
    void expectFailure(const std::string& text) {
        ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
        EXPECT_EQ(status(), text);
        EXPECT_TRUE(w->isVisible() && !w->displayWindow());
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
    ASSERT_TRUE(moreFrames(100));
    EXPECT_EQ(w->resyncs(), 0u);
    EXPECT_EQ(sim->recordedCommands(), (std::vector<std::string>{":16", ":16", ":17", ":11"}));

    // By hand, "100W" scale: power = count^2 * 20 / 20736 tenths of a watt, so
    // 720 -> 500.0, 144 -> 20.0, and the bridge's peaks 732 -> 516.8, 150 -> 21.7.
    // SWR (732+150)/(732-150) = 1.515, cut to one decimal; volts count * 1.41 * 0.0491.
    const ChannelReading& r = modGlobal.reading.withTexts();
    EXPECT_EQ((std::vector<int>{r.nDir, r.nRev, r.nDirMax, r.nRevMax, r.pwrDir, r.pwrRef,
                                r.pwrDirMax, r.pwrRefMax}),
              (std::vector<int>{720, 144, 732, 150, 500, 20, 516, 21}));
    EXPECT_EQ((std::vector<std::string>{r.pwrDirText, r.pwrRefText, r.pwrDirMaxText, r.swrText,
                                        r.voltDirText, r.voltRefText, r.scaleMultText}),
              (std::vector<std::string>{"50", "2", "51", "1.5", "50.7", "10.4", "x1"}));
    EXPECT_EQ(w->session().pairing().record()[4], 500);  // channel B came in too
}

TEST_F(EndToEnd, OldOrCutOffIdentificationIsRefused) {
    start({"--fault", "oldfw"});
    expectFailure(kInitFailed);
    EXPECT_EQ(platform.boxes,
              std::vector<std::string>{"Please upgrade the f/w of the Bridge to v1.08 or later"});
    platform.boxes.clear();
    freshState();
    start({"--fault", "shortid"});  // found by its prefix; nothing of it is half stored
    expectFailure(kInitFailed);
    EXPECT_TRUE(platform.boxes.empty() && modGlobal.BridgeFirmwareVersion.empty());
}

// Unattended from the first start: the first connect sequence fails, nobody
// clicks, and once the bridge is there and right the program streams; the
// firmware message it met meanwhile (modeless, one) is closed by then.
TEST_F(EndToEnd, FailedFirstStartConnectsLaterWithoutAClick) {
    const std::string later = dir_ + "/bridge-plugged-in-later";
    struct Row {
        const char* what;
        std::vector<std::string> simArgs;
        std::string device, failure;
        std::function<void()> makeRight;
    };
    const Row rows[] = {
        {"bridge absent for 8 s",
         {"--rate", "200"},
         later,
         "Com:1 Invalid port number (" + later + " does not exist)",
         [&] { ASSERT_EQ(symlink(sim->slavePath().c_str(), later.c_str()), 0); }},
        {"old firmware, then the right bridge",
         {"--rate", "200", "--fault", "oldfw"},
         "",
         kInitFailed,
         [&] { ASSERT_TRUE(sim->send("fault none")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        freshState();
        platform.boxes.clear(), platform.modeless = 0;
        QElapsedTimer clock;
        clock.start();
        start(row.simArgs, "0", row.device);
        ASSERT_TRUE(pumpUntil([&] { return status() == row.failure; }, 10000)) << status();
        pumpUntil([] { return false; }, 8000 - static_cast<int>(clock.elapsed()));
        EXPECT_FALSE(w->displayWindow());
        row.makeRight();
        QElapsedTimer back;
        back.start();
        expectStreaming();
        std::cout << "[ figures  ] " << row.what << ": streaming " << back.elapsed()
                  << " ms after the bridge was right\n";
        EXPECT_LE(platform.modeless, 1);
        const auto widgets = QApplication::topLevelWidgets();
        EXPECT_TRUE(std::none_of(widgets.begin(), widgets.end(), [](QWidget* b) {
            return b->isVisible() && b->inherits("QMessageBox");
        })) << "a message is left open";
    }
}

// Each damage to the stream, each in another display mode (0 is the decode test's).
class EndToEndStreamFault
    : public EndToEnd,
      public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};
TEST_P(EndToEndStreamFault, StreamResynchronisesAndGoesOn) {
    const auto [fault, gui] = GetParam();
    start({"--rate", "200"}, gui);
    expectStreaming();
    ASSERT_TRUE(sim->send(std::string("fault ") + fault));
    ASSERT_TRUE(pumpUntil([&] { return w->resyncs() > 0; }, 10000));
    ASSERT_TRUE(moreFrames(200, 15000));
    EXPECT_TRUE(displayOpen() && !platform.saw(kLost));
    // A damaged frame must not leave a nonsense reading behind.
    EXPECT_TRUE(modGlobal.reading.channel == "A" || modGlobal.reading.channel == "B");
}

INSTANTIATE_TEST_SUITE_P(Faults, EndToEndStreamFault,
                         ::testing::Values(std::pair{"garbage", "1"}, std::pair{"truncated", "2"},
                                           std::pair{"nocr", "3"}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST_F(EndToEnd, MissingAcknowledgementsStillStream) {
    start({"--rate", "200", "--fault", "noack"}, "4");
    expectStreaming();
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11"}));
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
    modGlobal.dataLogActive = true;
    w->startDataLog();
    ASSERT_TRUE(moreFrames(200));

    ASSERT_TRUE(sim->send("hangup"));
    unlink(link.c_str());
    ASSERT_TRUE(sim->waitReady(10000));
    const std::clock_t cpu0 = std::clock();
    pumpUntil([] { return false; }, 10000);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 6.0) << "CPU seconds in 10 s";
    EXPECT_TRUE(platform.saw(kLost));
    EXPECT_EQ(platform.modeless, 1) << "one message, never a second";
    // The start-up window is back, tries again and stops: the port is gone.
    EXPECT_TRUE(w->isVisible() && !w->displayWindow());
    ASSERT_TRUE(pumpUntil([&] { return connectFailed(); }, 10000)) << status();
    const auto lines = [&] {
        std::ifstream f(dir_ + "/dataLog.csv", std::ios::binary);
        const std::string all{std::istreambuf_iterator<char>(f), {}};
        return std::count(all.begin(), all.end(), '\n');
    };
    const auto linesBefore = lines();
    ASSERT_EQ(symlink(sim->slavePath().c_str(), link.c_str()), 0);

    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(pumpUntil([&] { return displayOpen(); }, 10000)) << status();
    ASSERT_TRUE(moreFrames(100, 10000 - static_cast<int>(back.elapsed())));
    std::cout << "[ figures  ] streaming again " << back.elapsed() << " ms after the return\n";
    EXPECT_EQ(modGlobal.StatusMessage, kConnected);
    EXPECT_TRUE(sentInOrder(*sim, {":16", ":16", ":17", ":11", ":16", ":16", ":17", ":11"}));
    w->stopDataLog();
    w->logger().flush();
    std::ifstream g(dir_ + "/dataLog.csv", std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(g), {}};
    EXPECT_EQ(all.find("Date"), all.rfind("Date")) << "one header";
    EXPECT_EQ(all.back(), '\n');
    EXPECT_GT(lines(), linesBefore + 30) << "logging goes on";
    std::istringstream in(all);
    for (std::string line; std::getline(in, line);)
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 9) << "torn: " << line;
    EXPECT_EQ(platform.modeless, 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
