#pragma once
// SWR per band and channel: of the readings whose forward power is at least
// the alarm's minimum, their count, minimum / median / maximum SWR and mean
// forward power; the time the channel's readings were on the band (any power)
// and when it was last seen there with power. Fed by live readings and by
// logs with frequency; memory does not grow with the readings (the median is
// taken from a histogram of the SWR in hundredths).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rig/BandPlan.h"
#include "session/ReadingBus.h"

namespace quellon::rig {

struct BandCell {
    // SWR in hundredths from 1.00 to kTop; above it, and reflected at or above
    // forward (an infinite SWR), in the last bin.
    static constexpr int kLow = 100, kTop = 2000;
    static constexpr int kBins = kTop - kLow + 2;

    uint64_t n = 0;  // readings with power
    double minSwr = 0, maxSwr = 0;
    double sumFwdW = 0;
    int64_t timeMs = 0;
    int64_t lastSeenMs = 0;  // wall clock; 0 while n is 0
    std::vector<uint32_t> hist;

    // The lower median, to the hundredth; +infinity when it lies above kTop.
    double medianSwr() const;
    double meanFwdW() const { return n ? sumFwdW / static_cast<double>(n) : 0; }
    // The bin an SWR is counted in.
    static int bin(double swr);
    static double binValue(int bin);
};

class BandStats {
public:
    // Readings further apart than this are not on the band in between.
    static constexpr int64_t kMaxGapMs = 2000;

    BandStats(BandPlan plan, double minPowerW);

    void add(int ch, int64_t epochMs, int64_t hz, double swr, double fwdW);
    void clear();

    const BandPlan& plan() const { return plan_; }
    double minPowerW() const { return minPowerW_; }
    const BandCell& cell(int band, int ch) const { return cells_[band][ch]; }
    uint64_t added() const { return added_; }

    // The table as CSV with a header line, one line per band and channel with
    // readings, CR LF line ends.
    std::string csv() const;

private:
    BandPlan plan_;
    double minPowerW_;
    std::vector<std::array<BandCell, 2>> cells_;
    int64_t lastT_[2] = {0, 0};
    int lastBand_[2] = {-1, -1};
    bool seen_[2] = {false, false};  // a first reading has no gap before it
    uint64_t added_ = 0;
};

// The live readings into a BandStats: each frame with its channel's alarm
// sample (the SWR and forward power the alarm judges) and its rig tag.
class BandStatsListener : public ReadingListener {
public:
    explicit BandStatsListener(BandStats& stats) : stats_(stats) {}
    void onReading(const ReadingEvent& e) override;

private:
    BandStats& stats_;
};

// "1.52", "HIG" for an infinite SWR.
std::string swrText(double swr);

}  // namespace quellon::rig
