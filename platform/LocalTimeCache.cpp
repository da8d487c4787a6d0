#include "platform/LocalTimeCache.h"

#include <chrono>

namespace quellon {

LocalTime civilFromEpochMs(int64_t ms) {
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds(ms)};
    const sys_days day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> tod{t - day};
    return LocalTime{static_cast<int>(ymd.year()),
                     static_cast<int>(static_cast<unsigned>(ymd.month())),
                     static_cast<int>(static_cast<unsigned>(ymd.day())),
                     static_cast<int>(tod.hours().count()),
                     static_cast<int>(tod.minutes().count()),
                     static_cast<int>(tod.seconds().count()),
                     static_cast<int>(tod.subseconds().count())};
}

LocalTime LocalTimeCache::at(int64_t epochMs) {
    // Outside the cached minute (later, or earlier when the clock was set back):
    // ask the zone again.
    if (epochMs < minuteStart_ || epochMs >= minuteEnd_) {
        constexpr int64_t kMinute = 60'000;
        int64_t start = epochMs / kMinute * kMinute;
        if (start > epochMs) start -= kMinute;  // before 1970
        minuteStart_ = start;
        minuteEnd_ = start + kMinute;
        offsetMs_ = static_cast<int64_t>(offsetAt_(epochMs)) * 1000;
        ++lookups_;
    }
    return civilFromEpochMs(epochMs + offsetMs_);
}

}  // namespace quellon
