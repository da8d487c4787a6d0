#include "rig/RigProtect.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace quellon::rig {

RigProtect::RigProtect(RigClient& client, std::string journalPath)
    : client_(client), journalPath_(std::move(journalPath)) {}

RigProtect::~RigProtect() {
    // The client calls back on its own thread: wait (bounded) for the answers
    // still due so the callback never finds this object gone.
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard lock(m_);
            if (answered_ >= asked_) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RigProtect::onAlarm(const alarm::AlarmEvent& e, int64_t epochMs) {
    if (e.edge != alarm::AlarmEdge::Start) return;
    const RigTag tag = client_.tag();
    {
        std::lock_guard lock(m_);
        ++asked_;
    }
    // Time already gone by since the first high frame: the hold time.
    const int64_t held = e.atMs - e.sinceMs;
    client_.requestPttOff([this, e, epochMs, tag, held](const PttResult& r) {
        PttResult total = r;
        total.elapsedMs += held;
        const std::string line = eventLine(epochMs, e, tag, total);
        journal(line);
        std::lock_guard lock(m_);
        last_ = line;
        if (!r.ok) failure_ = line;
        ++answered_;
    });
}

std::string RigProtect::eventLine(int64_t epochMs, const alarm::AlarmEvent& e, const RigTag& tag,
                                  const PttResult& r) {
    const std::time_t secs = static_cast<std::time_t>(epochMs / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(epochMs % 1000));
    char figures[160];
    std::snprintf(figures, sizeof figures, "channel %s, SWR %.2f, forward %.1f W, ",
                  e.channelName(), e.swr, e.forwardW);
    std::string line = std::string(stamp) + (r.ok ? " PTT off: " : " PTT OFF FAILED: ") + figures;
    line += tag.known() ? frequencyText(tag.hz) + (tag.mode.empty() ? "" : " " + tag.mode)
                        : std::string("frequency unknown");
    line += ", " + std::to_string(r.elapsedMs) + " ms after the first high frame";
    if (!r.ok) line += " (" + r.error + ")";
    return line;
}

void RigProtect::journal(const std::string& line) {
    // One write of a whole line in append mode: a line is in the journal whole
    // or not at all, whatever else writes there.
    const int fd = ::open(journalPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "quellon: rig journal %s: cannot open\n", journalPath_.c_str());
        std::fprintf(stderr, "quellon: %s\n", line.c_str());
        return;
    }
    const std::string out = line + "\n";
    const ssize_t n = ::write(fd, out.data(), out.size());
    if (n != static_cast<ssize_t>(out.size())) {
        std::fprintf(stderr, "quellon: %s\n", line.c_str());
        if (n > 0) {
            // A short write: the torn tail is cut off again.
            const off_t end = lseek(fd, 0, SEEK_END);
            if (end >= n) (void)ftruncate(fd, end - n);
        }
    }
    ::close(fd);
}

std::string RigProtect::lastEvent() const {
    std::lock_guard lock(m_);
    return last_;
}

std::string RigProtect::takeFailure() {
    std::lock_guard lock(m_);
    std::string f;
    f.swap(failure_);
    return f;
}

uint64_t RigProtect::answered() const {
    std::lock_guard lock(m_);
    return answered_;
}

}  // namespace quellon::rig
