#pragma once
// SWR across one band: the band cut into bins of frequency (5 kHz on HF), and
// for each bin the median and the spread (25th to 75th percentile) of the SWR
// measured there with at least the alarm's minimum forward power. Built from
// whatever history there is (live or a log): a recent span, and an older one
// beside it to show a drift of the antenna.

#include <cstdint>
#include <string>
#include <vector>

#include "history/HistoryData.h"
#include "rig/BandPlan.h"
#include "rig/BandStats.h"

namespace quellon::rig {

struct CurveBin {
    int64_t lowHz = 0;  // the bin is [lowHz, lowHz + width)
    uint32_t n = 0;
    double median = 0, p25 = 0, p75 = 0;  // NaN while n is 0
};

struct BandCurve {
    Band band;
    int64_t binHz = 0;
    int64_t t0 = 0, t1 = 0;  // the span the curve was built from
    std::vector<CurveBin> bins;
    uint64_t used = 0;  // elements of the history that went into it
};

// The bin width of a band: 5 kHz below 30 MHz, 20 kHz up to 60 MHz, 50 kHz above.
int64_t defaultBinHz(const Band& b);

// The curve of one channel over [t0, t1) of a history: each stored element
// (a frame, or a bucket by its mean and latest frequency) is one value.
BandCurve buildCurve(const history::HistorySource& src, int ch, const Band& band, int64_t binHz,
                     double minPowerW, int64_t t0, int64_t t1);

// Both curves as CSV: one line per bin, CR LF.
std::string curvesCsv(const BandCurve& recent, const BandCurve& older);

// The statistics of a whole history (a loaded log) added to stats.
void addHistory(BandStats& stats, const history::HistorySource& src);

// Writes data to path whole or not at all (a temporary file beside it, then a
// rename). Returns "" on success, else what went wrong.
std::string writeFileWhole(const std::string& path, const std::string& data);

}  // namespace quellon::rig
