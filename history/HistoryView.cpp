#include "history/HistoryView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace quellon::history {

TimeRange ViewState::range(int64_t now) const {
    if (!zoom_.empty()) return zoom_.back();
    const int64_t end = follow_ ? now : pausedEnd_;
    return {end - spanMs(), end};
}

void ViewState::setSpan(int index) {
    span_ = std::clamp(index, 0, static_cast<int>(kSpansMs.size()) - 1);
    zoom_.clear();
}

void ViewState::setFollow(bool on, int64_t now) {
    if (on) {
        zoom_.clear();
    } else if (follow_) {
        pausedEnd_ = now;
    }
    follow_ = on;
}

bool ViewState::zoomTo(double x0, double x1, int width, int64_t now) {
    if (x1 < x0) std::swap(x0, x1);
    x0 = std::clamp(x0, 0.0, static_cast<double>(width));
    x1 = std::clamp(x1, 0.0, static_cast<double>(width));
    const TimeAxis axis(range(now), width);
    TimeRange r{axis.tOf(x0), axis.tOf(x1)};
    if (r.span() < kMinZoomMs || x1 - x0 < 3) return false;
    // The view stops moving: what was selected stays on screen.
    if (follow_ && zoom_.empty()) pausedEnd_ = now;
    follow_ = false;
    zoom_.push_back(r);
    return true;
}

void ViewState::showRange(TimeRange r) {
    if (r.span() < kMinZoomMs) {
        const int64_t mid = r.t0 + r.span() / 2;
        r = {mid - kMinZoomMs / 2, mid + kMinZoomMs / 2};
    }
    zoom_.clear();
    zoom_.push_back(r);
    follow_ = false;
}

bool ViewState::back() {
    if (zoom_.empty()) return false;
    zoom_.pop_back();
    return true;
}

void ViewState::reset() {
    zoom_.clear();
    follow_ = true;
}

std::string formatTime(int64_t epochMs, bool withDate) {
    const int64_t sec = epochMs >= 0 ? epochMs / 1000 : (epochMs - 999) / 1000;
    const int ms = static_cast<int>(epochMs - sec * 1000);
    const std::time_t tt = static_cast<std::time_t>(sec);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[40];
    if (withDate)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

}  // namespace quellon::history
