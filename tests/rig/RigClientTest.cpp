// The rig client against a real rigctld with Hamlib's dummy rig.

#include "rig/RigClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/rig/Rigctld.h"

namespace quellon::rig {
namespace {

using testing::Rigctld;
using testing::waitFor;

RigSettings settingsFor(const Rigctld& d, int pollMs = 100) {
    RigSettings s;
    s.enabled = true;
    s.model = 2;
    s.device = d.address();
    s.pollMs = pollMs;
    return s;
}

TEST(RigClient, FollowsTheRigsFrequencyAndMode) {
    Rigctld d;
    ASSERT_TRUE(d.start());
    RigClient c(settingsFor(d));
    c.start();
    ASSERT_TRUE(waitFor([&] { return c.status().connected; }, 5000)) << c.statusText();
    d.rigctl("F 14074000 M USB 2400");
    ASSERT_TRUE(waitFor([&] { return c.tag().hz == 14074000; }, 3000)) << c.statusText();
    EXPECT_EQ(c.tag().mode, "USB");
    EXPECT_EQ(c.statusText(), "Rig: NET rigctl (2), 14.074000 MHz USB");
    d.rigctl("F 7030500 M CW 500");
    ASSERT_TRUE(waitFor([&] { return c.tag().hz == 7030500; }, 3000));
    EXPECT_EQ(c.tag().mode, "CW");
}

TEST(RigClient, RetriesALostRigAndReconnects) {
    Rigctld d;
    ASSERT_TRUE(d.start());
    RigClient c(settingsFor(d));
    c.start();
    ASSERT_TRUE(waitFor([&] { return c.status().connected; }, 5000));
    d.kill();
    ASSERT_TRUE(waitFor([&] { return !c.status().connected; }, 3000));
    EXPECT_FALSE(c.tag().known()) << "no stale frequency while the rig is away";
    EXPECT_NE(c.statusText().find("rig not answering; retrying"), std::string::npos)
        << c.statusText();
    Rigctld again(d.port());
    ASSERT_TRUE(again.start());
    again.rigctl("F 21200000");
    // Back-off: 1 s, 2 s, ... - the reconnect comes within the next step.
    ASSERT_TRUE(waitFor([&] { return c.status().connected && c.tag().hz == 21200000; }, 10000))
        << c.statusText();
    EXPECT_GE(c.status().opens, 2u);
}

TEST(RigClient, SetsPttOffAndReadsItBack) {
    Rigctld d;
    ASSERT_TRUE(d.start());
    d.rigctl("T 1");
    ASSERT_EQ(d.rigctl("t"), "1\n");
    RigClient c(settingsFor(d, 500));
    c.start();
    ASSERT_TRUE(waitFor([&] { return c.status().connected; }, 5000));
    std::atomic<bool> done{false};
    PttResult got;
    c.requestPttOff([&](const PttResult& r) {
        got = r;
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 3000));
    EXPECT_TRUE(got.ok) << got.error;
    EXPECT_LT(got.elapsedMs, 300);
    EXPECT_EQ(d.rigctl("t"), "0\n");
}

TEST(RigClient, SaysLoudlyWhenPttCannotBeReached) {
    RigSettings s;
    s.enabled = true;
    s.device = "127.0.0.1:" + std::to_string(testing::freeLoopbackPort());
    RigClient c(s);
    c.start();
    std::atomic<bool> done{false};
    PttResult got;
    c.requestPttOff([&](const PttResult& r) {
        got = r;
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, 5000));
    EXPECT_FALSE(got.ok);
    EXPECT_NE(got.error.find("rig not reachable"), std::string::npos) << got.error;
}

struct SettingsCase {
    const char* ini;
    bool enabled;
    int model, pollMs, problems;
};

TEST(RigSettings, BadValuesFallBackToTheirDefaultsAndAreNamedOnce) {
    const SettingsCase cases[] = {
        {"", false, 2, 500, 0},
        {"Enabled=1\nModel=1\nPollMs=250\n", true, 1, 250, 0},
        {"Enabled=yes\nModel=x\nPollMs=10\n", false, 2, 500, 3},
        {"PollMs= 1000 \nSpeed=-5\n", false, 2, 1000, 1},
    };
    const auto path = std::filesystem::temp_directory_path() / "quellon-rig-settings.ini";
    for (const auto& c : cases) {
        std::ofstream(path) << "[Rig]\n" << c.ini;
        const RigSettings s = readRigSettings(path.string());
        EXPECT_EQ(s.enabled, c.enabled) << c.ini;
        EXPECT_EQ(s.model, c.model) << c.ini;
        EXPECT_EQ(s.pollMs, c.pollMs) << c.ini;
        EXPECT_EQ(static_cast<int>(s.problems.size()), c.problems) << c.ini;
        // The defaults were written back: a second read finds nothing wrong
        // but the values it was given.
        EXPECT_EQ(readRigSettings(path.string()).problems.size(), s.problems.size());
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace quellon::rig
