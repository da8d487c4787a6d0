// Time stamps from the cached zone offset against the system's conversion of
// the same instant, across summer-time changes, on a clock the test sets.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "platform/LocalTimeCache.h"
#include "platform/QtPlatform.h"

using namespace quellon;

namespace {

std::string show(const LocalTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return buf;
}

// Sets TZ for the test's lifetime.
struct Zone {
    std::optional<std::string> saved =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
    explicit Zone(const char* tz) { setenv("TZ", tz, 1), tzset(); }
    ~Zone() { saved ? setenv("TZ", saved->c_str(), 1) : unsetenv("TZ"), tzset(); }
};

constexpr int64_t kSec = 1000, kMin = 60 * kSec, kHour = 60 * kMin;
// 2024-03-31 01:00 UTC and 2024-10-27 01:00 UTC: the European changes.
constexpr int64_t kSpring2024 = 1711846800000, kAutumn2024 = 1729990800000;

// Walks the cache and the system's conversion over [from, to) in steps of `step`
// (negative: backwards from `to`), returning the first instant where they differ.
std::optional<int64_t> firstDifference(LocalTimeCache& c, int64_t from, int64_t to, int64_t step) {
    for (int64_t t = step > 0 ? from : to - 1; step > 0 ? t < to : t >= from; t += step)
        if (show(c.at(t)) != show(QtPlatform::uncachedLocalTimeAt(t))) return t;
    return std::nullopt;
}

}  // namespace

TEST(LocalTimeCache, SameStampsAsTheSystemAcrossZoneChanges) {
    // Zone, the instants around which it changes its offset.
    const std::pair<const char*, std::array<int64_t, 2>> rows[] = {
        {"Europe/Berlin", {kSpring2024, kAutumn2024}},
        // A half-hour zone that moves its clock by half an hour only.
        {"Australia/Lord_Howe", {1712417400000, 1727969400000}},
    };
    for (const auto& [tz, changes] : rows) {
        Zone zone(tz);
        for (int64_t change : changes) {
            // Forwards in odd steps, then backwards (a clock set back), each
            // with a fresh cache and one carried over from the other walk.
            LocalTimeCache c(&QtPlatform::localOffsetAt);
            auto d = firstDifference(c, change - 2 * kHour, change + 2 * kHour, 997);
            EXPECT_FALSE(d) << tz << " forwards at " << *d << ": " << show(c.at(*d));
            d = firstDifference(c, change - 2 * kHour, change + 2 * kHour, -1013);
            EXPECT_FALSE(d) << tz << " backwards at " << *d;
            // The instants right at the change, after a look-up a minute before.
            LocalTimeCache near(&QtPlatform::localOffsetAt);
            near.at(change - kMin + 1);
            for (int64_t t : {change - 1, change, change + 1})
                EXPECT_EQ(show(near.at(t)), show(QtPlatform::uncachedLocalTimeAt(t)))
                    << tz << " at " << t;
        }
        // A whole year in steps of a few minutes, and times before 1970.
        LocalTimeCache year(&QtPlatform::localOffsetAt);
        EXPECT_FALSE(firstDifference(year, 1704067200000, 1735689600000, 7 * kMin + 13457)) << tz;
        EXPECT_FALSE(firstDifference(year, -3 * kHour, 3 * kHour, 59 * kSec + 7)) << tz;
    }
}

TEST(LocalTimeCache, OneLookupPerMinute) {
    Zone zone("Europe/Berlin");
    // Records at the line's rate (one every 3.5 ms) over ten minutes: the zone
    // is asked once per minute, not per record.
    LocalTimeCache rate(&QtPlatform::localOffsetAt);
    const int64_t start = kAutumn2024 - 5 * kMin + 20 * kSec;
    for (int64_t t = start; t < start + 10 * kMin; t += 3) rate.at(t + (t % 2));
    EXPECT_EQ(rate.lookups(), 11u);  // the minutes from 00:55:20 to 01:05:20
}
