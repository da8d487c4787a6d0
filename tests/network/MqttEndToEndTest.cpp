// The program against the bridge simulator, publishing to a real Mosquitto broker:
// in this process (the start-up and display windows with the publisher on their
// reading bus), and as the real executable that is killed; and a viewer of it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>

#include "app/frmMain.h"
#include "display/DisplayFrame.h"
#include "display/frmGaugeMain.h"
#include "network/LiveFeed.h"
#include "network/MqttPublisher.h"
#include "sim/SimProcess.h"
#include "tests/SimProgram.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::testing;

namespace {

void writeSettings(const std::string& dir, const SimProcess& sim, const TestBroker& broker,
                   const std::string& node) {
    test::programSettings(dir, sim.linkPath(), "2");
    const std::string& ini = modGlobal.SettingsPath;
    WriteIni("Bridge", "ChannelA", "Dipole 40m", ini);
    for (auto [key, value] : {std::pair<const char*, std::string>{"Enabled", "1"},
                              {"Host", "127.0.0.1"},
                              {"Port", std::to_string(broker.port())},
                              {"Node", node},
                              {"Interval", "300"},
                              {"LiveHz", "10"}})
        WriteIni("Mqtt", key, value, ini);
}

bool hasTopic(const Subscriber& sub, const std::string& topic) { return !sub.on(topic).empty(); }

// Everything the gauge display shows: texts, check boxes and where the needles point.
std::string screen(const DisplayWindow* d) {
    if (!d) return "no display";
    std::string out;
    const auto& gauges = dynamic_cast<const frmGaugeMain&>(*d);
    for (frmGaugeChannel* ch : {gauges.windowA(), gauges.windowB()}) {
        for (auto* e : ch->findChildren<QLineEdit*>()) out += e->text().toStdString() + "|";
        for (auto* l : ch->findChildren<QLabel*>()) out += l->text().toStdString() + "|";
        for (auto* c : ch->findChildren<QCheckBox*>()) out += c->isChecked() ? "x|" : "o|";
        const auto& n = ch->pendingNeedles;
        out += std::to_string(n.fullScale) + " " + std::to_string(n.power) + " " +
               std::to_string(n.swrTenths) + "\n";
    }
    return out;
}

}  // namespace

// Fixed counts on the "100W" scale, by hand: power = count^2 * 20 / 20736 tenths,
// so 720 -> 50.0 W and 144 -> 2.0 W; the bridge's peaks 732 -> 51.6 W and
// 150 -> 2.1 W; SWR (732+150)/(732-150) = 1.515, cut to 1.5; threshold 3: no alarm.
TEST(MqttEndToEnd, StateMatchesTheFramesAndExitSaysOffline) {
    QTemporaryDir d;
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker);
    SimProcess sim({"--rate", "200", "--pattern", "fixed", "--counts", "720,144,732,150"});
    writeSettings(d.path().toStdString(), sim, broker, "e2e");
    const std::string& ini = modGlobal.SettingsPath;
    test::TestPlatform platform;
    frmMain w(platform, modGlobal);
    w.Form_Load();

    // Wired as the program wires it.
    const MqttSettings settings = readMqttSettings(ini);
    ASSERT_TRUE(settings.enabled);
    MqttPublisher publisher(settings, ini);
    publisher.start();
    w.readings().subscribe(&publisher);
    w.networkStatusSource = [&] { return publisher.statusText(); };
    platform.beforeEnd = [&] { publisher.stop(); };

    ASSERT_TRUE(sub.waitForPayload("quellon/e2e/status", "online")) << publisher.statusText();
    ASSERT_TRUE(waitUntil([&] {
        return hasTopic(sub, "quellon/e2e/a/state") && hasTopic(sub, "quellon/e2e/b/state");
    })) << publisher.statusText();
    for (const char* ch : {"a", "b"})
        EXPECT_EQ(withoutTime(sub.on(std::string("quellon/e2e/") + ch + "/state").back().payload),
                  "{\"forward_w\":50.0,\"reflected_w\":2.0,\"peak_forward_w\":51.6,"
                  "\"peak_reflected_w\":2.1,\"swr\":1.5,\"alarm\":false,\"scale\":\"100W\","
                  "\"description\":\"" +
                      std::string(ch[0] == 'a' ? "Dipole 40m" : "Channel B") + "\"");
    // The live feed: at most LiveHz a second, with the decoder's numbers, from
    // which a viewer makes the same texts; the link is up.
    ASSERT_TRUE(waitUntil([&] { return hasTopic(sub, "quellon/e2e/live"); }));
    const size_t before = sub.on("quellon/e2e/live").size();
    QElapsedTimer twoSeconds;
    twoSeconds.start();
    waitUntil([&] { return twoSeconds.elapsed() >= 2000; });
    const size_t count = sub.on("quellon/e2e/live").size() - before;
    EXPECT_LE(count, size_t(twoSeconds.elapsed() / 100 + 1));
    EXPECT_GE(count, 10u);
    LiveMessage live;
    ASSERT_EQ(parseLive(sub.on("quellon/e2e/live").back().payload, live), "");
    for (const LiveChannel& c : live.ch) {
        const ChannelReading& r = c.reading.withTexts();
        EXPECT_EQ(r.pwrDirText + " " + r.pwrRefText + " " + r.pwrDirMaxText + " " +
                      r.pwrRefMaxText + " " + r.swrText + " " + c.scaleText,
                  "50 2 51 2 1.5 100W")
            << r.channel;
        EXPECT_GT(c.count, 0u);
    }
    BridgeInfo bridge;
    ASSERT_EQ(parseBridge(sub.on("quellon/e2e/bridge").back().payload, bridge), "");
    EXPECT_EQ(bridge.descriptionA, "Dipole 40m");
    EXPECT_EQ(bridge.firmware, modGlobal.BridgeFirmwareVersion);
    EXPECT_EQ(sub.on("quellon/e2e/link").back().payload, "up");

    // The display window carries the status as its tool tip.
    auto* frame = dynamic_cast<DisplayFrame*>(w.displayWindow());
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(waitUntil([&] { return frame->toolTip().startsWith("MQTT: connected to"); }))
        << frame->toolTip().toStdString();

    // The display's Exit: "offline" is published before the program ends.
    frame->cmdExit_Click();  // the program ends once the stream's stop is acknowledged
    EXPECT_TRUE(waitUntil([&] { return platform.ended; }));
    EXPECT_TRUE(sub.waitForPayload("quellon/e2e/status", "offline"));
    w.readings().unsubscribe(&publisher);
}

// The real program, killed: the broker publishes its last will.
TEST(MqttEndToEnd, KilledProgramGoesOfflineByItsLastWill) {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker);
    SimProcess sim({"--rate", "200"});
    const std::string exe = dir + "/quellon";
    std::filesystem::copy_file(QUELLON_EXE, exe);
    writeSettings(dir, sim, broker, "killed");
    std::filesystem::create_directories(dir + "/run");

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    const bool online = sub.waitForPayload("quellon/killed/status", "online");
    const bool states = waitUntil([&] { return hasTopic(sub, "quellon/killed/a/state"); });
    kill(pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
    ASSERT_TRUE(online && states);
    EXPECT_TRUE(sub.waitForPayload("quellon/killed/status", "offline"));
    EXPECT_EQ(sub.on("quellon/killed/status").back().payload, "offline");
}

// A viewer of a station on the same broker: the same frames give the same
// screen; Set and Cmd are off and say why; the station's bridge pulled, the
// viewer loses the feed, waits, and shows the readings again by itself.
TEST(MqttEndToEnd, ViewerShowsTheStationsScreenLosesItAndResumes) {
    QTemporaryDir d;
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    SimProcess sim(
        {"--rate", "200", "--reopen", "--pattern", "fixed", "--counts", "720,144,732,150"});
    writeSettings(d.path().toStdString(), sim, broker, "shack");
    WriteIni("Bridge", "GUI", "1", modGlobal.SettingsPath);
    test::TestPlatform platform;
    frmMain station(platform, modGlobal);
    station.Form_Load();
    MqttPublisher publisher(readMqttSettings(modGlobal.SettingsPath), modGlobal.SettingsPath);
    publisher.start();
    station.readings().subscribe(&publisher);

    QTemporaryDir vd;
    ModGlobal vg;
    vg.SettingsPath = vd.path().toStdString() + "/Quellon.ini";
    for (const char* key : {"Version", "GUI"})
        WriteIni("Bridge", key, ReadIni("Bridge", key, modGlobal.SettingsPath, ""),
                 vg.SettingsPath);
    WriteIni("Mqtt", "Host", "127.0.0.1", vg.SettingsPath);
    WriteIni("Mqtt", "Port", std::to_string(broker.port()), vg.SettingsPath);
    WriteIni("Remote", "Node", "shack", vg.SettingsPath);
    test::TestPlatform vp([&] { return vg.SettingsPath; });
    frmMain viewer(vp, vg);
    viewer.Form_Load();
    const QString waiting = QString::fromStdString(
        "Waiting for shack on 127.0.0.1:" + std::to_string(broker.port()) + "\u2026");
    EXPECT_TRUE(waitUntil([&] { return viewer.statusLabel()->text().startsWith(waiting); }));
    ASSERT_TRUE(waitUntil([&] {
        return station.displayWindow() &&
               screen(viewer.displayWindow()) == screen(station.displayWindow());
    })) << screen(viewer.displayWindow())
        << "\n"
        << screen(station.displayWindow());
    EXPECT_NE(screen(viewer.displayWindow()).find("Dipole 40m"), std::string::npos);
    auto* frame = dynamic_cast<frmGaugeMain*>(viewer.displayWindow());
    EXPECT_EQ(frame->windowTitle(), "Power & SWR \u2014 shack");
    EXPECT_EQ(frame->windowB()->windowTitle(), "Channel B \u2014 shack");
    for (const char* name : {"cmdConfig", "cmdCMD"}) {
        auto* b = frame->findChild<QPushButton*>(name);
        EXPECT_FALSE(b->isEnabled());
        EXPECT_EQ(b->toolTip(), "Read-only: watching shack through the broker");
    }

    ASSERT_TRUE(sim.send("hangup"));
    ASSERT_TRUE(waitUntil([&] { return !viewer.displayWindow(); })) << "lost, as the station";
    EXPECT_TRUE(viewer.statusLabel()->text().startsWith(waiting));
    ASSERT_TRUE(waitUntil([&] { return viewer.displayWindow() != nullptr; })) << "back";
    station.readings().unsubscribe(&publisher);
}
