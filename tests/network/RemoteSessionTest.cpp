// A viewer's session against a real broker, fed by hand-made messages.

#include <gtest/gtest.h>

#include "network/RemoteSession.h"
#include "platform/QtPlatform.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::testing;

namespace {

struct Heard : ReadingListener {
    std::vector<std::string> texts;
    void onReading(const ReadingEvent& e) override {
        const ChannelReading& r = e.reading.withTexts();
        texts.push_back(r.channel + " " + r.pwrDirText + " " + r.swrText);
    }
};

}  // namespace

// No reading before the bridge's scales are known; a silent feed is lost after
// a few of its intervals; the viewer never publishes and refuses a wildcard.
TEST(RemoteSession, WaitsForTheBridgeLosesASilentFeedAndNeverPublishes) {
    TestBroker broker({.logEveryPacket = true});
    ASSERT_TRUE(broker.start()) << broker.log();
    ModGlobal g;
    QtPlatform platform([] { return std::string(); });
    RemoteSession s(platform, g, stationSettings(broker, "viewer"), "shack");
    Heard heard;
    s.readings().subscribe(&heard);
    s.start();
    ASSERT_TRUE(waitUntil([&] { return s.watcher().connected(); })) << s.statusText();
    LiveMessage live;
    live.ch[0].reading.pwrDir = 516;
    live.ch[0].reading.swrKind = SwrKind::High;
    uint64_t sent = 0;
    auto send = [&](const Message& m) {
        ++sent;
        const bool ok =
            publishRaw(broker, {m}) && waitUntil([&] { return s.watcher().accepted() == sent; });
        s.poll();  // accepted on the watcher's thread; its wake-up may not have run yet
        return ok;
    };
    auto sendLive = [&](uint64_t count) {
        live.ch[0].count = count;
        return send({"quellon/shack/live", livePayload(live)});
    };
    ASSERT_TRUE(sendLive(1));
    EXPECT_TRUE(heard.texts.empty());
    BridgeInfo bridge;
    bridge.scaleTextA = {"100W", "1KW"};
    bridge.descriptionA = "Dipole 40m";
    ASSERT_TRUE(send({"quellon/shack/bridge", bridgePayload(bridge), true}));
    for (uint64_t n = 2; n <= 4; ++n) ASSERT_TRUE(sendLive(n));
    EXPECT_EQ(heard.texts, (std::vector<std::string>{"A 51 HIG", "A 51 HIG", "A 51 HIG"}));
    EXPECT_EQ(g.ScaleTextA[1], "1KW");
    EXPECT_EQ(s.description('A'), "Dipole 40m");
    // Four gaps of a few ms each: well under the longest wait.
    EXPECT_LT(s.silenceMs(), RemoteSession::kLongestSilenceMs);
    ASSERT_TRUE(s.feeding());
    EXPECT_TRUE(waitUntil([&] { return !s.feeding(); }, s.silenceMs() + 1500));
    EXPECT_EQ(s.readings().linkState(), LinkState::Lost);

    s.stop();
    const std::string log = broker.log();
    EXPECT_NE(log.find("Received SUBSCRIBE from quellon-watch-viewer"), std::string::npos) << log;
    EXPECT_EQ(log.find("Received PUBLISH from quellon-watch"), std::string::npos) << log;
    RemoteSession wild(platform, g, stationSettings(broker, "viewer"), "+");
    wild.start();
    EXPECT_EQ(wild.statusText(), "MQTT: bad setting: node \"+\" is not a-z A-Z 0-9 _ -");
}
