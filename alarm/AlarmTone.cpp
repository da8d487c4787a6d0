#include "alarm/AlarmTone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quellon::alarm {

namespace {
constexpr double kLevel = 0.5 * 32767;  // half scale: loud, with headroom for the system mixer
}

AlarmTone::AlarmTone(int sampleRate, int hz, int onMs, int offMs, int rampMs)
    : rate_(sampleRate),
      step_(2 * std::numbers::pi * hz / sampleRate),
      on_(int64_t{sampleRate} * onMs / 1000),
      period_(std::max<int64_t>(1, int64_t{sampleRate} * (onMs + offMs) / 1000)),
      ramp_(std::max<int64_t>(1, int64_t{sampleRate} * rampMs / 1000)) {}

void AlarmTone::fill(int16_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        double v = 0;
        if (pos_ < on_) {
            // Raised-cosine edges at both ends of the burst.
            const int64_t edge = std::min(pos_, on_ - 1 - pos_);
            const double gain =
                edge >= ramp_ ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * edge / ramp_);
            v = gain * std::sin(step_ * static_cast<double>(pos_));
        }
        out[i] = static_cast<int16_t>(std::lround(v * kLevel));
        if (++pos_ >= period_) pos_ = 0;
    }
}

}  // namespace quellon::alarm
