#pragma once
// What part of the history the window shows: a span ending now (following)
// or at the moment the view was paused, or a region zoomed into with the
// mouse; and the mapping between times and pixel columns. Plain C++ so the
// window's handlers are tested without a display.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quellon::history {

struct TimeRange {
    int64_t t0 = 0, t1 = 1;  // [t0, t1)
    int64_t span() const { return t1 - t0; }
    bool operator==(const TimeRange&) const = default;
};

// Times and pixels of a plot of `width` columns whose left edge is x = 0.
class TimeAxis {
public:
    TimeAxis(TimeRange r, int width) : r_(r), width_(width < 1 ? 1 : width) {}
    // Left edge of the column that shows t (fractional).
    double xOf(int64_t t) const {
        return static_cast<double>(t - r_.t0) * width_ / static_cast<double>(r_.span());
    }
    // The time at pixel x (the start of that column for whole x).
    int64_t tOf(double x) const {
        return r_.t0 + static_cast<int64_t>(x * static_cast<double>(r_.span()) / width_);
    }
    int width() const { return width_; }
    TimeRange range() const { return r_; }

private:
    TimeRange r_;
    int width_;
};

class ViewState {
public:
    static constexpr std::array<int64_t, 5> kSpansMs = {60'000, 600'000, 3'600'000, 28'800'000,
                                                        86'400'000};
    static constexpr int64_t kMinZoomMs = 20;  // a frame pair at the line's rate

    // The range shown at time `now` (the newest time of the data: the clock for
    // a live view, the last record of a log).
    TimeRange range(int64_t now) const;

    void setSpan(int index);  // leaves any zoom
    int spanIndex() const { return span_; }
    int64_t spanMs() const { return kSpansMs[static_cast<size_t>(span_)]; }

    // Pause freezes the range where it is; follow makes it end at now again
    // (and leaves any zoom).
    void setFollow(bool on, int64_t now);
    bool follow() const { return follow_ && zoom_.empty(); }

    // Zooms into the columns [x0, x1] of an axis `width` wide showing range(now).
    // Returns false when the region is too narrow to mean a zoom.
    bool zoomTo(double x0, double x1, int width, int64_t now);
    // Shows exactly r (a loaded log opens on its whole length this way).
    void showRange(TimeRange r);
    // Back to the view before the last zoom. False when there was none.
    bool back();
    size_t zoomDepth() const { return zoom_.size(); }
    // Drops every zoom and follows again.
    void reset();

private:
    int span_ = 0;
    bool follow_ = true;
    int64_t pausedEnd_ = 0;
    std::vector<TimeRange> zoom_;
};

// "12:34:56.789" (local time), with the date in front when withDate.
std::string formatTime(int64_t epochMs, bool withDate);

}  // namespace quellon::history
