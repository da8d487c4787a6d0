#pragma once
// The floor of reading the line: a process of its own that starts a simulator's
// stream and then only waits for the port and reads 20-byte frames from it,
// nothing else (a process, not a thread, so that its wake-ups cost what the
// program's do).
// Run beside the program against a simulator of its own, its CPU time per frame
// is what any reader of this line pays for the wake-ups; the program's figure is
// judged against it in the same run, so the machine's load weighs on both alike.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>

namespace quellon::bench {

// CPU time of another process (a reader started by the benchmark), in seconds;
// 0 when it cannot be read.
inline double processCpuSeconds(pid_t pid) {
    clockid_t id;
    timespec ts{};
    if (pid > 0 && clock_getcpuclockid(pid, &id) == 0 && clock_gettime(id, &ts) == 0)
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    return 0;
}

class FloorReader {
public:
    ~FloorReader() { stop(); }

    // Opens the port, asks for the stream (":11") and starts the reading
    // process. False when the port cannot be opened.
    bool start(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0 || pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            cfsetispeed(&t, B115200);
            cfsetospeed(&t, B115200);
            tcsetattr(fd_, TCSANOW, &t);
        }
        void* shared = mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED) return false;
        bytes_ = new (shared) std::atomic<uint64_t>(0);
        static const char kStart[] = ":11\r";
        if (::write(fd_, kStart, sizeof kStart - 1) != sizeof kStart - 1) return false;
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) run();  // never returns
        return true;
    }

    void stop() {
        if (pid_ > 0) {
            const char c = 1;
            [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &c, 1);
            int status = 0;
            if (waitpid(pid_, &status, 0) < 0) kill(pid_, SIGKILL);
            pid_ = -1;
        }
        for (int* fd : {&fd_, &stopPipe_[0], &stopPipe_[1]}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
        if (bytes_) munmap(bytes_, sizeof *bytes_);
        bytes_ = nullptr;
    }

    // Whole frames read so far (the stream's acknowledgement is not one).
    uint64_t frames() const {
        const uint64_t b = bytes_ ? bytes_->load(std::memory_order_relaxed) : 0;
        return b > kAckSize ? (b - kAckSize) / kFrameSize : 0;
    }
    // CPU time of the reading process, in seconds.
    double cpuSeconds() const { return processCpuSeconds(pid_); }

private:
    static constexpr uint64_t kFrameSize = 20;
    static constexpr uint64_t kAckSize = 5;  // ":ACK\r"

    // The child: plain system calls only (it was forked from a threaded process).
    [[noreturn]] void run() {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        char buf[kFrameSize];
        for (;;) {
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) break;
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) bytes_->fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
            }
        }
        _exit(0);
    }

    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    pid_t pid_ = -1;
    std::atomic<uint64_t>* bytes_ = nullptr;
};

}  // namespace quellon::bench
