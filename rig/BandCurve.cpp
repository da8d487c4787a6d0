#include "rig/BandCurve.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quellon::rig {

using history::Agg;
using history::Fwd;
using history::Swr;

int64_t defaultBinHz(const Band& b) {
    if (b.highHz < 30'000'000) return 5'000;
    if (b.highHz <= 60'000'000) return 20'000;
    return 50'000;
}

namespace {

// The value of rank q (0..1) of sorted v, by linear interpolation.
double quantile(const std::vector<float>& v, double q) {
    const double pos = q * static_cast<double>(v.size() - 1);
    const size_t i = static_cast<size_t>(pos);
    const double f = pos - static_cast<double>(i);
    return i + 1 < v.size() ? v[i] + f * (v[i + 1] - v[i]) : v[i];
}

}  // namespace

BandCurve buildCurve(const history::HistorySource& src, int ch, const Band& band, int64_t binHz,
                     double minPowerW, int64_t t0, int64_t t1) {
    BandCurve c;
    c.band = band;
    c.binHz = std::max<int64_t>(binHz, 1);
    c.t0 = t0;
    c.t1 = t1;
    const int64_t count = (band.highHz - band.lowHz) / c.binHz + 1;
    std::vector<std::vector<float>> values(
        static_cast<size_t>(std::clamp<int64_t>(count, 1, 100000)));
    src.visit(ch, t0, t1, [&](int64_t, const Agg& a) {
        if (!band.contains(a.hz) || !a.has(Swr) || !a.has(Fwd)) return;
        if (a.mean(Fwd) < minPowerW) return;
        const size_t i = static_cast<size_t>((a.hz - band.lowHz) / c.binHz);
        if (i >= values.size()) return;
        values[i].push_back(static_cast<float>(a.mean(Swr)));
        ++c.used;
    });
    c.bins.resize(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        CurveBin& b = c.bins[i];
        b.lowHz = band.lowHz + static_cast<int64_t>(i) * c.binHz;
        std::vector<float>& v = values[i];
        b.n = static_cast<uint32_t>(v.size());
        if (v.empty()) {
            b.median = b.p25 = b.p75 = std::nan("");
            continue;
        }
        std::sort(v.begin(), v.end());
        b.median = quantile(v, 0.5);
        b.p25 = quantile(v, 0.25);
        b.p75 = quantile(v, 0.75);
    }
    return c;
}

std::string curvesCsv(const BandCurve& recent, const BandCurve& older) {
    std::string out =
        "\"Band\",\"BinLowHz\",\"BinHighHz\",\"Readings\",\"MedianSwr\",\"P25Swr\",\"P75Swr\","
        "\"OlderReadings\",\"OlderMedianSwr\",\"OlderP25Swr\",\"OlderP75Swr\"\r\n";
    auto num = [](double v) {
        if (std::isnan(v)) return std::string();
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3f", v);
        return std::string(buf);
    };
    for (size_t i = 0; i < recent.bins.size(); ++i) {
        const CurveBin& b = recent.bins[i];
        const CurveBin o = i < older.bins.size() ? older.bins[i] : CurveBin{};
        const bool olderHas = i < older.bins.size() && o.n;
        out += "\"" + recent.band.name + "\"," + std::to_string(b.lowHz) + "," +
               std::to_string(b.lowHz + recent.binHz - 1) + "," + std::to_string(b.n) + "," +
               num(b.median) + "," + num(b.p25) + "," + num(b.p75) + "," + std::to_string(o.n) +
               "," + (olderHas ? num(o.median) + "," + num(o.p25) + "," + num(o.p75) : ",,") +
               "\r\n";
    }
    return out;
}

void addHistory(BandStats& stats, const history::HistorySource& src) {
    if (src.empty()) return;
    for (int ch = 0; ch < history::kChannels; ++ch)
        src.visit(ch, src.firstMs(), src.lastMs() + 1, [&](int64_t t, const Agg& a) {
            const double swr = a.has(Swr) ? a.mean(Swr) : std::nan("");
            stats.add(ch, t, a.hz, swr, a.has(Fwd) ? a.mean(Fwd) : 0.0);
        });
}

std::string writeFileWhole(const std::string& path, const std::string& data) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return "The file " + path + " cannot be written: " + std::strerror(errno) + ".";
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            const std::string why = n < 0 ? std::strerror(errno) : "nothing written";
            ::close(fd);
            ::unlink(tmp.c_str());
            return "The file " + path + " cannot be written: " + why + ".";
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return "The file " + path + " cannot be written: " + why + ".";
    }
    return {};
}

}  // namespace quellon::rig
