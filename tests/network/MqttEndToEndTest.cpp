// The program against the bridge simulator, publishing to a real Mosquitto broker:
// as the real executable that is killed or terminated, and in this process (the windows with the
// publisher on their reading bus) with a viewer of it.

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
#include "display/frmGaugeMain.h"
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

// The real program, stopped by the system. Killed, the broker publishes its
// last will; terminated, it ends as by its Exit button: status 0, the bridge's
// stream stopped (":10" last on the line), a goodbye of its own.
TEST(MqttEndToEnd, StoppedProgramGoesOfflineKilledOrTerminated) {
    for (const int sig : {SIGKILL, SIGTERM}) {
        QTemporaryDir tmp;
        const std::string dir = tmp.path().toStdString(), node = "stopped" + std::to_string(sig);
        TestBroker broker;
        ASSERT_TRUE(broker.start()) << broker.log();
        Subscriber sub(broker);
        SimProcess sim({"--rate", "200"});
        const std::string exe = dir + "/quellon";
        std::filesystem::copy_file(QUELLON_EXE, exe);
        writeSettings(dir, sim, broker, node);
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
        const bool online = sub.waitForMessage("quellon/" + node + "/status", "online");
        const bool states =
            waitUntil([&] { return !sub.on("quellon/" + node + "/a/state").empty(); });
        kill(pid, sig);
        int status = -1;
        if (!waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(online && states) << sig;
        EXPECT_TRUE(sub.waitForMessage("quellon/" + node + "/status", "offline")) << sig;
        EXPECT_EQ(sub.on("quellon/" + node + "/status").back().payload, "offline");
        if (sig == SIGTERM) {
            EXPECT_EQ(
                std::tuple(WIFEXITED(status), WEXITSTATUS(status), sim.recordedCommands().back()),
                std::tuple(true, 0, ":10"));
        }
    }
}

// A viewer of a station on the same broker: the same frames give the same
// screen; the station's live feed keeps its rate; Set and Cmd are off and say why; the station's
// bridge pulled, the viewer loses the feed, waits, and shows the readings again by itself.
TEST(MqttEndToEnd, ViewerShowsTheStationsScreenLosesItAndResumes) {
    QTemporaryDir d;
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    SimProcess sim(
        {"--rate", "200", "--reopen", "--pattern", "fixed", "--counts", "720,144,732,150"});
    Subscriber sub(broker);
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
    // The station's live feed: at most LiveHz (10) messages a second.
    const size_t before = sub.on("quellon/shack/live").size();
    QElapsedTimer twoSeconds;
    twoSeconds.start();
    waitUntil([&] { return twoSeconds.elapsed() >= 2000; });
    const size_t count = sub.on("quellon/shack/live").size() - before;
    EXPECT_LE(count, size_t(twoSeconds.elapsed() / 100 + 1));
    EXPECT_GE(count, 10u);
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
