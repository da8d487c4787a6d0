#include "sim/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#ifndef QUELLON_SIM_PATH
#error "QUELLON_SIM_PATH must name the quellon-bridge-sim binary"
#endif

extern char** environ;

namespace quellon {

namespace {

using SteadyClock = std::chrono::steady_clock;

int msLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Value of an option in the argument list, or nullopt when it is not there.
std::optional<std::string> optionValue(const std::vector<std::string>& args,
                                       const std::string& name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return std::nullopt;
    return (it + 1 != args.end()) ? *(it + 1) : std::string();
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> args) {
    char tmpl[] = "/tmp/quellon-sim-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    tempDir_ = tmpl;
    if (auto v = optionValue(args, "--link")) {
        linkPath_ = *v;
    } else {
        linkPath_ = tempDir_ + "/ttyBRIDGE";
        args.insert(args.end(), {"--link", linkPath_});
    }
    if (auto v = optionValue(args, "--record")) {
        recordPath_ = *v;
    } else {
        recordPath_ = tempDir_ + "/commands.txt";
        args.insert(args.end(), {"--record", recordPath_});
    }

    // Standard input is a socket so that writing to a simulator that has died
    // returns an error instead of raising SIGPIPE in the test.
    int in[2], out[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }

    std::vector<std::string> full;
    full.push_back(QUELLON_SIM_PATH);
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    const int rc = posix_spawn(&pid_, full[0].c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[1]);
    close(out[1]);
    stdinFd_ = in[0];
    stdoutFd_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        close(stdinFd_);
        close(stdoutFd_);
        stdinFd_ = stdoutFd_ = -1;
        rmdir(tempDir_.c_str());
        throw std::runtime_error(std::string("cannot start ") + QUELLON_SIM_PATH + ": " +
                                 std::strerror(rc));
    }
    if (!waitReady(5000)) {
        reap(1000);
        if (stdinFd_ >= 0) close(stdinFd_);
        if (stdoutFd_ >= 0) close(stdoutFd_);
        stdinFd_ = stdoutFd_ = -1;
        unlink(recordPath_.c_str());
        rmdir(tempDir_.c_str());
        throw std::runtime_error("quellon-bridge-sim did not report READY within 5 s");
    }
}

SimProcess::~SimProcess() {
    reap(2000);
    if (stdinFd_ >= 0) close(stdinFd_);
    if (stdoutFd_ >= 0) close(stdoutFd_);
    if (!tempDir_.empty()) {
        if (recordPath_.rfind(tempDir_, 0) == 0) unlink(recordPath_.c_str());
        if (linkPath_.rfind(tempDir_, 0) == 0) unlink(linkPath_.c_str());
        rmdir(tempDir_.c_str());
    }
}

void SimProcess::reap(int timeoutMs) {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) break;
        if (SteadyClock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    pid_ = -1;
}

bool SimProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool SimProcess::send(const std::string& line) {
    if (stdinFd_ < 0) return false;
    const std::string data = line + "\n";
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(stdinFd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> SimProcess::readLine(int timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto nl = outBuf_.find('\n');
        if (nl != std::string::npos) {
            std::string line = outBuf_.substr(0, nl);
            outBuf_.erase(0, nl + 1);
            if (line.rfind("READY ", 0) == 0) slavePath_ = line.substr(6);
            return line;
        }
        if (stdoutFd_ < 0) return std::nullopt;
        pollfd p{stdoutFd_, POLLIN, 0};
        const int r = poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        char buf[512];
        const ssize_t n = read(stdoutFd_, buf, sizeof buf);
        if (n <= 0) {
            close(stdoutFd_);
            stdoutFd_ = -1;
            continue;  // hand out what is left, then report the end
        }
        outBuf_.append(buf, static_cast<std::size_t>(n));
    }
}

std::optional<SimStats> SimProcess::parseStats(const std::string& line) {
    unsigned long long sent = 0, cmds = 0;
    if (std::sscanf(line.c_str(), "STATS sent=%llu cmds=%llu", &sent, &cmds) != 2)
        return std::nullopt;
    return SimStats{sent, cmds};
}

bool SimProcess::waitReady(int timeoutMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (auto line = readLine(msLeft(deadline)))
        if (line->rfind("READY ", 0) == 0) return true;
    return false;
}

std::optional<SimStats> SimProcess::readStats(int timeoutMs) {
    if (!send("stats")) return std::nullopt;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (auto line = readLine(msLeft(deadline)))
        if (auto s = parseStats(*line)) return s;
    return std::nullopt;
}

std::optional<SimStats> SimProcess::stop(int timeoutMs) {
    if (pid_ <= 0) return std::nullopt;
    send("quit");
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<SimStats> last;
    while (auto line = readLine(msLeft(deadline)))
        if (auto s = parseStats(*line)) last = s;
    reap(std::max(msLeft(deadline), 100));
    return last;
}

std::vector<std::string> SimProcess::recordedCommands() const {
    std::vector<std::string> lines;
    if (recordPath_.empty()) return lines;
    std::ifstream f(recordPath_);
    std::string line;
    while (std::getline(f, line)) lines.push_back(line);
    return lines;
}

}  // namespace quellon
