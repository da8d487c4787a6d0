// quellon-bridge-sim: plays the SWR bridge on a pseudo-terminal, so that the
// program and its tests can talk to a "bridge" without the hardware.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sim/BridgeSim.h"

namespace {

using namespace quellon::sim;

int gSignalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &c, 1);
    errno = saved;
}

Nanos monoNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * kSecond + ts.tv_nsec;
}

struct Config {
    Options opt;
    std::string link;
    std::string record;
    std::string sentLog;  // when each frame went onto the line, for latency measurements
    bool reopen = false;
};

void usage(FILE* to) {
    std::fprintf(
        to,
        "usage: quellon-bridge-sim [--link PATH] [--rate N] [--pattern sweep|fixed|live]\n"
        "         [--counts nDir,nRev,nDirMax,nRevMax] [--frames N] [--fault NAME[,NAME]]\n"
        "         [--record FILE] [--sent-log FILE] [--reopen] [--seed N] [--overspeed]\n"
        "faults: %s\n"
        "stdin: fault NAME | fault none | rate N | counts N,N,N,N | hangup | stats | quit\n",
        faultNames().c_str());
}

bool parseInt(std::string_view text, long long lo, long long hi, long long& out) {
    if (text.empty() || text.size() > 18) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseFaults(std::string_view list, unsigned& faults) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        if (name == "none") {
            faults = 0;
        } else {
            const unsigned bit = faultByName(name);
            if (bit == 0) return false;
            faults |= bit;
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return true;
}

bool parseCounts(std::string_view text, Counts& c) {
    int* fields[] = {&c.nDir, &c.nRev, &c.nDirMax, &c.nRevMax};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto comma = text.find(',');
        if ((i < 3) == (comma == std::string_view::npos)) return false;
        long long v = 0;
        if (!parseInt(text.substr(0, comma), 0, 1023, v)) return false;
        *fields[i] = static_cast<int>(v);
        if (i < 3) text.remove_prefix(comma + 1);
    }
    return true;
}

// 0 ok, 1 error, 2 help shown.
int parseArgs(int argc, char** argv, Config& cfg) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 2;
        }
        if (a == "--reopen" || a == "--overspeed") {
            (a == "--reopen" ? cfg.reopen : cfg.opt.overspeed) = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "quellon-bridge-sim: %s needs a value\n", argv[i]);
            return 1;
        }
        const std::string_view v = argv[++i];
        long long n = 0;
        bool ok = true;
        if (a == "--link") {
            cfg.link = v;
            ok = !v.empty();
        } else if (a == "--record" || a == "--sent-log") {
            (a == "--record" ? cfg.record : cfg.sentLog) = v;
            ok = !v.empty();
        } else if (a == "--rate") {
            ok = parseInt(v, 1, 1'000'000, n);
            cfg.opt.rate = static_cast<int>(n);
        } else if (a == "--pattern") {
            ok = v == "sweep" || v == "fixed" || v == "live";
            cfg.opt.sweep = v == "sweep";
            cfg.opt.live = v == "live";
        } else if (a == "--counts") {
            ok = parseCounts(v, cfg.opt.fixed);
            cfg.opt.sweep = false;
            cfg.opt.live = false;
        } else if (a == "--frames") {
            ok = parseInt(v, 0, 1'000'000'000'000LL, n);
            cfg.opt.frameLimit = n;
        } else if (a == "--fault") {
            ok = parseFaults(v, cfg.opt.faults);
        } else if (a == "--seed") {
            ok = parseInt(v, 0, 0xFFFFFFFFLL, n);
            cfg.opt.seed = static_cast<uint32_t>(n);
        } else {
            std::fprintf(stderr, "quellon-bridge-sim: unknown option %s\n", argv[i - 1]);
            usage(stderr);
            return 1;
        }
        if (!ok) {
            std::fprintf(stderr, "quellon-bridge-sim: bad value for %s: %s\n", argv[i - 1],
                         argv[i]);
            return 1;
        }
    }
    if (cfg.opt.rate > cfg.opt.maxRate()) {
        std::fprintf(stderr,
                     "quellon-bridge-sim: rate %d is more than the line carries, using %d\n",
                     cfg.opt.rate, cfg.opt.maxRate());
        cfg.opt.rate = cfg.opt.maxRate();
    }
    return 0;
}

struct Pty {
    int master = -1;
    // Kept open by us as well, so that the master never sees a hang-up (and a
    // poll loop spinning on it) while no host has the port open.
    int slave = -1;
    std::string slavePath;

    bool open(std::string& err) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0) return fail(err, "posix_openpt");
        if (grantpt(master) != 0 || unlockpt(master) != 0) return fail(err, "grantpt/unlockpt");
        char name[256];
        if (ptsname_r(master, name, sizeof name) != 0) return fail(err, "ptsname");
        slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        fcntl(master, F_SETFD, FD_CLOEXEC);
        slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slave < 0) return fail(err, "open slave");
        termios t{};
        if (tcgetattr(slave, &t) != 0) return fail(err, "tcgetattr");
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        t.c_cflag |= CLOCAL | CREAD;
        if (tcsetattr(slave, TCSANOW, &t) != 0) return fail(err, "tcsetattr");
        return true;
    }
    bool fail(std::string& err, const char* what) {
        err = std::string(what) + ": " + std::strerror(errno);
        close();
        return false;
    }
    void close() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
        slave = master = -1;
    }
};

// The link is replaced only when it is a symbolic link (or absent): a real file
// of that name is somebody's data.
bool publishLink(const std::string& link, const std::string& target, std::string& err) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        err = link + " exists and is not a symbolic link";
        return false;
    }
    const std::string tmp = link + ".tmp." + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
        err = link + ": " + std::strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

void removeLink(const std::string& link, const std::string& target) {
    if (link.empty()) return;
    char buf[512];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n < 0) return;
    buf[n] = '\0';
    if (target == buf) unlink(link.c_str());  // not ours any more: leave it
}

class Runner {
public:
    explicit Runner(Config cfg) : cfg_(std::move(cfg)), sim_(cfg_.opt) {}

    int run() {
        if (!cfg_.record.empty()) {
            record_ = std::fopen(cfg_.record.c_str(), "w");
            if (!record_) {
                std::fprintf(stderr, "quellon-bridge-sim: %s: %s\n", cfg_.record.c_str(),
                             std::strerror(errno));
                return 1;
            }
        }
        if (!cfg_.sentLog.empty() && !(sentLog_ = std::fopen(cfg_.sentLog.c_str(), "w"))) {
            std::fprintf(stderr, "quellon-bridge-sim: %s: %s\n", cfg_.sentLog.c_str(),
                         std::strerror(errno));
            return 1;
        }
        if (!openLine()) return 1;
        loop();
        flushOut();
        closeLine();
        printStats();
        if (record_) std::fclose(record_);
        if (sentLog_) std::fclose(sentLog_);
        return 0;
    }

private:
    static constexpr std::size_t kRoom = 1024;  // queued bytes beyond which frames are skipped

    bool openLine() {
        std::string err;
        if (!pty_.open(err)) {
            std::fprintf(stderr, "quellon-bridge-sim: %s\n", err.c_str());
            return false;
        }
        if (!cfg_.link.empty() && !publishLink(cfg_.link, pty_.slavePath, err)) {
            std::fprintf(stderr, "quellon-bridge-sim: %s\n", err.c_str());
            pty_.close();
            return false;
        }
        std::printf("READY %s\n", pty_.slavePath.c_str());
        std::fflush(stdout);
        return true;
    }

    void closeLine() {
        if (pty_.master < 0) return;
        removeLink(cfg_.link, pty_.slavePath);
        pty_.close();
    }

    void hangup(Nanos now) {
        closeLine();
        sim_.lineDropped();
        out_.clear();
        outOffset_ = outBytes_ = 0;
        if (cfg_.reopen) reopenAt_ = now + kSecond;
        else running_ = false;
    }

    void printStats() {
        if (sentLog_) std::fflush(sentLog_);  // whoever asks may read the log next
        std::printf("STATS sent=%llu cmds=%llu\n", static_cast<unsigned long long>(sent_),
                    static_cast<unsigned long long>(sim_.linesReceived()));
        std::fflush(stdout);
    }

    void flushOut() {
        while (!out_.empty() && pty_.master >= 0) {
            Segment& s = out_.front();
            const ssize_t n =
                write(pty_.master, s.bytes.data() + outOffset_, s.bytes.size() - outOffset_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                // The line is unusable; what was queued for it is lost, as on a cut cable.
                out_.clear();
                outOffset_ = outBytes_ = 0;
                break;
            }
            if (n <= 0) break;  // full: the rest goes when the host has read
            outOffset_ += static_cast<std::size_t>(n);
            if (outOffset_ == s.bytes.size()) {
                if (s.frame) ++sent_;
                // The time the frame's last byte went onto the line, and the frame.
                if (s.frame && sentLog_) {
                    std::fprintf(sentLog_, "%lld ", static_cast<long long>(monoNow()));
                    for (unsigned char b : s.bytes) std::fprintf(sentLog_, "%02x", b);
                    std::fputc('\n', sentLog_);
                }
                outBytes_ -= s.bytes.size();
                outOffset_ = 0;
                out_.pop_front();
            }
        }
    }

    void readMaster() {
        char buf[1024];
        for (;;) {
            const ssize_t n = read(pty_.master, buf, sizeof buf);
            if (n <= 0) break;
            sim_.receive(std::string_view(buf, static_cast<std::size_t>(n)), monoNow());
        }
        for (const auto& line : sim_.takeLines()) {
            if (!record_) continue;
            std::fprintf(record_, "%s\n", printable(line).c_str());
            std::fflush(record_);
        }
    }

    void readStdin() {
        char buf[512];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            if (n == 0 || (errno != EINTR && errno != EAGAIN)) stdinOpen_ = false;
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                control(stdinLine_);
                stdinLine_.clear();
            } else if (stdinLine_.size() < 256) {
                stdinLine_ += buf[i];
            }
        }
    }

    void control(std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        const std::string_view l = line;
        const Nanos now = monoNow();
        if (l.empty()) return;
        if (l == "quit") {
            running_ = false;
        } else if (l == "stats") {
            printStats();
        } else if (l == "hangup") {
            if (pty_.master >= 0) hangup(now);
        } else if (l.substr(0, 6) == "fault ") {
            unsigned f = l.substr(6) == "none" ? 0u : sim_.faults();
            if (parseFaults(l.substr(6), f)) sim_.setFaults(f);
            else std::fprintf(stderr, "quellon-bridge-sim: unknown fault: %s\n", line.c_str() + 6);
        } else if (l.substr(0, 7) == "counts ") {
            Counts c;
            if (parseCounts(l.substr(7), c)) sim_.setFixedCounts(c);
            else
                std::fprintf(stderr,
                             "quellon-bridge-sim: counts must be nDir,nRev,nDirMax,nRevMax\n");
        } else if (l.substr(0, 5) == "rate ") {
            long long r = 0;
            const int most = sim_.maxRate();
            if (parseInt(l.substr(5), 1, most, r)) sim_.setRate(static_cast<int>(r), now);
            else std::fprintf(stderr, "quellon-bridge-sim: rate must be 1..%d\n", most);
        } else {
            std::fprintf(stderr, "quellon-bridge-sim: unknown control line: %s\n", line.c_str());
        }
    }

    void loop() {
        while (running_) {
            Nanos now = monoNow();
            if (pty_.master < 0 && reopenAt_ <= now) {
                reopenAt_ = kNever;
                if (!openLine()) return;
            }
            if (pty_.master >= 0) {
                for (auto& s : sim_.poll(now, outBytes_ < kRoom)) {
                    outBytes_ += s.bytes.size();
                    out_.push_back(std::move(s));
                }
                flushOut();
                if (sim_.hangupWanted()) hangup(now);
            }
            if (!running_) return;

            Nanos due = reopenAt_;
            if (pty_.master >= 0) due = std::min(due, sim_.nextDue());
            pollfd fds[3];
            nfds_t nfds = 0;
            fds[nfds++] = {gSignalPipe[0], POLLIN, 0};
            const int stdinIndex = stdinOpen_ ? static_cast<int>(nfds) : -1;
            if (stdinOpen_) fds[nfds++] = {STDIN_FILENO, POLLIN, 0};
            const int masterIndex = pty_.master >= 0 ? static_cast<int>(nfds) : -1;
            if (pty_.master >= 0)
                fds[nfds++] = {pty_.master,
                               static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0};

            timespec ts{};
            timespec* timeout = nullptr;
            if (due != kNever) {
                const Nanos wait = std::max<Nanos>(0, due - monoNow());
                ts.tv_sec = static_cast<time_t>(wait / kSecond);
                ts.tv_nsec = static_cast<long>(wait % kSecond);
                timeout = &ts;
            }
            if (ppoll(fds, nfds, timeout, nullptr) < 0) {
                if (errno == EINTR) continue;
                std::fprintf(stderr, "quellon-bridge-sim: poll: %s\n", std::strerror(errno));
                return;
            }
            if (fds[0].revents & POLLIN) {
                running_ = false;  // SIGTERM, SIGINT or SIGHUP
                return;
            }
            if (stdinIndex >= 0 && (fds[stdinIndex].revents & (POLLIN | POLLHUP | POLLERR)))
                readStdin();
            if (masterIndex >= 0 && pty_.master >= 0) {
                const short ev = fds[masterIndex].revents;
                if (ev & POLLIN) readMaster();
                if (ev & POLLOUT) flushOut();
            }
        }
    }

    Config cfg_;
    BridgeSim sim_;
    Pty pty_;
    FILE* record_ = nullptr;
    FILE* sentLog_ = nullptr;
    std::deque<Segment> out_;
    std::size_t outOffset_ = 0;
    std::size_t outBytes_ = 0;
    uint64_t sent_ = 0;
    bool running_ = true;
    bool stdinOpen_ = true;
    std::string stdinLine_;
    Nanos reopenAt_ = kNever;
};

}  // namespace

int main(int argc, char** argv) {
    Config cfg;
    const int parsed = parseArgs(argc, argv, cfg);
    if (parsed != 0) return parsed == 2 ? 0 : 2;

    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("quellon-bridge-sim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Runner runner(std::move(cfg));
    return runner.run();
}
