// The simulator as the program meets it: a separate process behind a serial port
// opened with plain termios.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimProcess.h"

using quellon::SimProcess;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// Waits are upper bounds only: a test never fails because the machine is slow
// unless the simulator stays silent for several seconds.
constexpr int kWaitMs = 3000;

class Port {
public:
    explicit Port(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    void write(const std::string& s) {
        std::size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::write(fd_, s.data() + done, s.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else if (errno != EAGAIN && errno != EINTR) return;
        }
    }

    // Collects bytes until `enough` says so or the wait ends; the whole collection
    // is returned either way.
    std::string readUntil(const std::function<bool(const std::string&)>& enough,
                          int timeoutMs = kWaitMs) {
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (!enough(buf_)) {
            const auto left =
                std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                break;
            }
            char b[4096];
            const ssize_t n = read(fd_, b, sizeof b);
            if (n <= 0) {
                hungUp_ = true;
                break;
            }
            buf_.append(b, static_cast<std::size_t>(n));
        }
        return std::exchange(buf_, {});
    }
    std::string readBytes(std::size_t n, int timeoutMs = kWaitMs) {
        return readUntil([n](const std::string& b) { return b.size() >= n; }, timeoutMs);
    }
    std::string readLine(int timeoutMs = kWaitMs) {
        return readUntil([](const std::string& b) { return b.find('\r') != std::string::npos; },
                         timeoutMs);
    }
    // Everything that arrives within `ms`; used to show that nothing more comes.
    std::string readFor(int ms) {
        return readUntil([](const std::string&) { return false; }, ms);
    }
    bool hungUp() const { return hungUp_; }

    // Command and its answer line.
    std::string ask(const std::string& cmd) {
        write(cmd);
        return readLine();
    }

private:
    int fd_ = -1;
    std::string buf_;
    bool hungUp_ = false;
};

int le16(const std::string& f, std::size_t at) {
    return static_cast<unsigned char>(f[at]) | (static_cast<unsigned char>(f[at + 1]) << 8);
}

// Splits a received stream into ":ACK\r" and 20-byte frames; false on anything else.
struct Parsed {
    std::vector<std::string> frames;
    std::vector<std::size_t> ackAfterFrames;  // number of frames before each ACK
    bool clean = true;
};
Parsed parseStream(const std::string& s) {
    Parsed p;
    std::size_t i = 0;
    while (i < s.size()) {
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

}  // namespace

TEST(SimPort, PublishesItsPortAndAnswersCommands) {
    SimProcess sim({});
    char target[256] = {};
    ASSERT_GT(readlink(sim.linkPath().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.slavePath(), target);
    Port port(sim.linkPath());
    ASSERT_TRUE(port.ok());

    EXPECT_EQ(port.ask(":01\r"), ":ACK\r");
    const std::string id = port.ask(":16\r");
    ASSERT_EQ(id.size(), 90u);
    EXPECT_EQ(id.substr(0, 12), ":wexlo,1.10,");
    EXPECT_EQ(id.substr(12, 17), "00025,00032,00128");
    EXPECT_EQ(port.ask(":17\r"), ":1414\r");

    EXPECT_EQ(port.ask(":370347\r"), ":ACK\r");
    EXPECT_EQ(port.ask(":17\r"), ":0347\r");
    EXPECT_EQ(port.ask(":2100250\r"), ":ACK\r");
    EXPECT_EQ(port.ask(":16\r").substr(30, 5), "00250");
    // Not a command of the bridge: no answer at all.
    port.write(":99\r");
    EXPECT_EQ(port.readFor(200), "");

    const auto stats = sim.readStats();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, 0u);
    EXPECT_EQ(stats->cmds, 8u);
    EXPECT_EQ(sim.recordedCommands(), (std::vector<std::string>{":01", ":16", ":17", ":370347",
                                                                ":17", ":2100250", ":16", ":99"}));
}

TEST(SimPort, StreamsTheRequestedFramesAndCountsThem) {
    SimProcess sim({"--rate", "500", "--frames", "30", "--counts", "700,100,710,105"});
    Port port(sim.linkPath());
    ASSERT_TRUE(port.ok());
    port.write(":11\r");
    const Parsed p = parseStream(port.readBytes(5 + 30 * 20));
    ASSERT_TRUE(p.clean);
    ASSERT_EQ(p.ackAfterFrames,
              std::vector<std::size_t>{0});  // acknowledged before the first frame
    ASSERT_EQ(p.frames.size(), 30u);
    for (std::size_t i = 0; i < p.frames.size(); ++i) {
        const std::string& f = p.frames[i];
        EXPECT_EQ(f[1], i % 2 == 0 ? 'A' : 'B');
        EXPECT_EQ(le16(f, 2), 700);
        EXPECT_EQ(le16(f, 4), 100);
        EXPECT_EQ(le16(f, 6), 710);
        EXPECT_EQ(le16(f, 8), 105);
        EXPECT_EQ(le16(f, 10), 710 * 710 * 20 / 20736);
        EXPECT_EQ(le16(f, 12), 105 * 105 * 20 / 20736);
        EXPECT_EQ(f[18], 0);
    }
    EXPECT_EQ(port.readFor(100), "");  // the limit holds
    const auto stats = sim.stop();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, 30u);
    EXPECT_EQ(stats->cmds, 1u);
}

TEST(SimPort, StopEndsTheStreamAfterItsAcknowledgement) {
    SimProcess sim({"--rate", "200"});
    Port port(sim.linkPath());
    ASSERT_TRUE(port.ok());
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
        EXPECT_TRUE(p.clean);
        EXPECT_TRUE(p.ackAfterFrames.empty());
        EXPECT_GE(p.frames.size(), 2u);
    }
    {
        SimProcess sim({"--fault", "oldfw,shortid"});
        Port port(sim.linkPath());
        const std::string id = port.ask(":16\r");
        EXPECT_EQ(id, std::string(":wexlo,1.07,00025,00032,00128,00300,0030") + "\r");
    }
    {
        SimProcess sim({"--fault", "truncated", "--rate", "576", "--frames", "80", "--counts",
                        "500,50,510,55"});
        Port port(sim.linkPath());
        port.write(":11\r");
        // Two of the 80 frames (slots 36 and 73) are cut short.
        std::string got =
            port.readUntil([](const std::string& b) { return b.size() >= 5 + 78 * 20 + 8; });
        got += port.readFor(100);
        EXPECT_GT(got.size(), 5u + 78 * 20);
        EXPECT_LT(got.size(), 5u + 80 * 20);
        std::size_t frameStarts = 0;
        for (std::size_t i = 5; i < got.size(); ++i)
            frameStarts += got.compare(i, 2, ":A") == 0 || got.compare(i, 2, ":B") == 0;
        EXPECT_EQ(frameStarts, 80u);
    }
}

TEST(SimPort, LateAckComesAfterAQuarterSecond) {
    SimProcess sim({"--fault", "lateack"});
    Port port(sim.linkPath());
    const auto sentAt = Clock::now();
    port.write(":03\r");
    EXPECT_EQ(port.readLine(), ":ACK\r");
    EXPECT_GE(Clock::now() - sentAt, milliseconds(250));
}

TEST(SimPort, ControlLinesChangeFaultsAtRunTime) {
    SimProcess sim({});
    Port port(sim.linkPath());
    ASSERT_TRUE(sim.send("fault oldfw"));
    ASSERT_TRUE(sim.readStats());  // the fault line has been handled once the answer is back
    EXPECT_EQ(port.ask(":16\r").substr(7, 4), "1.07");
    ASSERT_TRUE(sim.send("fault silence"));
    ASSERT_TRUE(sim.readStats());
    port.write(":17\r");
    EXPECT_EQ(port.readFor(200), "");
    ASSERT_TRUE(sim.send("fault none"));
    ASSERT_TRUE(sim.readStats());
    EXPECT_EQ(port.ask(":16\r").substr(7, 4), "1.10");
    // Heard even while silent.
    EXPECT_EQ(sim.recordedCommands(), (std::vector<std::string>{":16", ":17", ":16"}));
}

TEST(SimPort, HangupAndReopen) {
    SimProcess sim({"--reopen"});
    {
        Port port(sim.linkPath());
        ASSERT_TRUE(port.ok());
        ASSERT_TRUE(sim.send("hangup"));
        port.readFor(kWaitMs);  // returns as soon as the line drops
        EXPECT_TRUE(port.hungUp());
    }
    ASSERT_TRUE(sim.waitReady());
    char target[256] = {};
    ASSERT_GT(readlink(sim.linkPath().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.slavePath(), target);
    Port port(sim.linkPath());
    EXPECT_EQ(port.ask(":17\r"), ":1414\r");
}

TEST(SimPort, TerminationRemovesTheLinkAndReportsStats) {
    SimProcess sim({});
    const std::string link = sim.linkPath();
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    const auto stats = sim.stop();
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->sent, 0u);
    EXPECT_NE(lstat(link.c_str(), &st), 0);

    SimProcess other({});
    ASSERT_EQ(kill(other.pid(), SIGTERM), 0);
    for (int i = 0; i < 300 && other.running(); ++i) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(other.running());
    EXPECT_NE(lstat(other.linkPath().c_str(), &st), 0);
}

TEST(SimPort, RefusesToReplaceARealFile) {
    char dir[] = "/tmp/quellon-simtest-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/port";
    {
        FILE* f = fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs("data", f);
        fclose(f);
    }
    EXPECT_THROW(SimProcess({"--link", file}), std::runtime_error);
    struct stat st {};
    EXPECT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(file.c_str());
    rmdir(dir);
}

TEST(SimPort, HangupFaultDropsTheLineMidStreamAndExits) {
    SimProcess sim({"--fault", "hangup", "--rate", "500", "--counts", "300,30,310,31"});
    const std::string link = sim.linkPath();
    Port port(link);
    ASSERT_TRUE(port.ok());
    port.write(":11\r");
    const std::string got = port.readFor(kWaitMs);  // ends when the line drops
    EXPECT_TRUE(port.hungUp());
    const Parsed p = parseStream(got);
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
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(SimPort, BadOptionsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--rate", "0"},
                                          {"--fault", "flaky"},
                                          {"--counts", "1,2,3"},
                                          {"--counts", "1,2,3,2000"},
                                          {"--pattern", "zigzag"},
                                          {"--frames"},
                                          {"--bogus", "1"}}) {
        EXPECT_THROW(SimProcess{args}, std::runtime_error) << args[0];
    }
}
