#pragma once
// Starts bench_toolkit_reader on a port and asks it for its figures: the
// frames it has read, and its CPU time (read from outside, as for the bare
// reader).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bench/stream/FloorReader.h"

#ifndef QUELLON_TOOLKIT_READER_PATH
#error "QUELLON_TOOLKIT_READER_PATH must name the bench_toolkit_reader binary"
#endif

extern char** environ;

namespace quellon::bench {

class ToolkitReader {
public:
    ~ToolkitReader() { stop(); }

    bool start(const std::string& port) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return false;
        if (pipe2(out, O_CLOEXEC) != 0) {
            ::close(in[0]);
            ::close(in[1]);
            return false;
        }
        std::string path = QUELLON_TOOLKIT_READER_PATH;
        std::string arg = port;
        char* argv[] = {path.data(), arg.data(), nullptr};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        const int rc = posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            stop();
            return false;
        }
        return true;
    }

    void stop() {
        for (int* fd : {&toChild_, &fromChild_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
        if (pid_ > 0) {
            // End of its input ends it; a reader that hangs is killed.
            for (int i = 0; i < 200; ++i) {
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    pid_ = -1;
                    return;
                }
                usleep(10000);
            }
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    // Frames read so far, or -1 when the reader does not answer within 2 s.
    long long frames() {
        static const char kAsk[] = "stats\n";
        if (toChild_ < 0 || ::write(toChild_, kAsk, sizeof kAsk - 1) != sizeof kAsk - 1) return -1;
        std::string line;
        pollfd pfd{fromChild_, POLLIN, 0};
        while (line.find('\n') == std::string::npos) {
            if (::poll(&pfd, 1, 2000) <= 0) return -1;
            char buf[64];
            const ssize_t n = ::read(fromChild_, buf, sizeof buf);
            if (n <= 0) return -1;
            line.append(buf, static_cast<size_t>(n));
        }
        if (line.rfind("frames ", 0) != 0) return -1;
        return std::atoll(line.c_str() + 7);
    }

    double cpuSeconds() const { return processCpuSeconds(pid_); }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

}  // namespace quellon::bench
