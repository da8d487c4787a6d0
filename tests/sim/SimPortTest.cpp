// The simulator as the program meets it: a separate process behind a serial port
// opened with plain termios.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FrameOf.h"
#include "sim/SimProcess.h"

using quellon::SimProcess;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

namespace {

// Waits are upper bounds only: a test never fails because the machine is slow
// unless the simulator stays silent for several seconds.
constexpr int kWaitMs = 3000;

class Port {
public:
    explicit Port(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios t{};
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }

    // Commands are a few bytes: the pty takes them in one write.
    void write(const std::string& s) {
        ASSERT_EQ(::write(fd_, s.data(), s.size()), ssize_t(s.size()));
    }
    // Collects bytes until `enough` holds, the line drops or the wait ends.
    std::string readUntil(const std::function<bool(const std::string&)>& enough,
                          int timeoutMs = kWaitMs) {
        std::string got;
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (!enough(got) && Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            char b[4096];
            const ssize_t n = (p.revents & (POLLHUP | POLLERR)) ? 0 : read(fd_, b, sizeof b);
            if (n <= 0) {
                hungUp = true;
                break;
            }
            got.append(b, static_cast<std::size_t>(n));
        }
        return got;
    }
    std::string readBytes(std::size_t n) {
        return readUntil([n](const std::string& b) { return b.size() >= n; });
    }
    // Everything that arrives within `ms`; used to show that nothing more comes.
    std::string readFor(int ms) {
        return readUntil([](const std::string&) { return false; }, ms);
    }
    std::string ask(const std::string& cmd) {
        write(cmd);
        return readUntil([](const std::string& b) { return b.find('\r') != std::string::npos; });
    }
    bool hungUp = false;

private:
    int fd_;
};

// A received stream as ":ACK\r" and 20-byte frames; clean is false on anything else.
struct Parsed {
    std::vector<std::string> frames;
    std::vector<std::size_t> ackAfterFrames;  // number of frames before each ACK
    bool clean = true;
};
Parsed parseStream(const std::string& s) {
    Parsed p;
    for (std::size_t i = 0; i < s.size();) {
        if (s.compare(i, 5, ":ACK\r") == 0) {
            p.ackAfterFrames.push_back(p.frames.size());
            i += 5;
        } else if (i + 20 <= s.size() && s[i] == ':' && s[i + 19] == '\r') {
            p.frames.push_back(s.substr(i, 20));
            i += 20;
        } else {
            p.clean = false;
            break;
        }
    }
    return p;
}

bool gone(const std::string& path) { return !fs::exists(fs::symlink_status(path)); }

}  // namespace

TEST(SimPort, PublishesItsPortAnswersAndCleansUp) {
    SimProcess sim({});
    EXPECT_EQ(fs::read_symlink(sim.linkPath()).string(), sim.slavePath());
    Port port(sim.linkPath());
    EXPECT_EQ(port.ask(":01\r"), ":ACK\r");
    EXPECT_EQ(port.ask(":16\r"),
              ":wexlo,1.10,00025,00032,00128,00300,00300,00750,00900,00750,"
              "00900,00032,00000,00000,00000\r");
    port.write(":99\r");  // not a command of the bridge: no answer at all
    EXPECT_EQ(port.readFor(200), "");
    // Control lines; each has been handled once the answer to "stats" is back.
    ASSERT_TRUE(sim.send("fault oldfw") && sim.readStats());
    EXPECT_EQ(port.ask(":16\r").substr(7, 4), "1.07");
    ASSERT_TRUE(sim.send("fault silence") && sim.readStats());
    port.write(":17\r");
    EXPECT_EQ(port.readFor(200), "");
    ASSERT_TRUE(sim.send("fault none") && sim.readStats());
    EXPECT_EQ(port.ask(":17\r"), ":1414\r");
    // Heard and recorded even when not answered.
    EXPECT_EQ(sim.recordedCommands(),
              (std::vector<std::string>{":01", ":16", ":99", ":16", ":17", ":17"}));

    const auto stats = sim.stop();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, 0u);
    EXPECT_EQ(stats->cmds, 6u);
    EXPECT_TRUE(gone(sim.linkPath()));
}

TEST(SimPort, StreamsTheRequestedFramesAndCountsThem) {
    SimProcess sim({"--rate", "500", "--frames", "30", "--counts", "700,100,710,105"});
    Port port(sim.linkPath());
    port.write(":11\r");
    const Parsed p = parseStream(port.readBytes(5 + 30 * 20));
    ASSERT_TRUE(p.clean);
    EXPECT_EQ(p.ackAfterFrames, std::vector<std::size_t>{0});  // ACK before the first frame
    ASSERT_EQ(p.frames.size(), 30u);
    for (std::size_t i = 0; i < p.frames.size(); ++i)
        EXPECT_EQ(p.frames[i], frameOf(i % 2 ? 'B' : 'A', 700, 100, 710, 105)) << i;
    EXPECT_EQ(port.readFor(100), "");  // the limit holds
    const auto stats = sim.stop();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, 30u);
    EXPECT_EQ(stats->cmds, 1u);
}

TEST(SimPort, StopEndsTheStreamAfterItsAcknowledgement) {
    SimProcess sim({"--rate", "200"});
    Port port(sim.linkPath());
    port.write(":11\r");
    std::string got = port.readBytes(5 + 10 * 20);
    port.write(":10\r");
    got += port.readUntil(
        [&got](const std::string& b) { return (got + b).find(":ACK\r", 5) != std::string::npos; });
    // Whatever was still on its way before the ACK is whole frames; after it, nothing.
    got += port.readFor(250);
    const Parsed p = parseStream(got);
    ASSERT_TRUE(p.clean);
    ASSERT_EQ(p.ackAfterFrames.size(), 2u);
    EXPECT_EQ(p.ackAfterFrames[1], p.frames.size());
    for (std::size_t i = 0; i < p.frames.size(); ++i)
        EXPECT_EQ(p.frames[i][1], i % 2 == 0 ? 'A' : 'B');
    const auto stats = sim.readStats();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, p.frames.size());
}

TEST(SimPort, FaultsFromTheCommandLine) {
    {
        SimProcess sim({"--fault", "noack", "--rate", "200"});
        Port port(sim.linkPath());
        port.write(":00\r");
        EXPECT_EQ(port.readFor(200), "");
        port.write(":11\r");  // obeyed all the same
        const Parsed p = parseStream(port.readBytes(40).substr(0, 40));
        EXPECT_TRUE(p.clean && p.ackAfterFrames.empty());
        EXPECT_EQ(p.frames.size(), 2u);
    }
    {
        SimProcess sim({"--fault", "oldfw,shortid"});
        Port port(sim.linkPath());
        EXPECT_EQ(port.ask(":16\r"), ":wexlo,1.07,00025,00032,00128,00300,0030\r");
    }
    {
        SimProcess sim({"--fault", "lateack"});
        Port port(sim.linkPath());
        const auto sentAt = Clock::now();
        EXPECT_EQ(port.ask(":03\r"), ":ACK\r");
        EXPECT_GE(Clock::now() - sentAt, milliseconds(250));
    }
}

TEST(SimPort, HangupAndReopen) {
    SimProcess sim({"--reopen"});
    {
        Port port(sim.linkPath());
        ASSERT_TRUE(sim.send("hangup"));
        port.readFor(kWaitMs);  // returns as soon as the line drops
        EXPECT_TRUE(port.hungUp);
    }
    ASSERT_TRUE(sim.waitReady());
    EXPECT_EQ(fs::read_symlink(sim.linkPath()).string(), sim.slavePath());
    Port port(sim.linkPath());
    EXPECT_EQ(port.ask(":17\r"), ":1414\r");
}

TEST(SimPort, HangupFaultDropsTheLineMidStreamAndExits) {
    SimProcess sim({"--fault", "hangup", "--rate", "500", "--counts", "300,30,310,31"});
    Port port(sim.linkPath());
    port.write(":11\r");
    const Parsed p = parseStream(port.readFor(kWaitMs));  // ends when the line drops
    EXPECT_TRUE(port.hungUp);
    EXPECT_TRUE(p.clean);
    // Frames still in the line when it drops are lost, as on a real cable; a
    // reader slowed down by a busy machine may see none at all.
    EXPECT_LE(p.frames.size(), 50u);
    const auto stats = sim.stop();
    ASSERT_TRUE(stats);
    // The drop comes after the 50th frame; a frame that fell due in the same
    // poll on a busy machine may still go out before it.
    EXPECT_GE(stats->sent, 50u);
    EXPECT_LE(stats->sent, 52u);
    EXPECT_TRUE(gone(sim.linkPath()));
}

TEST(SimPort, TerminationBySignalRemovesTheLink) {
    SimProcess sim({});
    ASSERT_FALSE(gone(sim.linkPath()));
    ASSERT_EQ(kill(sim.pid(), SIGTERM), 0);
    for (int i = 0; i < 300 && sim.running(); ++i) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(gone(sim.linkPath()));
}

TEST(SimPort, RefusesToReplaceARealFile) {
    char dir[] = "/tmp/quellon-simtest-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/port";
    std::ofstream(file) << "data";
    EXPECT_THROW(SimProcess({"--link", file}), std::runtime_error);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
    EXPECT_EQ(fs::file_size(file), 4u);
    fs::remove_all(dir);
}

TEST(SimPort, BadOptionsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--rate", "0"},
                                          {"--fault", "flaky"},
                                          {"--counts", "1,2,3"},
                                          {"--counts", "1,2,3,2000"},
                                          {"--pattern", "zigzag"},
                                          {"--frames"},
                                          {"--bogus", "1"}})
        EXPECT_THROW(SimProcess{args}, std::runtime_error) << args[0];
}
