// The program against the bridge simulator, publishing to a real Mosquitto broker:
// in this process (the start-up and display windows with the publisher on their
// reading bus), and as the real executable that is killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <filesystem>

#include "app/frmMain.h"
#include "display/DisplayFrame.h"
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
    frame->cmdExit_Click();
    EXPECT_TRUE(platform.ended);
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
