#pragma once
// A real rigctld (Debian's libhamlib-utils) with Hamlib's dummy rig on a free
// loopback port, and rigctl to turn its knobs, for the tests that need a rig.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/Loopback.h"

extern char** environ;

namespace quellon::testing {

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
        return waitUntil([&] { return portAccepts(port_); }, 5000);
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

}  // namespace quellon::testing
