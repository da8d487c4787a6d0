// The publisher against a real Mosquitto broker on a loopback port: readings are
// handed in as the session would hand them, and a subscriber watches the broker.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "network/MqttPayload.h"
#include "network/MqttPublisher.h"
#include "network/MqttWatcher.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::testing;

namespace {

// One frame's worth of a reading, as the decoder leaves it.
struct Feed {
    ModGlobal g;
    ChannelReading rd;
    void reading(MqttPublisher& p, const char* ch, int pwrDir, int pwrRef, int peakDir, int peakRef,
                 const char* swrText, float swr, int frameScale = 0) {
        g.ScaleTextA = {"100W", "1KW"};
        g.ScaleTextB = {"50W", "500W"};
        ChannelReading& r = rd;
        r.channel = ch;
        r.pwrDir = static_cast<int16_t>(pwrDir);
        r.pwrRef = static_cast<int16_t>(pwrRef);
        r.pwrDirMax = static_cast<int16_t>(peakDir);
        r.pwrRefMax = static_cast<int16_t>(peakRef);
        r.swrText = swrText;
        r.swrValue = swr;
        r.frameScale = static_cast<int16_t>(frameScale);
        p.onReading(ReadingEvent{r, g, 1709647629250});
    }
};

bool isStatus(MqttPublisher& p, MqttStatus st) {
    return waitUntil([&] { return p.status() == st; });
}

}  // namespace

// Peaks are the highest and the alarm is any since the previous message, the
// rest the latest; a channel without readings gets no message; every message
// of a channel is at least an interval after the one before (here one only).
TEST(MqttBroker, PublishesStatusAndState) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker);
    MqttSettings s = stationSettings(broker, "bench");
    s.intervalText = "600000";
    MqttPublisher p(s, "/nonexistent/Quellon.ini");
    p.start();
    ASSERT_TRUE(sub.waitForMessage("quellon/bench/status", "online")) << p.statusText();
    EXPECT_EQ(p.statusText(), "MQTT: connected to 127.0.0.1:" + std::to_string(broker.port()));

    Feed f;
    f.reading(p, "A", 300, 10, 420, 15, "HIG", 3.1f);
    f.reading(p, "A", 500, 20, 516, 21, "1.5", 1.5f, 2);
    f.reading(p, "A", 100, 5, 200, 9, "---", 0.0f);
    ASSERT_TRUE(sub.waitForMessage("quellon/bench/a/state"));
    EXPECT_EQ(withoutTime(sub.on("quellon/bench/a/state").front().payload),
              "{\"forward_w\":10.0,\"reflected_w\":0.5,\"peak_forward_w\":51.6,"
              "\"peak_reflected_w\":2.1,\"swr\":null,\"alarm\":true,\"scale\":\"100W\","
              "\"description\":\"Channel A\"");

    // More readings within the interval: no second message before the goodbye.
    f.reading(p, "A", 900, 5, 999, 9, "1", 0.0f);
    p.stop();
    ASSERT_TRUE(sub.waitForMessage("quellon/bench/status", "offline"));
    EXPECT_EQ(sub.on("quellon/bench/a/state").size(), 1u);
    EXPECT_TRUE(sub.on("quellon/bench/b/state").empty());

    // Retained: a newcomer learns "offline" (and the configs: the discovery test below).
    Subscriber late(broker);
    ASSERT_TRUE(late.waitForMessage("quellon/bench/status", "offline"));
    EXPECT_TRUE(late.on("quellon/bench/status").back().retained);
}

// The publisher sends what waited the moment it is back, possibly before a fresh
// subscriber has subscribed: so the watcher's session outlives the restart.
TEST(MqttBroker, ReconnectsAfterTheBrokerRestartsAndSendsWhatWaited) {
    TestBroker broker({.persistent = true});
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker, "quellon-test-watcher");
    ASSERT_TRUE(sub.subscribed());
    MqttPublisher p(stationSettings(broker, "bench"), "/nonexistent/Quellon.ini");
    p.start();
    ASSERT_TRUE(sub.waitForMessage("quellon/bench/status", "online")) << p.statusText();
    Feed f;
    broker.stop();
    // Readings go on while the broker is away; only the latest is kept.
    for (int i = 0; i < 20000; ++i) f.reading(p, "B", i % 1000, 1, 5, 1, "1", 0.0f);
    ASSERT_TRUE(isStatus(p, MqttStatus::BrokerDown)) << p.statusText();
    EXPECT_NE(p.statusText().find("retrying"), std::string::npos) << p.statusText();

    ASSERT_TRUE(broker.start()) << broker.log();
    // "online" live once per connection (the retained copy on each subscription does not count).
    ASSERT_TRUE(sub.waitFor([](auto& ms) {
        int live = 0;
        for (auto& m : ms)
            live += m.topic == "quellon/bench/status" && m.payload == "online" && !m.retained;
        return live >= 2;
    })) << p.statusText();
    EXPECT_EQ(p.connections(), 2u);
    ASSERT_TRUE(sub.waitForMessage("quellon/bench/b/state"));
    const std::string b = sub.on("quellon/bench/b/state").front().payload;
    EXPECT_EQ(b.substr(0, 18), "{\"forward_w\":99.9,") << "the last of the 20000";
    EXPECT_NE(b.find("\"scale\":\"50W\""), std::string::npos) << "on B's scale";
}

// One broker that wants both a password and TLS: only the publisher with both
// right gets in, the others say why.
TEST(MqttBroker, PasswordFileAndTlsWithTheTestCa) {
    TestBroker broker({"station", "p4ss word", true});
    ASSERT_TRUE(broker.start()) << broker.log();
    const std::tuple<const char*, const char*, std::string, MqttStatus, const char*> cases[] = {
        {"ok", "p4ss word\n", broker.caFile(), MqttStatus::Connected, "MQTT: connected to"},
        {"pw", "wrong\n", broker.caFile(), MqttStatus::Refused, "refused the user name or"},
        {"ca", "p4ss word\n", broker.otherCaFile(), MqttStatus::TlsFailure, "TLS failure with"},
        // Plain MQTT to a TLS port: closed without an answer.
        {"plain", "p4ss word\n", "", MqttStatus::BrokerDown,
         "closed the connection unanswered (a TLS port needs CaFile)"},
    };
    for (const auto& [node, password, ca, status, text] : cases) {
        MqttSettings s = stationSettings(broker, node);
        s.username = "station";
        s.passwordFile = broker.writeFile("pw.txt", password);
        std::filesystem::permissions(s.passwordFile, std::filesystem::perms(0600));
        s.caFile = ca;
        MqttPublisher p(s, "");
        p.start();
        // A watcher of other stations gets in with the same settings, or not.
        MqttWatcher watcher(s);
        watcher.start();
        EXPECT_TRUE(isStatus(p, status)) << node << ": " << p.statusText();
        EXPECT_NE(p.statusText().find(text), std::string::npos) << p.statusText();
        EXPECT_EQ(waitUntil([&] { return watcher.connected(); }, node[0] == 'o' ? 20000 : 1000),
                  status == MqttStatus::Connected)
            << node << ": " << watcher.statusText();
    }
}

// Settings that cannot work give a status saying why, and stopping never hangs
// (which setting is wrong: MqttSettingsTest.BadSettingsAreNamed).
TEST(MqttBroker, BadSettingsAndUnreachableBrokersGiveAClearStatus) {
    TestBroker broker;  // configured, never started: its port is closed
    const std::tuple<const char*, std::function<void(MqttSettings&)>, MqttStatus, const char*>
        cases[] = {
            {"port abc", [](MqttSettings& s) { s.portText = "abc"; }, MqttStatus::BadSettings,
             "MQTT: bad setting: Port \"abc\""},
            {"broker down", [](MqttSettings&) {}, MqttStatus::BrokerDown, "MQTT: broker down at"},
            {"wrong host", [](MqttSettings& s) { s.host = "no-such-host.invalid"; },
             MqttStatus::WrongHost, "MQTT: host \"no-such-host.invalid\" not found"},
        };
    for (const auto& [what, set, status, text] : cases) {
        MqttSettings s = stationSettings(broker, "bench");
        set(s);
        MqttPublisher p(s, "");
        p.start();
        ASSERT_TRUE(isStatus(p, status)) << what << ": " << p.statusText();
        EXPECT_EQ(p.statusText().rfind(text, 0), 0u) << what << ": " << p.statusText();
        Feed f;
        f.reading(p, "A", 1, 1, 1, 1, "1", 0.0f);
        p.stop();
    }
}

// The link topic follows the stream, not the program: down at the start, up
// with the first frame, down on a lost stream and on silence, down before
// "offline" at the end. A run with discovery off removes the configs of a run
// with it on.
TEST(MqttBroker, LinkFollowsTheStreamAndDiscoveryOffClearsTheConfigs) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker);
    const std::string link = "quellon/bench/link";
    auto links = [&] {
        std::string all;
        for (const Message& m : sub.on(link)) all += m.payload + " ";
        return all;
    };
    {
        MqttPublisher p(stationSettings(broker, "bench"), "");
        p.start();
        Feed f;
        // Each step, then the link topics so far.
        const std::pair<std::function<void()>, const char*> steps[] = {
            {[] {}, "down "},
            {[&] { f.reading(p, "A", 1, 1, 1, 1, "1", 0.0f); }, "down up "},
            {[&] { p.onLinkState(LinkState::Lost); }, "down up down "},
            {[&] { f.reading(p, "B", 1, 1, 1, 1, "1", 0.0f); }, "down up down up "},
            {[] {}, "down up down up down "},  // frames silent for 4 s
            {[&] { f.reading(p, "B", 1, 1, 1, 1, "1", 0.0f); }, "down up down up down up "},
        };
        auto since = std::chrono::steady_clock::now();
        for (const auto& [step, expected] : steps) {
            step();
            ASSERT_TRUE(waitUntil([&] { return links() == expected; })) << links();
        }
        EXPECT_GE(std::chrono::steady_clock::now() - since, std::chrono::seconds(4));
        p.stop();
        ASSERT_TRUE(sub.waitForMessage("quellon/bench/status", "offline"));
        EXPECT_EQ(links(), "down up down up down up down ");
        EXPECT_EQ(sub.messages().back().payload, "offline") << "the link goes down first";
        EXPECT_TRUE(sub.on("quellon/bench/live").empty()) << "LiveHz=0: no feed";
    }
    auto retainedConfigs = [&] {
        Subscriber late(broker);
        waitUntil([&] { return !late.on(link).empty(); });
        int n = 0;
        for (const Message& m : late.messages()) n += m.topic.rfind("homeassistant/", 0) == 0;
        return n;
    };
    EXPECT_EQ(retainedConfigs(), 12);
    MqttSettings s = stationSettings(broker, "bench");
    s.discovery = false;
    MqttPublisher p(s, "");
    p.start();
    ASSERT_TRUE(waitUntil([&] {
        int cleared = 0;
        for (const Message& m : sub.messages())
            cleared += m.topic.rfind("homeassistant/", 0) == 0 && m.payload.empty();
        return cleared == 12;
    }));
    EXPECT_EQ(retainedConfigs(), 0);
}
