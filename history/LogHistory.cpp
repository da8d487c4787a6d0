#include "history/LogHistory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace quellon::history {

namespace {

constexpr const char* kHeader =
    "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\","
    "\"PwrDirB\",\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"";
// What [Rig] LogFrequency=1 adds at the end of the header.
constexpr const char* kFrequencyColumns = ",\"FrequencyHz\",\"Mode\"";

// Exactly n digits.
bool digits(const char*& p, const char* end, int n, int& out) {
    if (end - p < n) return false;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char c = p[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    p += n;
    out = v;
    return true;
}

bool expect(const char*& p, const char* end, char c) {
    if (p >= end || *p != c) return false;
    ++p;
    return true;
}

// A plain signed integer that fits 16 bits.
bool int16Field(const char*& p, const char* end, int16_t& out) {
    bool neg = false;
    if (p < end && *p == '-') {
        neg = true;
        ++p;
    }
    const char* start = p;
    long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > 32768) return false;
        ++p;
    }
    if (p == start) return false;
    if (neg) v = -v;
    if (v > 32767 || v < -32768) return false;
    out = static_cast<int16_t>(v);
    return true;
}

int daysInMonth(int y, int m) {
    static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return d[m - 1];
}

// Local date and hour to ms since 1970 UTC; one conversion per hour of the log.
class LocalClock {
public:
    int64_t epochMs(const LogRecord& r) {
        const int64_t key =
            ((static_cast<int64_t>(r.year) * 100 + r.month) * 100 + r.day) * 100 + r.hour;
        if (key != key_) {
            std::tm tm{};
            tm.tm_year = r.year - 1900;
            tm.tm_mon = r.month - 1;
            tm.tm_mday = r.day;
            tm.tm_hour = r.hour;
            tm.tm_isdst = -1;
            hourMs_ = static_cast<int64_t>(std::mktime(&tm)) * 1000;
            key_ = key;
        }
        return hourMs_ + (static_cast<int64_t>(r.minute) * 60 + r.second) * 1000 + r.ms;
    }

private:
    int64_t key_ = -1;
    int64_t hourMs_ = 0;
};

}  // namespace

bool isHeader(const char* p, const char* end) {
    const size_t n = std::strlen(kHeader);
    const size_t len = static_cast<size_t>(end - p);
    if (len < n || std::memcmp(p, kHeader, n) != 0) return false;
    const size_t f = std::strlen(kFrequencyColumns);
    return len == n || (len == n + f && std::memcmp(p + n, kFrequencyColumns, f) == 0);
}

bool parseRecord(const char* p, const char* end, LogRecord& r) {
    if (!expect(p, end, '"') || !digits(p, end, 4, r.year) || !expect(p, end, '-') ||
        !digits(p, end, 2, r.month) || !expect(p, end, '-') || !digits(p, end, 2, r.day) ||
        !expect(p, end, '"') || !expect(p, end, ',') || !expect(p, end, '"') ||
        !digits(p, end, 2, r.hour) || !expect(p, end, ':') || !digits(p, end, 2, r.minute) ||
        !expect(p, end, ':') || !digits(p, end, 2, r.second) || !expect(p, end, '.') ||
        !digits(p, end, 3, r.ms) || !expect(p, end, '"'))
        return false;
    if (r.year < 1970 || r.month < 1 || r.month > 12 || r.day < 1 ||
        r.day > daysInMonth(r.year, r.month) || r.hour > 23 || r.minute > 59 || r.second > 59)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (!expect(p, end, ',') || !int16Field(p, end, r.v[i])) return false;
    }
    r.hz = 0;
    r.mode[0] = '\0';
    if (p == end) return true;
    // The frequency columns: hertz (empty when the rig was not known), then
    // the quoted mode.
    if (!expect(p, end, ',')) return false;
    int64_t hz = 0;
    int n = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++n) {
        if (n >= 12) return false;
        hz = hz * 10 + (*p - '0');
    }
    if (!expect(p, end, ',') || !expect(p, end, '"')) return false;
    size_t m = 0;
    for (; p < end && *p != '"'; ++p) {
        if (m + 1 >= sizeof r.mode) return false;
        r.mode[m++] = *p;
    }
    r.mode[m] = '\0';
    if (!expect(p, end, '"')) return false;
    r.hz = hz;
    return p == end;
}

LogLoad loadLog(const std::string& path, double thresholdA, double thresholdB,
                LoadProgress* progress) {
    LogLoad out;
    // O_NONBLOCK: opening a pipe must not wait for a writer; the type is looked
    // at before a single byte is read (/dev/zero would never end, a pipe might
    // never answer).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.message = "The file cannot be opened: " + std::string(std::strerror(errno)) + ".";
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.message = path +
                      " is not a regular file (a folder, a device or a pipe): only a log "
                      "file can be opened.";
        return out;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        out.message = "The file cannot be opened: " + std::string(std::strerror(errno)) + ".";
        return out;
    }
    if (progress) progress->bytesTotal = static_cast<uint64_t>(st.st_size);
    std::vector<Sample> ch[2];
    const double thr[2] = {thresholdA, thresholdB};
    LocalClock clock;
    bool firstLine = true;
    bool refused = false;
    std::string carry;
    std::vector<char> buf(size_t(4) << 20);

    // One line without its line end.
    auto line = [&](const char* p, const char* e) {
        if (e > p && e[-1] == '\r') --e;
        LogRecord r;
        if (firstLine) {
            firstLine = false;
            if (isHeader(p, e)) return;
            if (!parseRecord(p, e, r)) {
                refused = true;
                return;
            }
        } else if (isHeader(p, e)) {
            return;  // a header again is no record, but no damage either
        } else if (p == e) {
            ++out.badLines;
            return;
        } else if (!parseRecord(p, e, r)) {
            ++out.badLines;
            return;
        }
        if (out.records >= kMaxRecords) {
            ++out.dropped;
            return;
        }
        ++out.records;
        const int64_t t = clock.epochMs(r);
        for (int c = 0; c < 2; ++c) {
            const int16_t* v = r.v + 4 * c;
            Sample s;
            s.t = t;
            s.v[Fwd] = static_cast<float>(v[0]) / 10.0f;
            s.v[Ref] = static_cast<float>(v[1]) / 10.0f;
            s.v[Swr] = swrFromPowers(v[2] / 10.0, v[3] / 10.0);
            const bool noMatch = v[2] > 0 && v[3] >= v[2];
            s.alarm = (noMatch || (thr[c] > 0 && s.v[Swr] > thr[c])) ? 1 : 0;
            s.hz = sampleHz(r.hz);
            s.mode = s.hz ? modeCode(r.mode) : 0;
            ch[c].push_back(s);
        }
    };

    size_t got;
    bool sawAny = false;
    while (!refused && (got = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        sawAny = true;
        if (progress) {
            progress->bytesRead += got;
            if (progress->cancel) {
                std::fclose(f);
                out = LogLoad{};
                out.cancelled = true;
                out.message = "Reading the log was cancelled.";
                return out;
            }
        }
        const char* p = buf.data();
        const char* end = p + got;
        if (!carry.empty()) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', got));
            if (!nl) {
                carry.append(p, end);
                // A "line" of megabytes is no log line: keep only a mark of it.
                if (carry.size() > (size_t(1) << 20)) carry.assign(1, '\x01');
                continue;
            }
            carry.append(p, nl);
            line(carry.data(), carry.data() + carry.size());
            carry.clear();
            p = nl + 1;
        }
        while (p < end && !refused) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (!nl) {
                carry.assign(p, end);
                break;
            }
            line(p, nl);
            p = nl + 1;
        }
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        out.message = "The file cannot be read.";
        return out;
    }
    if (!sawAny) {
        out.message = "The file is empty.";
        return out;
    }
    if (!carry.empty() && !refused) {
        // The last line has no line end: the log was cut off while it was written.
        if (firstLine) {
            LogRecord r;
            if (!isHeader(carry.data(), carry.data() + carry.size()) &&
                !parseRecord(carry.data(), carry.data() + carry.size(), r))
                refused = true;
        } else {
            ++out.badLines;
        }
    }
    if (refused) {
        out.message =
            "This file is not a Quellon log: its first line is neither the log's header "
            "nor a record.";
        out.records = out.badLines = out.dropped = 0;
        return out;
    }
    out.ok = true;
    out.history =
        std::make_unique<LogHistory>(std::move(ch[0]), std::move(ch[1]), thresholdA, thresholdB);
    return out;
}

LogHistory::LogHistory(std::vector<Sample> a, std::vector<Sample> b, double thresholdA,
                       double thresholdB)
    : threshold_{thresholdA, thresholdB} {
    s_[0] = std::move(a);
    s_[1] = std::move(b);
    bool any = false;
    for (int c = 0; c < kChannels; ++c) {
        auto& v = s_[c];
        const auto byTime = [](const Sample& x, const Sample& y) { return x.t < y.t; };
        // Logs are written in time order; a clock step or an appended older
        // session needs the sort.
        if (!std::is_sorted(v.begin(), v.end(), byTime))
            std::stable_sort(v.begin(), v.end(), byTime);
        blocks_[c].assign((v.size() + kBlock - 1) / kBlock, Agg{});
        for (size_t i = 0; i < v.size(); ++i) blocks_[c][i / kBlock].add(v[i]);
        if (!v.empty()) {
            first_ = any ? std::min(first_, v.front().t) : v.front().t;
            last_ = any ? std::max(last_, v.back().t) : v.back().t;
            any = true;
        }
    }
}

size_t LogHistory::lowerBound(int ch, int64_t t) const {
    const auto& v = s_[ch];
    return static_cast<size_t>(
        std::lower_bound(v.begin(), v.end(), t,
                         [](const Sample& s, int64_t x) { return s.t < x; }) -
        v.begin());
}

void LogHistory::decimate(Columns& out) const {
    for (int ch = 0; ch < kChannels; ++ch) {
        const auto& v = s_[ch];
        if (v.empty()) continue;
        size_t i = lowerBound(ch, out.t0());
        for (int c = 0; c < out.width() && i < v.size(); ++c) {
            const size_t j = lowerBound(ch, out.columnStart(c + 1));
            Agg& col = out.at(ch, c);
            // Samples [i, j): single samples up to a block edge, whole blocks, the rest.
            if (out.filtered()) {
                // One band only: a block may mix bands, so sample by sample.
                for (size_t m = i; m < j; ++m)
                    if (out.passes(v[m].hz)) col.add(v[m]);
                i = j;
                continue;
            }
            size_t k = i;
            while (k < j && k % kBlock != 0) col.add(v[k++]);
            while (k + kBlock <= j) {
                col.add(blocks_[ch][k / kBlock]);
                k += kBlock;
            }
            while (k < j) col.add(v[k++]);
            i = j;
        }
    }
}

void LogHistory::visit(int ch, int64_t t0, int64_t t1,
                       const std::function<void(int64_t, const Agg&)>& fn) const {
    if (ch < 0 || ch >= kChannels) return;
    const auto& v = s_[ch];
    Agg a;
    for (size_t i = lowerBound(ch, t0); i < v.size() && v[i].t < t1; ++i) {
        a.clear();
        a.add(v[i]);
        fn(v[i].t, a);
    }
}

}  // namespace quellon::history
