#pragma once
// The alarm condition fed from the session's readings: every accepted frame
// becomes a sample of its channel, a link that stops streaming ends every
// alarm, and the start and end of each alarm go to the subscribers (the big
// view, the sound, the tray, the journal, the command, the rig, MQTT). The
// subscribers are called on the user-interface thread, in the reading's call;
// one that has slow work to do hands it on.

#include <cstdint>
#include <functional>
#include <vector>

#include "alarm/AlarmCondition.h"
#include "session/ReadingBus.h"

namespace quellon::alarm {

class AlarmSubscriber {
public:
    virtual ~AlarmSubscriber() = default;
    // e.atMs is the monitor's steady clock; epochMs the wall clock at the edge.
    virtual void onAlarm(const AlarmEvent& e, int64_t epochMs) = 0;
};

// The frame's reading as an alarm sample (without its time).
AlarmSample sampleOf(const ReadingEvent& e);

class AlarmMonitor : public ReadingListener {
public:
    using Clock = std::function<int64_t()>;
    // steadyMs must never step back; wallMs stamps the edges for the journal.
    // Defaults: the system's steady and wall clocks.
    explicit AlarmMonitor(AlarmConfig config = {}, Clock steadyMs = {}, Clock wallMs = {});

    void onReading(const ReadingEvent& e) override;
    void onLinkState(LinkState s) override;
    // Decides the edges that fall due with no new frame; a timer calls it
    // (every 50 ms is plenty: see nextDueMs()).
    void poll();

    // Subscribers may come and go at any time, also from inside a call.
    void subscribe(AlarmSubscriber* s);
    void unsubscribe(AlarmSubscriber* s);

    const AlarmCondition& condition() const { return cond_; }
    void setConfig(const AlarmConfig& c) { cond_.setConfig(c); }
    bool active(int channel) const { return cond_.active(channel); }
    bool anyActive() const { return cond_.active(0) || cond_.active(1); }
    int64_t nowMs() const { return steady_(); }

private:
    void publish(const std::vector<AlarmEvent>& events);

    AlarmCondition cond_;
    Clock steady_, wall_;
    std::vector<AlarmSubscriber*> subs_;
    bool streaming_ = false;
};

}  // namespace quellon::alarm
