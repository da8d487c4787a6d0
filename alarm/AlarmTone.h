#pragma once
// The alarm's tone, made here rather than read from a file: a sine at the
// given frequency, on for onMs and off for offMs, over and over. Each burst
// fades in and out over a few milliseconds: a sine switched on at full level
// clicks, and a click is what people learn to ignore.

#include <cstddef>
#include <cstdint>

namespace quellon::alarm {

class AlarmTone {
public:
    AlarmTone(int sampleRate, int hz, int onMs = 200, int offMs = 200, int rampMs = 10);
    // The next n mono samples (16-bit); the pattern goes on from where it stopped.
    void fill(int16_t* out, size_t n);
    // Back to the start of a burst.
    void restart() { pos_ = 0; }
    int sampleRate() const { return rate_; }

private:
    int rate_;
    double step_;  // radians per sample
    int64_t on_, period_, ramp_;
    int64_t pos_ = 0;  // sample within the period
};

}  // namespace quellon::alarm
