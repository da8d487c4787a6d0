#include "alarm/AlarmJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace quellon::alarm {

std::string swrText(double swr) {
    if (std::isinf(swr)) return "\u221e";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", swr);
    return buf;
}

std::string localTimeText(int64_t ms) {
    const time_t s = static_cast<time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm tm{};
    localtime_r(&s, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(((ms % 1000) + 1000) % 1000));
    return buf;
}

const char* causeText(EndCause c) {
    switch (c) {
        case EndCause::Cleared: return "SWR below the threshold";
        case EndCause::ChannelOff: return "channel switched off";
        case EndCause::LinkLost: return "bridge lost";
    }
    return "";
}

AlarmJournal::AlarmJournal(std::string path) : path_(std::move(path)) {}

std::string AlarmJournal::headerLine() {
    return "Time,Event,Channel,Peak SWR,Threshold,Peak forward W,Note";
}

std::string AlarmJournal::line(const AlarmEvent& e, int64_t epochMs) {
    char nums[96];
    std::snprintf(nums, sizeof nums, ",%.2f,%.1f,", e.threshold, e.peakForwardW);
    const bool start = e.edge == AlarmEdge::Start;
    return localTimeText(epochMs) + (start ? ",start," : ",end,") + e.channelName() + "," +
           (std::isinf(e.peakSwr) ? std::string("inf") : swrText(e.peakSwr)) + nums +
           (start ? "" : causeText(e.cause));
}

void AlarmJournal::onAlarm(const AlarmEvent& e, int64_t epochMs) {
    if (e.edge == AlarmEdge::Start) {
        entries_.push_back({e.channel, epochMs, std::nullopt, e.peakSwr, e.threshold,
                            e.peakForwardW, EndCause::Cleared});
        if (entries_.size() > kKept) entries_.pop_front();
    } else {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (it->channel != e.channel || it->endMs) continue;
            it->endMs = epochMs;
            it->peakSwr = e.peakSwr;
            it->peakForwardW = e.peakForwardW;
            it->cause = e.cause;
            break;
        }
    }
    append(line(e, epochMs));
    ++version_;
    if (onChange) onChange();
}

bool AlarmJournal::append(const std::string& text) {
    auto failed = [&](const char* what) {
        error_ = std::string("Alarm journal ") + path_ + ": " + what + ": " + std::strerror(errno);
        return false;
    };
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return failed("cannot open");
    struct stat st {};
    std::string out;
    if (::fstat(fd, &st) == 0 && st.st_size == 0) out = headerLine() + "\r\n";
    // A line cut off before (a full disk, power lost) is closed first, so the
    // new line never continues it.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') out += "\r\n";
    out += text + "\r\n";
    const ssize_t n = ::write(fd, out.data(), out.size());
    if (n != static_cast<ssize_t>(out.size())) {
        const int err = n < 0 ? errno : ENOSPC;
        // Nothing half written stays behind.
        if (n > 0) [[maybe_unused]]
            const int cut = ::ftruncate(fd, st.st_size);
        ::close(fd);
        errno = err;
        return failed("cannot write");
    }
    ::close(fd);
    error_.clear();
    return true;
}

}  // namespace quellon::alarm
