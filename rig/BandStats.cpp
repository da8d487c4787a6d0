#include "rig/BandStats.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "alarm/AlarmMonitor.h"

namespace quellon::rig {

int BandCell::bin(double swr) {
    if (!(swr < kTop / 100.0 + 0.005)) return kBins - 1;  // above the top, infinite, NaN
    const long q = std::lround(swr * 100.0);
    return static_cast<int>(std::max<long>(q, kLow) - kLow);
}

double BandCell::binValue(int bin) {
    if (bin >= kBins - 1) return std::numeric_limits<double>::infinity();
    return (bin + kLow) / 100.0;
}

double BandCell::medianSwr() const {
    if (n == 0) return std::nan("");
    const uint64_t want = (n - 1) / 2;  // the lower median's rank
    uint64_t seen = 0;
    for (int b = 0; b < kBins; ++b) {
        seen += hist[b];
        if (seen > want) return binValue(b);
    }
    return binValue(kBins - 1);
}

BandStats::BandStats(BandPlan plan, double minPowerW)
    : plan_(std::move(plan)), minPowerW_(minPowerW), cells_(plan_.bands().size()) {}

void BandStats::clear() {
    cells_.assign(plan_.bands().size(), {});
    seen_[0] = seen_[1] = false;
    lastBand_[0] = lastBand_[1] = -1;
    added_ = 0;
}

void BandStats::add(int ch, int64_t epochMs, int64_t hz, double swr, double fwdW) {
    ch = ch == 1 ? 1 : 0;
    const int band = plan_.bandOf(hz);
    if (band >= 0) {
        BandCell& c = cells_[band][ch];
        const int64_t gap = epochMs - lastT_[ch];
        if (seen_[ch] && lastBand_[ch] == band && gap > 0 && gap <= kMaxGapMs) c.timeMs += gap;
        if (fwdW >= minPowerW_ && !std::isnan(swr)) {
            if (c.hist.empty()) c.hist.assign(BandCell::kBins, 0);
            if (c.n == 0 || swr < c.minSwr) c.minSwr = swr;
            if (c.n == 0 || swr > c.maxSwr) c.maxSwr = swr;
            ++c.hist[BandCell::bin(swr)];
            c.sumFwdW += fwdW;
            ++c.n;
            c.lastSeenMs = std::max(c.lastSeenMs, epochMs);
        }
    }
    seen_[ch] = true;
    lastT_[ch] = epochMs;
    lastBand_[ch] = band;
    ++added_;
}

std::string swrText(double swr) {
    if (std::isinf(swr)) return "HIG";
    if (std::isnan(swr)) return "";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", swr);
    return buf;
}

namespace {
std::string localTime(int64_t epochMs) {
    if (epochMs <= 0) return "";
    const std::time_t secs = static_cast<std::time_t>(epochMs / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}
}  // namespace

std::string BandStats::csv() const {
    std::string out =
        "\"Band\",\"Channel\",\"Readings\",\"MinSwr\",\"MedianSwr\",\"MaxSwr\",\"MeanFwdW\","
        "\"TimeOnBandS\",\"LastSeen\"\r\n";
    for (size_t b = 0; b < cells_.size(); ++b) {
        for (int ch = 0; ch < 2; ++ch) {
            const BandCell& c = cells_[b][ch];
            if (c.n == 0 && c.timeMs == 0) continue;
            char fwd[32], time[32];
            std::snprintf(fwd, sizeof fwd, "%.1f", c.meanFwdW());
            std::snprintf(time, sizeof time, "%.1f", c.timeMs / 1000.0);
            out += "\"" + plan_.bands()[b].name + "\",\"" + (ch ? "B" : "A") + "\"," +
                   std::to_string(c.n) + "," + (c.n ? swrText(c.minSwr) : "") + "," +
                   (c.n ? swrText(c.medianSwr()) : "") + "," + (c.n ? swrText(c.maxSwr) : "") +
                   "," + (c.n ? fwd : "") + "," + time + ",\"" + localTime(c.lastSeenMs) + "\"\r\n";
        }
    }
    return out;
}

void BandStatsListener::onReading(const ReadingEvent& e) {
    const alarm::AlarmSample s = alarm::sampleOf(e);
    stats_.add(s.channel, e.epochMs, e.rig.hz, s.swr, s.forwardW);
}

}  // namespace quellon::rig
