#include "history/HistoryExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quellon::history {

namespace {

struct Row {
    int64_t t;
    int ch;
    Agg a;
};

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += "\"\"";
        else if (c == '\r' || c == '\n') out += ' ';
        else out += c;
    }
    return out + "\"";
}

void number(std::string& line, const Agg& a, int trace, double v, int decimals) {
    line += ',';
    if (!a.has(trace) || std::isnan(v)) return;  // no value: empty field
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    line += buf;
}

}  // namespace

std::string exportHeaderLine() {
    return "\"Time\",\"Channel\",\"Description\",\"FwdMinW\",\"FwdMeanW\",\"FwdMaxW\","
           "\"RefMinW\",\"RefMeanW\",\"RefMaxW\",\"SwrMin\",\"SwrMean\",\"SwrMax\",\"Alarms\"";
}

std::string exportCsv(const HistorySource& src, TimeRange r, const std::string& path,
                      const std::array<std::string, 2>& channelNames) {
    std::vector<Row> rows;
    for (int ch = 0; ch < kChannels; ++ch)
        src.visit(ch, r.t0, r.t1, [&](int64_t t, const Agg& a) { rows.push_back({t, ch, a}); });
    // Both channels in one time order (each is in order already).
    std::vector<Row> merged;
    merged.reserve(rows.size());
    size_t na = 0;
    while (na < rows.size() && rows[na].ch == 0) ++na;
    size_t i = 0, j = na;
    while (i < na || j < rows.size()) {
        if (j >= rows.size() || (i < na && rows[i].t <= rows[j].t)) merged.push_back(rows[i++]);
        else merged.push_back(rows[j++]);
    }

    // Written to a temporary file beside the target and renamed over it only
    // when complete: a full disk or a crash leaves an earlier export of the
    // same name as it was, and never half a file.
    const std::string tmp = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return "The file cannot be created: " + std::string(std::strerror(errno)) + ".";
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return "The file cannot be created: " + std::string(std::strerror(errno)) + ".";
    }
    std::string out = exportHeaderLine() + "\r\n";
    bool ok = true;
    const std::string names[2] = {quoted(channelNames[0]), quoted(channelNames[1])};
    for (const Row& row : merged) {
        std::string line = quoted(formatTime(row.t, true));
        line += row.ch == 0 ? ",\"A\"," : ",\"B\",";
        line += names[row.ch];
        for (int tr = 0; tr < kTraces; ++tr) {
            const int dec = tr == Swr ? 2 : 1;
            number(line, row.a, tr, row.a.mn[tr], dec);
            number(line, row.a, tr, row.a.mean(tr), dec);
            number(line, row.a, tr, row.a.mx[tr], dec);
        }
        line += ',' + std::to_string(row.a.alarms) + "\r\n";
        out += line;
        if (out.size() > (size_t(1) << 20)) {
            ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
            out.clear();
        }
    }
    ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = ok && std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    const int err = errno;
    ok = (std::fclose(f) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return {};
    const int why = ok ? errno : err;
    ::unlink(tmp.c_str());
    return path + " could not be written (" + std::strerror(why) +
           "); an earlier file of that name is unchanged.";
}

}  // namespace quellon::history
