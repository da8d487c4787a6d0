#include "history/HistoryStore.h"

#include <algorithm>

namespace quellon::history {

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// The readings' own SWR: "---" has none, "1" means no reflected power (its
// value field stays 0 then), anything else (a number or "HIG") carries it.
float readingSwr(const ChannelReading& r) {
    const std::string text = r.swrTextNow();
    if (text == "---") return std::nanf("");
    if (text == "1") return 1.0f;
    return r.swrValue;
}

}  // namespace

// The default limits must keep a full day at the line's rate well inside 50 MB.
static_assert(sizeof(Agg) <= 72, "a bucket aggregate grew: check the memory bound");

HistoryStore::HistoryStore() : HistoryStore(Limits{}) {}

HistoryStore::HistoryStore(const Limits& limits) : limits_(limits) {
    for (int ch = 0; ch < kChannels; ++ch) {
        raw_[ch].buf.resize(std::max<size_t>(limits_.rawPerChannel, 1));
        fine_[ch].ms = std::max<int64_t>(limits_.fineMs, 1);
        fine_[ch].buckets.resize(std::max<size_t>(limits_.fineSlots, 1));
        coarse_[ch].ms = std::max<int64_t>(limits_.coarseMs, 1);
        coarse_[ch].buckets.resize(std::max<size_t>(limits_.coarseSlots, 1));
    }
}

size_t HistoryStore::memoryBound(const Limits& l) {
    return kChannels * (std::max<size_t>(l.rawPerChannel, 1) * sizeof(Sample) +
                        std::max<size_t>(l.fineSlots, 1) * sizeof(Bucket) +
                        std::max<size_t>(l.coarseSlots, 1) * sizeof(Bucket));
}

void HistoryStore::onReading(const ReadingEvent& e) {
    const int ch = e.isA() ? 0 : 1;
    const ChannelReading& r = e.reading;
    Sample s;
    s.t = e.epochMs;
    s.v[Fwd] = static_cast<float>(r.pwrDir) / 10.0f;
    s.v[Ref] = static_cast<float>(r.pwrRef) / 10.0f;
    s.v[Swr] = readingSwr(r);
    s.alarm = e.alarm() ? 1 : 0;
    s.hz = sampleHz(e.rig.hz);
    if (s.hz) {
        // The mode changes seldom: its code is looked up only when it does.
        if (e.rig.mode != lastMode_) {
            lastMode_ = e.rig.mode;
            lastModeCode_ = modeCode(lastMode_);
        }
        s.mode = lastModeCode_;
    }
    const int16_t maxSwr = ch == 0 ? e.state.params.MaxSwrA : e.state.params.MaxSwrB;
    threshold_[ch] = maxSwr / 100.0;
    add(ch, s);
}

void HistoryStore::add(int ch, Sample s) {
    if (ch < 0 || ch >= kChannels) return;
    if (added_ == 0) {
        first_ = last_ = s.t;
    } else if (s.t < last_) {
        s.t = last_;
    }
    last_ = s.t;
    ++added_;

    Ring& r = raw_[ch];
    r.buf[r.head] = s;
    r.head = (r.head + 1) % r.buf.size();
    if (r.count < r.buf.size()) ++r.count;
    else r.wrapped = true;

    fine_[ch].add(s);
    coarse_[ch].add(s);
}

void HistoryStore::Tier::add(const Sample& s) {
    const int64_t key = floorDiv(s.t, ms);
    const int64_t n = static_cast<int64_t>(buckets.size());
    Bucket& b = buckets[static_cast<size_t>(((key % n) + n) % n)];
    if (b.key != key) {
        b.key = key;
        b.agg.clear();
    }
    b.agg.add(s);
    if (key > newestKey) newestKey = key;
}

int64_t HistoryStore::Tier::oldestKept() const {
    if (newestKey == INT64_MIN) return INT64_MIN;
    return (newestKey - static_cast<int64_t>(buckets.size()) + 1) * ms;
}

template <class Fn>
void HistoryStore::Tier::forEach(int64_t t0, int64_t t1, Fn fn) const {
    if (newestKey == INT64_MIN || t1 <= t0) return;
    const int64_t n = static_cast<int64_t>(buckets.size());
    int64_t k0 = floorDiv(t0, ms);
    int64_t k1 = std::min(floorDiv(t1 - 1, ms), newestKey);
    k0 = std::max(k0, newestKey - n + 1);
    for (int64_t k = k0; k <= k1; ++k) {
        const Bucket& b = buckets[static_cast<size_t>(((k % n) + n) % n)];
        if (b.key != k) continue;
        // A bucket that starts before the range is placed at the range's start.
        fn(std::max(k * ms, t0), b.agg);
    }
}

size_t HistoryStore::Ring::lowerBound(int64_t t) const {
    size_t lo = 0, hi = count;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (at(mid).t < t) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

bool HistoryStore::covers(int tier, int ch, int64_t t) const {
    if (tier == 0) {
        const Ring& r = raw_[ch];
        return !r.wrapped || r.count == 0 || r.at(0).t <= t;
    }
    const Tier& tr = tier == 1 ? fine_[ch] : coarse_[ch];
    const int64_t oldest = tr.oldestKept();
    return oldest == INT64_MIN || oldest <= t || oldest <= first_;
}

int HistoryStore::tierFor(int64_t t0, double msPerColumn) const {
    const auto coversBoth = [&](int tier) { return covers(tier, 0, t0) && covers(tier, 1, t0); };
    const double ms[3] = {0.0, static_cast<double>(fine_[0].ms),
                          static_cast<double>(coarse_[0].ms)};
    // The coarsest tier that still resolves a column and holds the whole range...
    for (int tier = 2; tier >= 0; --tier)
        if (ms[tier] <= msPerColumn && coversBoth(tier)) return tier;
    // ...else the finest one that holds it, else the one that reaches back furthest.
    for (int tier = 0; tier <= 2; ++tier)
        if (coversBoth(tier)) return tier;
    return 2;
}

void HistoryStore::decimate(Columns& out) const {
    if (added_ == 0) return;
    const int tier = tierFor(out.t0(), out.msPerColumn());
    for (int ch = 0; ch < kChannels; ++ch) {
        if (tier == 0) {
            // Walk the columns' edges alongside the samples: no division per sample.
            const Ring& r = raw_[ch];
            size_t i = r.lowerBound(out.t0());
            for (int c = 0; c < out.width() && i < r.count; ++c) {
                const int64_t end = out.columnStart(c + 1);
                Agg& col = out.at(ch, c);
                for (; i < r.count; ++i) {
                    const Sample& s = r.at(i);
                    if (s.t >= end) break;
                    if (out.passes(s.hz)) col.add(s);
                }
            }
        } else {
            const Tier& tr = tier == 1 ? fine_[ch] : coarse_[ch];
            tr.forEach(out.t0(), out.t1(), [&](int64_t t, const Agg& a) { out.add(ch, t, a); });
        }
    }
}

void HistoryStore::visit(int ch, int64_t t0, int64_t t1,
                         const std::function<void(int64_t, const Agg&)>& fn) const {
    if (ch < 0 || ch >= kChannels || added_ == 0) return;
    int tier = 0;
    while (tier < 2 && !covers(tier, ch, t0)) ++tier;
    if (tier == 0) {
        const Ring& r = raw_[ch];
        Agg a;
        for (size_t i = r.lowerBound(t0); i < r.count; ++i) {
            const Sample& s = r.at(i);
            if (s.t >= t1) break;
            a.clear();
            a.add(s);
            fn(s.t, a);
        }
    } else {
        (tier == 1 ? fine_[ch] : coarse_[ch]).forEach(t0, t1, fn);
    }
}

}  // namespace quellon::history
