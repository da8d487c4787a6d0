// The bridge simulator alone, on a clock the test moves by hand: what the program's
// end-to-end tests do not reach (bad lines, a host that stops reading, the
// process's options).

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/BridgeSim.h"
#include "sim/SimProcess.h"

using namespace quellon::sim;
using quellon::SimProcess;
namespace fs = std::filesystem;

namespace {

// Sends `cmd` at `now` and returns what is due at once.
std::string talk(BridgeSim& sim, const std::string& cmd, Nanos now = 0) {
    sim.receive(cmd, now);
    std::string s;
    for (const auto& g : sim.poll(now)) s += g.bytes;
    return s;
}

Options fixedOptions() {
    return Options{.rate = 100, .sweep = false, .fixed = {600, 120, 620, 130}};
}

std::vector<std::string> frames(BridgeSim& sim, Nanos now, bool room = true) {
    std::vector<std::string> f;
    for (const auto& s : sim.poll(now, room))
        if (s.frame) f.push_back(s.bytes);
    return f;
}

}  // namespace

TEST(BridgeSimCommands, IgnoresWhatItCannotReadAndAcknowledgesTheRest) {
    BridgeSim sim(Options{});
    for (const char* c : {":12\r", ":40\r", "16\r", ":1\r", ":x6\r", ":21abc\r", ":21123456\r",
                          ":21\r", ":3712\r", ":37123a\r", "\r"})
        EXPECT_EQ(talk(sim, c), "") << c;
    EXPECT_EQ(sim.params().maxSwrA, 300);
    EXPECT_EQ(sim.takeLines().size(), 10u);  // an empty line is no command
    // An overlong line is cut and the next command still works.
    sim.takeLines();
    sim.receive(std::string(5000, 'x'), 0);
    EXPECT_EQ(talk(sim, "\r:17\r"), ":1414\r");
    const auto lines = sim.takeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), kMaxLine);
    EXPECT_EQ(printable(std::string("\n:1\x01\xff\\", 6)), "\\x0A:1\\x01\\xFF\\x5C");
}

TEST(BridgeSimStream, StallSkipsFramesAndNeverBursts) {
    BridgeSim sim(fixedOptions());
    talk(sim, ":11\r", 0);
    EXPECT_EQ(frames(sim, 995 * kMs).size(), 99u);
    // A host that does not read: due frames are skipped, not queued up.
    EXPECT_TRUE(frames(sim, 1095 * kMs, false).empty());
    EXPECT_EQ(frames(sim, 1195 * kMs).size(), 10u);
    // After a long stop the stream goes on from now instead of bursting.
    EXPECT_LE(frames(sim, 60 * kSecond).size(), 1u);
    EXPECT_EQ(frames(sim, 60 * kSecond + 95 * kMs).size(), 9u);
    EXPECT_EQ(talk(sim, ":10\r", 60 * kSecond + 95 * kMs), ":ACK\r");  // stop: nothing more
    EXPECT_TRUE(sim.poll(100 * kSecond).empty());
}

TEST(SimPort, RefusesToReplaceARealFileAndBadOptions) {
    char dir[] = "/tmp/quellon-simtest-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/port";
    std::ofstream(file) << "data";
    EXPECT_THROW(SimProcess({"--link", file}), std::runtime_error);
    EXPECT_EQ(fs::file_size(file), 4u);
    fs::remove_all(dir);
    for (std::vector<std::string> args : {std::vector<std::string>{"--rate", "0"},
                                          {"--fault", "flaky"},
                                          {"--counts", "1,2,3,2000"},
                                          {"--pattern", "noise"},
                                          {"--frames"}})
        EXPECT_THROW(SimProcess{args}, std::runtime_error) << args[0];
}
