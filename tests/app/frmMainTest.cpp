// The start-up window against a scripted bridge on a fake port: the connect
// sequence with its statuses, the receive handler and the watchdog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <tuple>

#include "app/frmMain.h"
#include "link/modGlobal.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

using namespace quellon;

namespace {

// ":wexlo", the firmware version, then 13 five-digit parameter fields.
std::string idReply(const std::string& fw = "1.10") {
    return ":wexlo," + fw +
           ",00025,00032,00128,00300,00250,00750,00900,00700,00950,00032,00000,00512,00000";
}

// A 20-byte data frame: ':', channel, six little-endian fields, four spare bytes, scale, CR.
std::string frame(char ch, std::array<int, 6> fields = {100, 0, 100, 0, 0, 0}, int scale = 0) {
    std::string f = {':', ch};
    for (int v : fields) f += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    f.append(4, '\0');
    return f + static_cast<char>(scale) + '\r';
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

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGlobal = ModGlobal{};
        modGlobal.SettingsPath = tmp.filePath("Quellon.ini").toStdString();
        modGlobal.ProgramDir = tmp.path().toStdString();
        p.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& self) {
                commands.push_back(data);
                if (silent) return;
                // Answers land in the port's buffer at once: a bridge that answers within
                // the host's 100 ms pause.
                if (data == ":16\r") self.feed(id + "\r");
                else if (data == ":17\r") self.feed(scales + "\r");
                else self.feed(":ACK\r");
            };
        };
    }
    void makeWindow() {
        w = std::make_unique<frmMain>(p, modGlobal);
        w->displayFactory = [this](const std::string& mode, DisplayHost&) {
            openedMode = mode;
            return std::unique_ptr<DisplayWindow>(std::make_unique<FakeDisplay>(&updates));
        };
        w->Form_Load();
    }
    FakeSerialPort& port() { return static_cast<FakeSerialPort&>(w->port()); }
    std::string status() const { return w->statusLabel()->text().toStdString(); }
    void connect(int maxMs = 60000) {
        ASSERT_TRUE(p.runUntil(
            [this] {
                return !openedMode.empty() ||
                       (w->retryButton()->isVisibleTo(w.get()) && !status().empty());
            },
            maxMs));
    }
    std::string ini(const char* key) { return ReadIni("Bridge", key, modGlobal.SettingsPath, "x"); }

    QTemporaryDir tmp;
    FakePlatform p;
    std::string id = idReply(), scales = ":1047";
    bool silent = false;
    std::vector<std::string> commands;
    std::unique_ptr<frmMain> w;
    std::string openedMode;
    int updates = 0;
};

TEST_F(FrmMainTest, ConnectsReadsParametersAndStartsTheStream) {
    makeWindow();
    EXPECT_EQ(ini("Version"), "1.10");
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(status(), "SWR BRIDGE CONNECTED");
    EXPECT_EQ(modGlobal.BridgeFirmwareVersion, "1.10");
    const BridgeParameters& bp = modGlobal.params;
    EXPECT_EQ((std::tuple{bp.MaxSwrB, bp.ScaleMaxB, bp.ExpandB}), (std::tuple{250, 95, 512}));
    EXPECT_EQ(modGlobal.ScaleTextA[1] + "|" + modGlobal.ScaleTextB[1], "50W|250W");
    EXPECT_EQ(modGlobal.streamState, 1);
    EXPECT_EQ((std::tuple{port().receiveThreshold(), port().inputLength()}), (std::tuple{20, 20}));
    EXPECT_EQ(port().inputMode(), InputMode::Binary);
    EXPECT_EQ(commands.back(), ":11\r");
    EXPECT_FALSE(w->timer3().isActive()) << "the watchdog waits for the first data";
    EXPECT_FALSE(w->timer2().isActive());
    EXPECT_EQ(w->exitButton()->text(), "Abort");
    EXPECT_EQ(ini("Port") + "|" + ini("Setting"), "1|115200,N,8,1");
}

TEST_F(FrmMainTest, SilentPortEndsNotFoundAfterFiveTries) {
    silent = true;
    makeWindow();
    const uint32_t start = p.now;
    connect(40000);
    EXPECT_EQ(status(), "SWR BRIDGE not found.");
    EXPECT_GE(p.now - start, 25500u);
    EXPECT_LT(p.now - start, 27000u);
    EXPECT_EQ(std::ranges::count(commands, ":16\r"), 5);
    EXPECT_FALSE(port().isOpen());
    EXPECT_TRUE(w->retryButton()->isVisibleTo(w.get()));
    EXPECT_TRUE(w->setupButton()->isVisibleTo(w.get()));
    EXPECT_EQ(w->exitButton()->text(), "Exit");
    EXPECT_FALSE(w->progressBar()->isVisibleTo(w.get()));
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
    id = idReply("1.07");
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
    EXPECT_EQ(ini("GUI"), "0");
}

TEST_F(FrmMainTest, ScaleReplyTimeoutStillStartsTheStream) {
    scales = "garbage";
    makeWindow();
    connect();
    EXPECT_EQ(openedMode, "0");
    EXPECT_EQ(modGlobal.streamState, 1);
}

TEST_F(FrmMainTest, AbortDuringTheWaitEndsTheProgram) {
    silent = true;
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
        commands.clear();
    }
    void feed(const std::string& bytes, int ms = 5) {
        port().feed(bytes);
        p.advance(ms);
    }
};

TEST_F(StreamingTest, GoodFramesAreDecodedAndShown) {
    feed(frame('A', {1018, 100, 1018, 100, 999, 9}));
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(modGlobal.reading.channel, "A");
    EXPECT_EQ(modGlobal.reading.pwrDir, 999);  // A scale 1 is 100W
    EXPECT_EQ(modGlobal.logData[0], 999);
    EXPECT_EQ(w->lastChannel(), "A");
    EXPECT_TRUE(w->timer3().isActive());
    feed(frame('B', {500, 0, 500, 0, 0, 0}) + frame('A', {10, 0, 10, 0, 0, 0}));  // one burst
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(w->framesAccepted(), 3u);
    EXPECT_TRUE(commands.empty()) << w->resyncs() << " " << commands[0];
}

TEST_F(StreamingTest, BadFrameResynchronisesAndForgetsTheLastChannel) {
    feed(frame('A'));
    std::string bad = frame('B', {1, 2, 3, 4, 5, 6});
    bad[0] = 'x';
    port().feed(bad.substr(0, 19) + "Z");
    port().feedAfter(2, "tail\r");
    p.advance(400);
    EXPECT_EQ(w->resyncs(), 1u);
    EXPECT_EQ(w->lastChannel(), "");
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), ":11\r");
    EXPECT_EQ(port().receiveThreshold(), 20);
    feed(frame('A'));  // good frames are accepted again afterwards
    EXPECT_EQ(updates, 2);
}

TEST_F(StreamingTest, FieldAboveInt16RangeTakesTheRecoveryPath) {
    feed(frame('A'));
    port().feed(frame('B', {0x8001, 0, 0, 0, 0, 0}));
    port().feedAfter(2, "\r");
    p.advance(400);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(w->resyncs(), 1u);
    EXPECT_EQ(w->lastChannel(), "A") << "the recovery path keeps the last channel";
}

TEST_F(StreamingTest, WatchdogReportsSilenceOnce) {
    feed(frame('A'), 4905);
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
    feed(frame('A'));
    port().hangup();
    const int before = p.processEventsCalls;
    p.advance(6000);
    EXPECT_FALSE(port().isOpen());
    ASSERT_EQ(p.messageBoxes.size(), 1u) << "the watchdog reports the lost line";
    EXPECT_LT(p.processEventsCalls - before, 7000);
}

TEST_F(StreamingTest, LoggingWritesOneRecordPerAThenBPair) {
    const std::string a = frame('A', {500, 50, 500, 50, 120, 1}),
                      b = frame('B', {300, 0, 300, 0, 43, 0});
    modGlobal.dataLogActive = true;
    w->startDataLog();
    feed(a + b + b, 10);
    w->stopRxDati();
    // Stopping the stream keeps logging on; a restart appends to the same file.
    w->startRxDati();
    feed(a + b, 10);
    modGlobal.dataLogActive = false;
    w->stopDataLog();
    std::ifstream f(tmp.filePath("dataLog.csv").toStdString(), std::ios::binary);
    ASSERT_TRUE(f.is_open());
    const std::string all{std::istreambuf_iterator<char>(f), {}};
    EXPECT_EQ(std::ranges::count(all, '\n'), 3) << all;  // header + two records
    EXPECT_NE(all.find(",120,1,"), std::string::npos) << all;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
