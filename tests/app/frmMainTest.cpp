// The start-up window against a scripted bridge on a fake port: the connect
// sequence with its statuses, the receive handler and the watchdog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "app/frmMain.h"
#include "link/modGlobal.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

using namespace quellon;

namespace {

std::string idReply(const std::string& fw = "1.10") {
    // ":wexlo" sep fw sep, then 13 five-digit fields each followed by a separator.
    std::string r = ":wexlo," + fw + ",";
    const int vals[13] = {25, 32, 128, 300, 250, 750, 900, 700, 950, 32, 0, 512, 0};
    for (int i = 0; i < 13; ++i) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%05d", vals[i]);
        r += buf;
        if (i < 12) r += ",";
    }
    return r;
}

std::string frame(char ch, int nDir, int nRev, int nDirMax, int nRevMax, int pDM, int pRM,
                  int scale = 0) {
    std::string f(20, '\0');
    f[0] = ':';
    f[1] = ch;
    auto put = [&](int off, int v) {
        f[off] = static_cast<char>(v & 0xFF);
        f[off + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    put(2, nDir);
    put(4, nRev);
    put(6, nDirMax);
    put(8, nRevMax);
    put(10, pDM);
    put(12, pRM);
    f[18] = static_cast<char>(scale);
    f[19] = '\r';
    return f;
}

class FakeDisplay : public DisplayWindow {
public:
    explicit FakeDisplay(int* updates) : updates_(updates) {}
    void aggiornaDati() override {
        ++*updates_;
        modGlobal.streamState = 1;
    }
    void showDisplay() override {}
    QWidget* widget() override { return nullptr; }
    int* updates_;
};

struct Bridge {
    std::string id = idReply();
    std::string scales = ":1047";
    bool silent = false;
    bool ack = true;
    std::vector<std::string> commands;
};

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("quellon-app-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        modGlobal = ModGlobal{};
        modGlobal.SettingsPath = (dir / "Quellon.ini").string();
        modGlobal.ProgramDir = dir.string();
        p.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& self) {
                bridge.commands.push_back(data);
                if (bridge.silent) return;
                // Answers land in the port's buffer at once: a bridge that
                // answers within the host's 100 ms pause.
                if (data == ":16\r") self.feed(bridge.id + "\r");
                else if (data == ":17\r") self.feed(bridge.scales + "\r");
                else if (bridge.ack) self.feed(":ACK\r");
            };
        };
    }
    void TearDown() override {
        w.reset();
        std::filesystem::remove_all(dir);
    }
    void makeWindow() {
        w = std::make_unique<frmMain>(p, modGlobal);
        w->displayFactory = [this](const std::string& mode,
                                   DisplayHost&) -> std::unique_ptr<DisplayWindow> {
            openedMode = mode;
            return std::make_unique<FakeDisplay>(&updates);
        };
        w->Form_Load();
    }
    FakeSerialPort& port() { return static_cast<FakeSerialPort&>(w->port()); }
    std::string status() const { return w->statusLabel()->text().toStdString(); }
    bool connectedOrFailed() const {
        return !openedMode.empty() || (w->retryButton()->isVisibleTo(w.get()) && !status().empty());
    }
    void connect(int maxMs = 60000) {
        ASSERT_TRUE(p.runUntil([this] { return connectedOrFailed(); }, maxMs));
    }

    std::filesystem::path dir;
    FakePlatform p;
    Bridge bridge;
    std::unique_ptr<frmMain> w;
    std::string openedMode;
    int updates = 0;
};

TEST_F(FrmMainTest, ConnectsReadsParametersAndStartsTheStream) {
    makeWindow();
    EXPECT_EQ(ReadIni("Bridge", "Version", modGlobal.SettingsPath, "x"), "1.10");
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(status(), "SWR BRIDGE CONNECTED");
    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "1.10");
    EXPECT_EQ(modGlobal.params.MaxSwrB, 250);
    EXPECT_EQ(modGlobal.params.ScaleMaxB, 95);
    EXPECT_EQ(modGlobal.params.ExpandB, 512);
    EXPECT_EQ(modGlobal.ScaleTextA[1], "50W");
    EXPECT_EQ(modGlobal.ScaleTextB[1], "250W");
    EXPECT_EQ(modGlobal.streamState, 1);
    EXPECT_EQ(port().receiveThreshold(), 20);
    EXPECT_EQ(port().inputLength(), 20);
    EXPECT_EQ(port().inputMode(), InputMode::Binary);
    EXPECT_EQ(bridge.commands.back(), ":11\r");
    EXPECT_FALSE(w->timer3().isActive()) << "the watchdog waits for the first data";
    EXPECT_FALSE(w->timer2().isActive());
    EXPECT_EQ(w->exitButton()->text(), "Abort");
    EXPECT_EQ(ReadIni("Bridge", "Port", modGlobal.SettingsPath, "x"), "1");
    EXPECT_EQ(ReadIni("Bridge", "Setting", modGlobal.SettingsPath, "x"), "115200,N,8,1");
}

TEST_F(FrmMainTest, SilentPortEndsNotFoundAfterFiveTries) {
    bridge.silent = true;
    makeWindow();
    const uint32_t start = p.now;
    connect(40000);
    EXPECT_EQ(status(), "SWR BRIDGE not found.");
    const uint32_t took = p.now - start;
    EXPECT_GE(took, 25500u);
    EXPECT_LT(took, 27000u);
    int ids = 0;
    for (auto& c : bridge.commands) ids += c == ":16\r";
    EXPECT_EQ(ids, 5);
    EXPECT_FALSE(port().isOpen());
    EXPECT_TRUE(w->retryButton()->isVisibleTo(w.get()));
    EXPECT_TRUE(w->setupButton()->isVisibleTo(w.get()));
    EXPECT_EQ(w->exitButton()->text(), "Exit");
    EXPECT_FALSE(w->progressBar()->isVisibleTo(w.get()));
    // The progress bar moved while the sequence waited.
    EXPECT_FALSE(w->timer2().isActive());
}

TEST_F(FrmMainTest, PortThatCannotBeOpenedShowsTheReasonAtOnce) {
    p.openFailures.emplace(1, SerialError(serr::InvalidPortNumber, "Invalid port number"));
    makeWindow();
    const uint32_t start = p.now;
    connect();
    EXPECT_EQ(status(), "Com:1 Invalid port number");
    EXPECT_LT(p.now - start, 100u);
}

TEST_F(FrmMainTest, OldFirmwareIsRefusedWithTheUpgradeMessage) {
    bridge.id = idReply("1.07");
    makeWindow();
    connect();
    EXPECT_EQ(status(), "SWR BRIDGE initialization failled.");
    ASSERT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_EQ(p.messageBoxes[0].text, "Please upgrade the f/w of the Bridge to v1.08 or later");
    EXPECT_EQ(p.messageBoxes[0].style, 0);
    EXPECT_TRUE(openedMode.empty());
}

TEST_F(FrmMainTest, UnknownDisplayModeIsRepairedToBargraphs) {
    WriteIni("Bridge", "Version", "1.10", modGlobal.SettingsPath);
    WriteIni("Bridge", "GUI", "7", modGlobal.SettingsPath);
    makeWindow();
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(ReadIni("Bridge", "GUI", modGlobal.SettingsPath, "x"), "0");
}

TEST_F(FrmMainTest, ScaleReplyTimeoutStillStartsTheStream) {
    bridge.scales = "garbage";
    makeWindow();
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(modGlobal.streamState, 1);
}

TEST_F(FrmMainTest, AbortDuringTheWaitEndsTheProgram) {
    bridge.silent = true;
    makeWindow();
    p.after(3000, [this] { w->exitButton()->click(); });
    EXPECT_THROW(p.advance(10000), ProgramEnded);
    EXPECT_EQ(p.endedCode, 0);
}

class StreamingTest : public FrmMainTest {
protected:
    void SetUp() override {
        FrmMainTest::SetUp();
        makeWindow();
        connect();
        ASSERT_EQ(openedMode, "0");
        bridge.commands.clear();
    }
};

TEST_F(StreamingTest, GoodFramesAreDecodedAndShown) {
    port().feed(frame('A', 1018, 100, 1018, 100, 999, 9));
    p.advance(5);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(modGlobal.reading.channel, "A");
    EXPECT_EQ(modGlobal.reading.pwrDir, 999);  // A scale 1 is 100W
    EXPECT_EQ(modGlobal.logData[0], 999);
    EXPECT_EQ(w->lastChannel(), "A");
    EXPECT_TRUE(w->timer3().isActive());
    // Two frames in one burst are both handled.
    port().feed(frame('B', 500, 0, 500, 0, 0, 0) + frame('A', 10, 0, 10, 0, 0, 0));
    p.advance(5);
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(w->framesAccepted(), 3u);
    EXPECT_TRUE(bridge.commands.empty())
        << w->resyncs() << " " << (bridge.commands.empty() ? "" : bridge.commands[0]);
}

TEST_F(StreamingTest, BadFrameResynchronisesAndForgetsTheLastChannel) {
    port().feed(frame('A', 100, 0, 100, 0, 0, 0));
    p.advance(5);
    std::string bad = frame('B', 1, 2, 3, 4, 5, 6);
    bad[0] = 'x';
    port().feed(bad.substr(0, 19) + "Z");
    port().feedAfter(2, "tail\r");
    p.advance(400);
    EXPECT_EQ(w->resyncs(), 1u);
    EXPECT_EQ(w->lastChannel(), "");
    ASSERT_FALSE(bridge.commands.empty());
    EXPECT_EQ(bridge.commands.front(), ":11\r");
    EXPECT_EQ(port().receiveThreshold(), 20);
    // Good frames are accepted again afterwards.
    port().feed(frame('A', 100, 0, 100, 0, 0, 0));
    p.advance(5);
    EXPECT_EQ(updates, 2);
}

TEST_F(StreamingTest, FieldAboveInt16RangeTakesTheRecoveryPath) {
    port().feed(frame('A', 100, 0, 100, 0, 0, 0));
    p.advance(5);
    port().feed(frame('B', 0x8001, 0, 0, 0, 0, 0));
    port().feedAfter(2, "\r");
    p.advance(400);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(w->resyncs(), 1u);
    EXPECT_EQ(w->lastChannel(), "A") << "the recovery path keeps the last channel";
}

TEST_F(StreamingTest, WatchdogReportsSilenceOnce) {
    port().feed(frame('A', 100, 0, 100, 0, 0, 0));
    p.advance(5);
    p.advance(4900);
    EXPECT_TRUE(p.messageBoxes.empty());
    p.advance(200);
    ASSERT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_EQ(p.messageBoxes[0].text, "SWR BRIDGE connection lost. Please verify your connection.");
    EXPECT_EQ(p.messageBoxes[0].style, 46);
    p.advance(20000);
    EXPECT_EQ(p.messageBoxes.size(), 1u);
    EXPECT_FALSE(w->timer3().isActive());
}

TEST_F(StreamingTest, HangUpClosesThePortWithoutSpinning) {
    port().feed(frame('A', 100, 0, 100, 0, 0, 0));
    p.advance(5);
    port().hangup();
    const int before = p.processEventsCalls;
    p.advance(6000);
    EXPECT_FALSE(port().isOpen());
    ASSERT_EQ(p.messageBoxes.size(), 1u) << "the watchdog reports the lost line";
    EXPECT_LT(p.processEventsCalls - before, 7000);
}

TEST_F(StreamingTest, LoggingWritesOneRecordPerAThenBPair) {
    modGlobal.dataLogActive = true;
    w->startDataLog();
    port().feed(frame('A', 500, 50, 500, 50, 120, 1));
    port().feed(frame('B', 300, 0, 300, 0, 43, 0));
    port().feed(frame('B', 300, 0, 300, 0, 43, 0));
    p.advance(10);
    w->stopRxDati();
    // Stopping the stream keeps logging on; a restart appends to the same file.
    w->startRxDati();
    port().feed(frame('A', 500, 50, 500, 50, 120, 1) + frame('B', 300, 0, 300, 0, 43, 0));
    p.advance(10);
    modGlobal.dataLogActive = false;
    w->stopDataLog();
    FILE* f = std::fopen((dir / "dataLog.csv").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) all.append(buf, n);
    std::fclose(f);
    size_t lines = 0;
    for (char c : all) lines += c == '\n';
    EXPECT_EQ(lines, 3u) << all;  // header + two records
    EXPECT_NE(all.find(",120,1,"), std::string::npos) << all;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
