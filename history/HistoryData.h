#pragma once
// The building blocks of the power and SWR history: one sample per accepted
// frame, aggregates (min, max, mean) of many samples, and the decimation that
// turns any stretch of samples into one aggregate per pixel column. A column
// keeps the minimum and the maximum of everything it covers, so a single
// short spike stays visible however long the span on screen is.

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace quellon::history {

enum Trace { Fwd = 0, Ref = 1, Swr = 2 };
constexpr int kTraces = 3;
constexpr int kChannels = 2;  // 0 = A, 1 = B

// One frame of one channel. Powers in watts; SWR is NaN while there is no
// forward power to measure it against (the displays show "---" then).
struct Sample {
    int64_t t = 0;  // ms since 1970 UTC
    float v[kTraces] = {0, 0, 0};
    uint8_t alarm = 0;  // the channel's SWR was above its threshold
    uint8_t mode = 0;   // the rig's mode (modeCode), 0 when not known
    uint32_t hz = 0;    // the rig's frequency, 0 when not known
};

// A frequency as a sample keeps it: 0 for unknown and for what does not fit.
inline uint32_t sampleHz(int64_t hz) {
    return hz > 0 && hz <= int64_t(UINT32_MAX) ? static_cast<uint32_t>(hz) : 0;
}

// Minimum, maximum, sum and count of each trace over a set of samples.
struct Agg {
    float mn[kTraces];
    float mx[kTraces];
    double sum[kTraces];
    uint32_t n[kTraces];
    uint32_t alarms;
    uint32_t hz;   // the latest known frequency of the samples, 0 when none was
    uint8_t mode;  // and its mode

    Agg() { clear(); }
    void clear() {
        for (int i = 0; i < kTraces; ++i) {
            mn[i] = std::numeric_limits<float>::infinity();
            mx[i] = -std::numeric_limits<float>::infinity();
            sum[i] = 0;
            n[i] = 0;
        }
        alarms = 0;
        hz = 0;
        mode = 0;
    }
    void add(const Sample& s) {
        for (int i = 0; i < kTraces; ++i) {
            const float v = s.v[i];
            if (std::isnan(v)) continue;
            if (v < mn[i]) mn[i] = v;
            if (v > mx[i]) mx[i] = v;
            sum[i] += v;
            ++n[i];
        }
        alarms += s.alarm ? 1u : 0u;
        if (s.hz) hz = s.hz, mode = s.mode;
    }
    void add(const Agg& a) {
        for (int i = 0; i < kTraces; ++i) {
            if (a.n[i] == 0) continue;
            if (a.mn[i] < mn[i]) mn[i] = a.mn[i];
            if (a.mx[i] > mx[i]) mx[i] = a.mx[i];
            sum[i] += a.sum[i];
            n[i] += a.n[i];
        }
        alarms += a.alarms;
        if (a.hz) hz = a.hz, mode = a.mode;
    }
    bool has(int trace) const { return n[trace] != 0; }
    double mean(int trace) const { return n[trace] ? sum[trace] / n[trace] : std::nan(""); }
};

// SWR from forward and reflected power: the reflection coefficient is the
// ratio of the voltages, rho = sqrt(Pref / Pfwd), and SWR = (1 + rho) / (1 - rho).
// It is the same SWR the bridge's readings give from the detector counts (the
// counts are proportional to the voltages), here taken from the powers a log
// holds. No forward power: NaN (no SWR). No reflected power: 1. Reflected at
// or above forward: kSwrNoMatch, the value the readings carry in that case.
constexpr float kSwrNoMatch = 6.0f;
float swrFromPowers(double fwdW, double refW);

// Aggregates per pixel column of one time range [t0, t1) for both channels.
// Column c covers [t0 + c * span / width, t0 + (c + 1) * span / width).
class Columns {
public:
    Columns(int64_t t0, int64_t t1, int width);
    int64_t t0() const { return t0_; }
    int64_t t1() const { return t1_; }
    int width() const { return width_; }
    double msPerColumn() const { return static_cast<double>(t1_ - t0_) / width_; }
    // Column of time t, or -1 outside [t0, t1).
    int column(int64_t t) const {
        if (t < t0_ || t >= t1_) return -1;
        return static_cast<int>((t - t0_) * width_ / (t1_ - t0_));
    }
    // First time that falls into column c (c may be width: the range's end).
    int64_t columnStart(int c) const;

    void add(int ch, const Sample& s) {
        const int c = column(s.t);
        if (c >= 0 && passes(s.hz)) cols_[ch][c].add(s);
    }
    void add(int ch, int64_t t, const Agg& a) {
        const int c = column(t);
        if (c >= 0 && passes(a.hz)) cols_[ch][c].add(a);
    }
    // Only what was measured on [lowHz, highHz] is taken (a bucket by its
    // latest frequency); off: everything.
    void setBand(int64_t lowHz, int64_t highHz) {
        bandLow_ = lowHz;
        bandHigh_ = highHz;
        filtered_ = true;
    }
    bool filtered() const { return filtered_; }
    bool passes(uint32_t hz) const {
        return !filtered_ || (hz != 0 && hz >= bandLow_ && hz <= bandHigh_);
    }
    const Agg& at(int ch, int c) const { return cols_[ch][c]; }
    Agg& at(int ch, int c) { return cols_[ch][c]; }
    // The whole range of one channel: the min, max and mean shown for the span.
    Agg total(int ch) const;

private:
    int64_t t0_, t1_;
    int width_;
    bool filtered_ = false;
    int64_t bandLow_ = 0, bandHigh_ = 0;
    std::vector<Agg> cols_[kChannels];
};

// Something the history window can show: the live store or a loaded log.
class HistorySource {
public:
    virtual ~HistorySource() = default;
    virtual bool empty() const = 0;
    virtual int64_t firstMs() const = 0;
    virtual int64_t lastMs() const = 0;
    // Fills out with the stored data of its range, choosing the finest
    // resolution kept there that is not finer than needed.
    virtual void decimate(Columns& out) const = 0;
    // Every stored element of a channel in [t0, t1) in time order at the finest
    // resolution kept there: a sample (one-sample aggregate) or a bucket; t is
    // the element's start.
    virtual void visit(int ch, int64_t t0, int64_t t1,
                       const std::function<void(int64_t t, const Agg&)>& fn) const = 0;
    // The channel's SWR alarm threshold; 0 when not known.
    virtual double threshold(int ch) const = 0;
    // Changes whenever the data changes, so a window redraws only then.
    virtual uint64_t version() const = 0;
};

}  // namespace quellon::history
