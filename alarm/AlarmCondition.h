#pragma once
// When a channel is in alarm. Pure logic: no clock, no Qt. The caller hands in
// every sample with its time (milliseconds of a steady clock that never steps;
// no value of it, 0 included, means "long ago") and gets the start and end of
// each alarm back.
//
// A sample is high when the channel is on (threshold above 0), the forward
// power is at least the minimum (an unkeyed transmitter's noise never alarms)
// and the SWR is above the threshold, compared as the displays compare it
// before they show "HIG". An alarm starts when a channel has been high for the
// hold time without a break and ends when it has been not high for the same
// time, so that a single stray frame neither starts nor ends one. A channel
// switched off ends its alarm at once.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quellon::alarm {

struct AlarmConfig {
    int64_t holdMs = 300;
    double minPowerW = 1.0;
};

struct AlarmSample {
    int channel = 0;       // 0 = A, 1 = B
    double swr = 0;        // +infinity: reflected at or above forward
    double forwardW = 0;   // peak forward power, the power the SWR was measured at
    double threshold = 0;  // the channel's MaxSwr / 100; 0 = the channel is off
    int64_t atMs = 0;      // steady clock
};

enum class AlarmEdge : uint8_t { Start, End };
enum class EndCause : uint8_t { Cleared, ChannelOff, LinkLost };

struct AlarmEvent {
    AlarmEdge edge = AlarmEdge::Start;
    int channel = 0;
    double swr = 0;           // the latest high sample's SWR
    double forwardW = 0;      // and its forward power
    double threshold = 0;     // the threshold in force at that sample
    double peakSwr = 0;       // the highest SWR of the alarm so far (from its first high sample)
    double peakForwardW = 0;  // the highest forward power while high
    int64_t atMs = 0;         // when the edge was decided (steady clock)
    int64_t sinceMs = 0;      // the alarm's first high sample (steady clock)
    EndCause cause = EndCause::Cleared;  // End only
    const char* channelName() const { return channel == 0 ? "A" : "B"; }
};

// The rule the displays use for "HIG", for any caller that must agree with them.
bool swrAbove(double swr, double threshold);

class AlarmCondition {
public:
    explicit AlarmCondition(AlarmConfig config = {}) : config_(config) {}

    const AlarmConfig& config() const { return config_; }
    void setConfig(const AlarmConfig& c) { config_ = c; }

    // One sample; returns the edges it decides (none, or one).
    std::vector<AlarmEvent> update(const AlarmSample& s);
    // Decides the edges whose hold time has run out by now with no new sample,
    // taking each channel's last sample as still true.
    std::vector<AlarmEvent> advance(int64_t nowMs);
    // Ends every alarm (the link went away); forgets every pending start.
    std::vector<AlarmEvent> reset(int64_t nowMs, EndCause cause = EndCause::LinkLost);

    bool active(int channel) const { return ch_[index(channel)].active; }
    // The alarm's data while active (peaks, since), or the pending high run.
    const AlarmEvent& current(int channel) const { return ch_[index(channel)].ev; }
    // When the next edge falls due if nothing changes, for a caller's timer.
    std::optional<int64_t> nextDueMs() const;

private:
    struct Channel {
        bool active = false;
        std::optional<int64_t> highSince;  // quiet: start of the unbroken high run
        std::optional<int64_t> lowSince;   // active: start of the unbroken not-high run
        AlarmEvent ev;
    };
    static size_t index(int channel) { return channel == 1 ? 1 : 0; }
    bool high(const AlarmSample& s) const;
    void noteHigh(Channel& c, const AlarmSample& s);
    std::optional<AlarmEvent> due(Channel& c, int64_t nowMs);

    AlarmConfig config_;
    std::array<Channel, 2> ch_{};
};

}  // namespace quellon::alarm
