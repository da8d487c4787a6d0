#pragma once
// The log's records from the stream's readings: each A reading is paired with
// the B reading right after it into one record. A B without an A right before
// it (the first frame of a stream, or after a resynchronisation) writes
// nothing, so a record never joins readings of two connections.

#include <array>
#include <cstdint>
#include <string>

#include "datalog/DataLogger.h"
#include "session/ReadingBus.h"

namespace quellon {

class LogPairing : public ReadingListener {
public:
    // logging() says whether records are wanted now (logging switched on).
    LogPairing(DataLogger& logger, std::function<bool()> logging);

    void onReading(const ReadingEvent& e) override;
    // The next reading starts a new pair.
    void forget() { last_.clear(); }
    const std::string& lastChannel() const { return last_; }
    // The powers of the record being built: 0..3 channel A, 4..7 channel B.
    const std::array<int16_t, 9>& record() const { return record_; }

private:
    DataLogger& logger_;
    std::function<bool()> logging_;
    std::string last_;
    std::array<int16_t, 9> record_{};
};

}  // namespace quellon
