// Protection against a real rigctld with the dummy rig: the alarm monitor fed
// with high-SWR frames at the stream's rate, the rig keyed, PTT read back.

#include "rig/RigProtect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/rig/Rigctld.h"

namespace quellon::rig {
namespace {

using testing::Rigctld;
using testing::waitFor;

struct Fixture {
    std::filesystem::path journal = std::filesystem::temp_directory_path() /
                                    ("quellon-rig-journal-" + std::to_string(::getpid()) + ".log");
    ~Fixture() { std::filesystem::remove(journal); }
    std::string journalText() const {
        std::ifstream f(journal);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

ModGlobal stateWithThreshold() {
    ModGlobal g;
    g.params.MaxSwrA = 200;  // 2.0
    g.params.MaxSwrB = 200;
    return g;
}

ChannelReading highSwr() {
    ChannelReading r;
    r.channel = "A";
    r.pwrDir = r.pwrDirMax = 500;  // 50 W
    r.pwrRef = r.pwrRefMax = 100;
    r.swrKind = SwrKind::Value;
    r.swrValue = 3.0f;
    return r;
}

// Frames every 2 ms (the stream's 576/s for two channels) until the rig
// answers; returns the milliseconds from the first frame to the answer.
int64_t streamUntilAnswered(alarm::AlarmMonitor& m, RigProtect& p, const ModGlobal& g) {
    const ChannelReading r = highSwr();
    const auto first = std::chrono::steady_clock::now();
    while (p.answered() == 0 &&
           std::chrono::steady_clock::now() - first < std::chrono::seconds(5)) {
        m.onReading(ReadingEvent{r, g, 0});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 first)
        .count();
}

TEST(RigProtect, UnkeysTheRigWithinTheHoldTimeAndJournalsIt) {
    Rigctld d;
    ASSERT_TRUE(d.start());
    d.rigctl("F 14074000 M USB 2400 T 1");
    ASSERT_EQ(d.rigctl("t"), "1\n");
    RigSettings s;
    s.device = d.address();
    RigClient c(s);
    c.start();
    ASSERT_TRUE(waitFor([&] { return c.tag().hz == 14074000; }, 5000));
    Fixture f;
    RigProtect p(c, f.journal.string());
    const alarm::AlarmConfig cfg{300, 1.0};
    alarm::AlarmMonitor m(cfg);
    m.subscribe(&p);
    const ModGlobal g = stateWithThreshold();
    const int64_t ms = streamUntilAnswered(m, p, g);
    std::printf("PTT off %lld ms after the first high frame (hold %lld ms)\n",
                static_cast<long long>(ms), static_cast<long long>(cfg.holdMs));
    // The figure against its target (hold + 300 ms) is the benchmark's; a
    // loaded machine must not fail this test.
    EXPECT_LT(ms, 5000);
    EXPECT_EQ(d.rigctl("t"), "0\n");
    const std::string line = p.lastEvent();
    EXPECT_NE(line.find("PTT off: channel A, SWR 3.00, forward 50.0 W, 14.074000 MHz USB"),
              std::string::npos)
        << line;
    EXPECT_EQ(f.journalText(), line + "\n");
    EXPECT_EQ(p.takeFailure(), "");
}

TEST(RigProtect, AnUnreachableRigIsSaidLoudlyOnce) {
    RigSettings s;
    s.device = "127.0.0.1:" + std::to_string(testing::freeLoopbackPort());
    RigClient c(s);
    c.start();
    Fixture f;
    RigProtect p(c, f.journal.string());
    alarm::AlarmMonitor m(alarm::AlarmConfig{100, 1.0});
    m.subscribe(&p);
    const ModGlobal g = stateWithThreshold();
    streamUntilAnswered(m, p, g);
    const std::string failure = p.takeFailure();
    EXPECT_NE(failure.find("PTT OFF FAILED: channel A"), std::string::npos) << failure;
    EXPECT_NE(failure.find("rig not reachable"), std::string::npos) << failure;
    EXPECT_EQ(p.takeFailure(), "") << "told once";
    EXPECT_EQ(f.journalText(), failure + "\n");
}

}  // namespace
}  // namespace quellon::rig
