#pragma once
// A real rigctld (Debian's libhamlib-utils) with Hamlib's dummy rig on a free
// loopback port, and rigctl to turn its knobs, for the tests that need a rig.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quellon::testing {

inline int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool portAccepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class Rigctld {
public:
    explicit Rigctld(int port = freeLoopbackPort()) : port_(port) {}
    ~Rigctld() { kill(); }

    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Starts the dummy rig (PTT through the rig's own command) and waits until
    // it listens; false when it did not within five seconds.
    bool start() {
        const std::string p = std::to_string(port_);
        std::vector<std::string> args = {"rigctld", "-m",        "1",  "-P", "RIG",
                                         "-T",      "127.0.0.1", "-t", p};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "rigctld", nullptr, nullptr, argv.data(), environ) != 0)
            return false;
        for (int i = 0; i < 250; ++i) {
            if (portAccepts(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // rigctl against this daemon; its output, or "" when it failed.
    std::string rigctl(const std::string& commands) const {
        const std::string cmd = "rigctl -m 2 -r " + address() + " " + commands + " 2>/dev/null";
        std::string out;
        FILE* f = popen(cmd.c_str(), "r");
        if (!f) return out;
        std::array<char, 256> buf;
        while (fgets(buf.data(), buf.size(), f)) out += buf.data();
        pclose(f);
        return out;
    }

private:
    int port_;
    pid_t pid_ = -1;
};

// Polls cond every 10 ms until it holds or ms have passed.
template <class Cond>
bool waitFor(Cond cond, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

}  // namespace quellon::testing
