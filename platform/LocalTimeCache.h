#pragma once
// Local time of day for time stamps written hundreds of times a second. The
// system's conversion to local time reads the time-zone settings on every call
// (with a stat of /etc/localtime each time); here the zone's offset from UTC is
// looked up once and reused for the rest of that minute of UTC. Zone changes
// (summer time) fall on whole minutes, so every stamp equals the system's
// conversion of the same instant; a changed zone setting is seen within a minute.

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

namespace quellon {

class LocalTimeCache {
public:
    // offsetAt: seconds east of UTC of the local zone at an instant (ms since 1970 UTC).
    explicit LocalTimeCache(std::function<int(int64_t epochMs)> offsetAt)
        : offsetAt_(std::move(offsetAt)) {}

    // The local date and time of the instant epochMs.
    LocalTime at(int64_t epochMs);

    // Zone look-ups made so far.
    uint64_t lookups() const { return lookups_; }

private:
    std::function<int(int64_t)> offsetAt_;
    int64_t minuteStart_ = 0;
    int64_t minuteEnd_ = 0;  // empty range: nothing cached yet
    int64_t offsetMs_ = 0;
    uint64_t lookups_ = 0;
};

// The civil date and time of ms since 1970, both taken in the same zone.
LocalTime civilFromEpochMs(int64_t ms);

}  // namespace quellon
