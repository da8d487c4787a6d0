// The rig's settings, and a protection whose rig cannot be reached. What a
// reachable rig does (frequency, reconnect, PTT off) is tested end to end
// against rigctld in RigEndToEndTest.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "rig/RigProtect.h"
#include "tests/rig/Rigctld.h"

namespace quellon::rig {
namespace {

TEST(RigSettings, BadValuesFallBackToTheirDefaultsAndAreNamedOnce) {
    const std::tuple<const char*, bool, int, int, size_t> cases[] = {
        {"", false, 2, 500, 0},
        {"Enabled=1\nModel=1\nPollMs=250\n", true, 1, 250, 0},
        {"Enabled=yes\nModel=x\nPollMs=10\n", false, 2, 500, 3},
        {"PollMs= 1000 \nSpeed=-5\n", false, 2, 1000, 1},
    };
    const QTemporaryDir dir;
    const std::filesystem::path path = dir.filePath("Quellon.ini").toStdString();
    for (const auto& [ini, enabled, model, pollMs, problems] : cases) {
        std::ofstream(path) << "[Rig]\n" << ini;
        const RigSettings s = readRigSettings(path.string());
        EXPECT_EQ(std::tuple(s.enabled, s.model, s.pollMs, s.problems.size()),
                  std::tuple(enabled, model, pollMs, problems))
            << ini;
    }
}

TEST(RigProtect, AnUnreachableRigIsSaidLoudlyOnceAndJournaled) {
    RigSettings s;
    s.device = "127.0.0.1:" + std::to_string(testing::freeLoopbackPort());
    RigClient c(s);
    c.start();
    const QTemporaryDir dir;
    const std::string journal = dir.filePath("journal.log").toStdString();
    RigProtect p(c, journal);
    alarm::AlarmEvent start;
    start.swr = 3.5;
    start.forwardW = 50;
    p.onAlarm(start, 1'700'000'000'000);
    ASSERT_TRUE(testing::waitUntil([&] { return p.answered() == 1; }, 5000));
    const std::string failure = p.takeFailure();
    EXPECT_NE(
        failure.find(" PTT OFF FAILED: channel A, SWR 3.50, forward 50.0 W, frequency unknown"),
        std::string::npos)
        << failure;
    EXPECT_NE(failure.find("rig not reachable"), std::string::npos) << failure;
    EXPECT_EQ(p.takeFailure(), "") << "told once";
    std::ifstream in(journal);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), failure + "\n");
}

}  // namespace
}  // namespace quellon::rig
