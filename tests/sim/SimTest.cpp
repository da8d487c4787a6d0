// The bridge simulator: the simulated bridge alone, on a clock the test moves by
// hand, and the separate process behind a pseudo-terminal opened with plain termios.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
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

Options fixedOptions(int rate = 100, unsigned faults = 0) {
    return Options{.rate = rate, .sweep = false, .fixed = {600, 120, 620, 130}, .faults = faults};
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

// Waits are upper bounds only: a slow machine makes a test slower, not failed.
class Port {
public:
    explicit Port(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios t{};
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    // Collects bytes until `want` bytes or (want 0) a CR came, or the line drops.
    std::string read(std::size_t want = 0, int timeoutMs = 3000) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while ((want ? got.size() < want : got.find('\r') == std::string::npos) &&
               std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char b[4096];
            const ssize_t n = (p.revents & (POLLHUP | POLLERR)) ? 0 : ::read(fd_, b, sizeof b);
            if (n <= 0 && (hungUp = true)) break;
            got.append(b, static_cast<std::size_t>(n));
        }
        return got;
    }
    std::string ask(const std::string& cmd) {
        EXPECT_EQ(::write(fd_, cmd.data(), cmd.size()), ssize_t(cmd.size()));
        return read();
    }
    bool hungUp = false;

private:
    int fd_;
};

bool gone(const std::string& path) { return !fs::exists(fs::symlink_status(path)); }

}  // namespace

TEST(BridgeSimCommands, IgnoresWhatItCannotReadAndAcknowledgesTheRest) {
    BridgeSim sim(Options{});
    for (const char* c : {":12\r", ":40\r", "16\r", ":1\r", ":x6\r", ":21abc\r", ":21123456\r",
                          ":21\r", ":3712\r", ":37123a\r", "\r"})
        EXPECT_EQ(talk(sim, c), "") << c;
    EXPECT_EQ(sim.params().maxSwrA, 300);
    EXPECT_EQ(sim.takeLines().size(), 10u);  // an empty line is no command
    for (const char* c : {":00", ":06", ":30", ":35", ":2000030", ":2900010", ":11", ":10"})
        EXPECT_EQ(talk(sim, std::string(c) + "\r"), ":ACK\r") << c;
    // An overlong line is cut and the next command still works.
    sim.takeLines();
    sim.receive(std::string(5000, 'x'), 0);
    EXPECT_EQ(talk(sim, "\r:17\r"), ":1414\r");
    const auto lines = sim.takeLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), kMaxLine);
    EXPECT_EQ(printable(std::string("\n:1\x01\xff\\", 6)), "\\x0A:1\\x01\\xFF\\x5C");
}

TEST(BridgeSimStream, LivePatternMovesEveryCountOnEveryFrame) {
    // pattern, seed, repeats allowed: the slow sweep sits still between most
    // frames at the line's full rate, the live pattern never does.
    struct Row {
        const char* name;
        bool live;
        uint32_t seed;
        bool stillMostly;
    };
    for (const Row& r : {Row{"sweep", false, 1, true}, Row{"live", true, 1, false},
                         Row{"live seed 7", true, 7, false}}) {
        BridgeSim sim(patternOptions(kMaxRate, r.live, r.seed));
        std::string bytes = talk(sim, ":11\r");
        // 40 s of stream, polled every 5 ms: the whole sweep range with noise on it.
        for (Nanos t = 5 * kMs; t <= 40 * kSecond; t += 5 * kMs) bytes += talk(sim, "", t);
        const Movement m = movement(bytes);
        EXPECT_GT(m.frames, 40 * kMaxRate - 10) << r.name;
        EXPECT_TRUE(m.ordered) << r.name;
        if (r.stillMostly) EXPECT_GT(m.repeats, m.frames / 2) << r.name;
        else EXPECT_EQ(m.repeats, 0) << r.name;
    }
    // The same seed gives the same stream; a live stream is not the sweep.
    auto first = [](Options o) {
        BridgeSim sim(o);
        std::string s = talk(sim, ":11\r");
        return s + talk(sim, "", 100 * kMs);
    };
    EXPECT_EQ(first(patternOptions(200, true, 3)), first(patternOptions(200, true, 3)));
    EXPECT_NE(first(patternOptions(200, true, 3)), first(patternOptions(200, true, 4)));
    EXPECT_NE(first(patternOptions(200, true, 1)), first(patternOptions(200, false, 1)));
}

TEST(BridgeSimStream, StallSkipsFramesAndNeverBursts) {
    BridgeSim sim(fixedOptions(100));
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

TEST(BridgeSimFaults, NoAckLateAckOldShortSlowAndSilence) {
    BridgeSim noAck(fixedOptions(100, FaultNoAck));
    EXPECT_EQ(talk(noAck, ":11\r"), "");  // obeyed without an acknowledgement
    EXPECT_EQ(frames(noAck, 10 * kMs).size(), 1u);
    BridgeSim late(fixedOptions(100, FaultLateAck));
    late.receive(":11\r:17\r", 0);
    EXPECT_TRUE(late.poll(kLateAckDelay - 1).empty());
    EXPECT_FALSE(late.streaming());  // the stream starts once acknowledged
    EXPECT_EQ(talk(late, "", kLateAckDelay), ":ACK\r:1414\r");  // the reply waits its turn

    BridgeSim slow(fixedOptions(100, FaultSlow));
    slow.receive(":16\r", kSecond);
    EXPECT_TRUE(slow.poll(kSecond + kSlowDelay - 1).empty());
    EXPECT_EQ(talk(slow, "", kSecond + kSlowDelay).substr(0, 6), ":wexlo");

    // A bridge too old, and one whose identification is cut short.
    BridgeSim old(fixedOptions(100, FaultOldFw)), cut(fixedOptions(100, FaultShortId));
    EXPECT_EQ(talk(old, ":16\r").substr(0, 11), ":wexlo,1.07");
    EXPECT_EQ(talk(cut, ":16\r").size(), kShortIdLength + 1);  // and its CR

    BridgeSim mute(fixedOptions());
    talk(mute, ":11\r", 0);
    mute.setFaults(FaultSilence);
    EXPECT_EQ(talk(mute, ":16\r", kSecond), "");  // no frames, no reply
    EXPECT_EQ(mute.linesReceived(), 2u);          // still heard and recorded
}

TEST(SimPort, HangupFaultDropsTheLineMidStreamAndExits) {
    SimProcess sim({"--fault", "hangup", "--rate", "500", "--counts", "300,30,310,31"});
    Port port(sim.linkPath());
    std::string got = port.ask(":11\r");
    got += port.read(1 << 20);  // ends when the line drops
    EXPECT_TRUE(port.hungUp);
    EXPECT_EQ(got.substr(0, 5), ":ACK\r");
    // However late the simulator's poll, nothing goes out behind the 50th frame.
    EXPECT_EQ(sim.stop().value().sent, 50u);
    EXPECT_TRUE(gone(sim.linkPath()));
}

TEST(SimPort, TerminationBySignalRemovesTheLink) {
    SimProcess sim({});
    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    for (int i = 0; i < 300 && sim.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(gone(sim.linkPath()));
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
