// The bridge simulator alone, on a clock the test moves by hand: what the program's
// end-to-end tests do not reach (bad lines, patterns, a host that stops reading,
// the process's options).

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

Options patternOptions(int rate, bool live, uint32_t seed) {
    Options o;
    o.rate = rate, o.live = live, o.seed = seed;
    return o;
}

std::vector<std::string> frames(BridgeSim& sim, Nanos now, bool room = true) {
    std::vector<std::string> f;
    for (const auto& s : sim.poll(now, room))
        if (s.frame) f.push_back(s.bytes);
    return f;
}

// Over the frames that follow the ACK: how many repeat their channel's previous
// counts (any of the four), and whether every one is whole, keeps nRev at or below
// nDir and each peak at or above its count.
struct Movement {
    int frames = 0, repeats = 0;
    bool ordered = true;
};
Movement movement(const std::string& bytes) {
    Movement m;
    std::array<std::array<int, 4>, 2> last{};
    for (std::size_t at = 5; at + kFrameSize <= bytes.size(); at += kFrameSize, ++m.frames) {
        const char ch = bytes[at + 1];
        std::array<int, 4> v;
        for (std::size_t i = 0; i < 4; ++i)
            v[i] = static_cast<unsigned char>(bytes[at + 2 + 2 * i]) |
                   static_cast<unsigned char>(bytes[at + 3 + 2 * i]) << 8;
        std::array<int, 4>& prev = last[ch == 'A' ? 0 : 1];  // channels alternate
        if (m.frames > 1 &&
            (v[0] == prev[0] || v[1] == prev[1] || v[2] == prev[2] || v[3] == prev[3]))
            ++m.repeats;
        m.ordered = m.ordered && bytes[at] == ':' && (ch == 'A' || ch == 'B') &&
                    bytes[at + 19] == '\r' && v[1] <= v[0] && v[2] >= v[0] && v[3] >= v[1] &&
                    v[2] <= 1023;
        prev = v;
    }
    return m;
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

// At the line's full rate the slow sweep sits still between most frames, the live
// pattern never does; a seed gives its stream again.
TEST(BridgeSimStream, LivePatternMovesEveryCountOnEveryFrame) {
    for (const bool live : {false, true}) {
        BridgeSim sim(patternOptions(kMaxRate, live, 7));
        std::string bytes = talk(sim, ":11\r");
        // 40 s of stream, polled every 5 ms: the whole sweep range with noise on it.
        for (Nanos t = 5 * kMs; t <= 40 * kSecond; t += 5 * kMs) bytes += talk(sim, "", t);
        const Movement m = movement(bytes);
        EXPECT_GT(m.frames, 40 * kMaxRate - 10) << live;
        EXPECT_TRUE(m.ordered) << live;
        EXPECT_EQ(m.repeats > m.frames / 2, !live) << live;
        EXPECT_EQ(m.repeats == 0, live) << live;
    }
    auto first = [](uint32_t seed) {
        BridgeSim sim(patternOptions(200, true, seed));
        const std::string ack = talk(sim, ":11\r");
        return ack + talk(sim, "", 100 * kMs);
    };
    EXPECT_EQ(first(3), first(3));
    EXPECT_NE(first(3), first(4));
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
