#pragma once
// The live history: every accepted frame of the session, kept in memory of a
// fixed size, in three tiers:
//   - the recent frames at full rate (a ring of rawPerChannel samples per
//     channel: about 15 minutes at the line's 576 frames/s);
//   - 100 ms buckets (min, max, mean of each trace) for the last hour;
//   - 1 s buckets for the last 24 hours.
// Every frame goes into all three, so each tier is complete up to now and a
// query picks one tier for the whole range. The memory does not grow with the
// frame rate or the running time: see memoryBound() (about 37 MB with the
// default limits, whatever the rate).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "history/HistoryData.h"
#include "session/ReadingBus.h"

namespace quellon::history {

class HistoryStore : public HistorySource, public ReadingListener {
public:
    struct Limits {
        size_t rawPerChannel = size_t(1) << 18;  // 262144 samples
        int64_t fineMs = 100;
        size_t fineSlots = 36000 + 600;  // one hour and some slack
        int64_t coarseMs = 1000;
        size_t coarseSlots = 86400 + 600;  // 24 hours and some slack
    };

    HistoryStore();
    explicit HistoryStore(const Limits& limits);

    // ReadingListener: one sample of the frame's channel.
    void onReading(const ReadingEvent& e) override;

    // Adds one sample; t is clamped so that the history never runs backwards
    // (a wall clock stepped back would otherwise fold new samples into the past).
    void add(int ch, Sample s);
    void setThreshold(int ch, double swr) { threshold_[ch] = swr; }

    // Bytes held by the three tiers of both channels, fixed by the limits.
    static size_t memoryBound(const Limits& limits);
    size_t memoryBytes() const { return memoryBound(limits_); }
    const Limits& limits() const { return limits_; }
    uint64_t samplesAdded() const { return added_; }

    // Which tier a query of [t0, t1) at msPerColumn uses: 0 raw, 1 fine, 2 coarse.
    int tierFor(int64_t t0, double msPerColumn) const;

    // HistorySource
    bool empty() const override { return added_ == 0; }
    int64_t firstMs() const override { return first_; }
    int64_t lastMs() const override { return last_; }
    void decimate(Columns& out) const override;
    void visit(int ch, int64_t t0, int64_t t1,
               const std::function<void(int64_t, const Agg&)>& fn) const override;
    double threshold(int ch) const override { return threshold_[ch]; }
    uint64_t version() const override { return added_; }

private:
    struct Bucket {
        int64_t key = INT64_MIN;  // start time / bucket length
        Agg agg;
    };
    struct Tier {
        int64_t ms = 0;
        std::vector<Bucket> buckets;
        int64_t newestKey = INT64_MIN;
        void add(const Sample& s);
        // Oldest time still held (everything before it was overwritten).
        int64_t oldestKept() const;
        template <class Fn>
        void forEach(int64_t t0, int64_t t1, Fn fn) const;
    };
    struct Ring {
        std::vector<Sample> buf;
        size_t head = 0;  // next write position
        size_t count = 0;
        bool wrapped = false;
        const Sample& at(size_t i) const {             // i-th oldest
            size_t k = head + buf.size() - count + i;  // < 2 * size: no division needed
            if (k >= buf.size()) k -= buf.size();
            return buf[k];
        }
        size_t lowerBound(int64_t t) const;
    };
    // Whether a tier holds everything since t (nothing it lost is newer).
    bool covers(int tier, int ch, int64_t t) const;

    Limits limits_;
    Ring raw_[kChannels];
    Tier fine_[kChannels], coarse_[kChannels];
    double threshold_[kChannels] = {0, 0};
    int64_t first_ = 0, last_ = 0;
    uint64_t added_ = 0;
    std::string lastMode_;
    uint8_t lastModeCode_ = 0;
};

}  // namespace quellon::history
