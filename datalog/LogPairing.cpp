#include "datalog/LogPairing.h"

#include "link/FrameDecoder.h"

namespace quellon {

LogPairing::LogPairing(DataLogger& logger, std::function<bool()> logging)
    : logger_(logger), logging_(std::move(logging)) {}

void LogPairing::onReading(const ReadingEvent& e) {
    storeLogData(e.reading, record_);
    if (e.reading.channel == "B" && last_ == "A" && logging_()) logger_.writeLogRecord(record_);
    last_ = e.reading.channel;
}

}  // namespace quellon
