#pragma once
// A CSV log of the program read back as a history: the header line and the
// records of both channels (quoted local date and time, then the eight powers
// in tenths of a watt), CR LF line ends (a bare LF is taken too). A log
// written with [Rig] LogFrequency=1 has two more columns at the end, the
// frequency in hertz and the quoted mode; both forms are read.
//
// Forward and reflected power come from PwrDir and PwrRef of each channel;
// the SWR is computed from the peak powers PwrDirMax and PwrRefMax, the values
// the displays' SWR is taken from (swrFromPowers). A line that is not a record
// is skipped and counted; so is a last line without its line end (a log cut
// off while it was written). A file whose first line is neither the header
// nor a record is not a log and is refused with a message.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/RigTag.h"
#include "history/HistoryData.h"

namespace quellon::history {

class LogHistory : public HistorySource {
public:
    // Samples per block of the precomputed aggregates that make wide columns cheap.
    static constexpr size_t kBlock = 64;

    // Takes samples of both channels in any order (they are sorted here).
    LogHistory(std::vector<Sample> a, std::vector<Sample> b, double thresholdA, double thresholdB);

    size_t size(int ch) const { return s_[ch].size(); }
    const std::vector<Sample>& samples(int ch) const { return s_[ch]; }

    bool empty() const override { return s_[0].empty() && s_[1].empty(); }
    int64_t firstMs() const override { return first_; }
    int64_t lastMs() const override { return last_; }
    // Exact: each column gets every sample of its time range.
    void decimate(Columns& out) const override;
    void visit(int ch, int64_t t0, int64_t t1,
               const std::function<void(int64_t, const Agg&)>& fn) const override;
    double threshold(int ch) const override { return threshold_[ch]; }
    uint64_t version() const override { return 1; }

private:
    size_t lowerBound(int ch, int64_t t) const;
    std::vector<Sample> s_[kChannels];
    std::vector<Agg> blocks_[kChannels];
    double threshold_[kChannels];
    int64_t first_ = 0, last_ = 0;
};

struct LogLoad {
    bool ok = false;
    std::string message;  // why the file was refused (ok false)
    bool cancelled = false;
    uint64_t records = 0;
    uint64_t badLines = 0;
    uint64_t dropped = 0;  // good records beyond kMaxRecords
    std::unique_ptr<LogHistory> history;
};

// Records kept from one file (about 100 MB of samples); the rest is counted.
constexpr uint64_t kMaxRecords = 2'000'000;

// Where a load on another thread stands, and how it is stopped.
struct LoadProgress {
    std::atomic<bool> cancel{false};  // set: the load ends at the next block
    std::atomic<uint64_t> bytesRead{0};
    std::atomic<uint64_t> bytesTotal{0};  // the file's size, once it is open
};

// Reads a log. The thresholds mark the alarm moments (SWR above them); 0: none.
// Only a regular file is read: a pipe, a device or a folder is refused with its
// path named, and the open never waits for a pipe's other end. With progress,
// the load can be cancelled (then ok is false and cancelled true).
LogLoad loadLog(const std::string& path, double thresholdA, double thresholdB,
                LoadProgress* progress = nullptr);

// The parts of one line, for the reader and its tests. Returns false when the
// line (without its line end) is not a record.
struct LogRecord {
    int year, month, day, hour, minute, second, ms;
    int16_t v[8];
    int64_t hz;     // the frequency columns ([Rig] LogFrequency=1); 0 without them
    char mode[16];  // "" without them
};
bool parseRecord(const char* p, const char* end, LogRecord& r);
bool isHeader(const char* p, const char* end);

}  // namespace quellon::history
