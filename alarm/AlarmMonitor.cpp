#include "alarm/AlarmMonitor.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace quellon::alarm {

AlarmSample sampleOf(const ReadingEvent& e) {
    const ChannelReading& r = e.reading;
    AlarmSample s;
    s.channel = e.isA() ? 0 : 1;
    const int16_t maxSwr = e.isA() ? e.state.params.MaxSwrA : e.state.params.MaxSwrB;
    s.threshold = maxSwr > 0 ? maxSwr / 100.0 : 0.0;
    s.forwardW = r.pwrDirMax / 10.0;
    switch (r.swrKind) {
        case SwrKind::NoPower: s.swr = 0; break;
        case SwrKind::NoReflection: s.swr = 1; break;
        case SwrKind::Value: s.swr = r.swrValue; break;
        case SwrKind::High:
            // "HIG" also stands for reflected at or above forward, whatever
            // the threshold: no finite SWR says that.
            s.swr = swrAbove(r.swrValue, s.threshold) ? r.swrValue
                                                      : std::numeric_limits<double>::infinity();
            break;
    }
    return s;
}

namespace {
int64_t steadyNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
int64_t wallNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

AlarmMonitor::AlarmMonitor(AlarmConfig config, Clock steadyMs, Clock wallMs)
    : cond_(config),
      steady_(steadyMs ? std::move(steadyMs) : Clock(steadyNow)),
      wall_(wallMs ? std::move(wallMs) : Clock(wallNow)) {}

void AlarmMonitor::onReading(const ReadingEvent& e) {
    streaming_ = true;  // also when subscribed after the stream began
    AlarmSample s = sampleOf(e);
    s.atMs = steady_();
    // The other channel's pending edge is decided too: frames of both arrive
    // in turn, so neither waits for the timer.
    std::vector<AlarmEvent> out = cond_.update(s);
    for (const AlarmEvent& ev : cond_.advance(s.atMs)) out.push_back(ev);
    publish(out);
}

void AlarmMonitor::onLinkState(LinkState s) {
    streaming_ = s == LinkState::Streaming;
    // Without frames nobody knows the SWR: the alarm ends as "link lost" (the
    // loss itself is reported on its own), a pending start is forgotten.
    if (!streaming_) publish(cond_.reset(steady_(), EndCause::LinkLost));
}

void AlarmMonitor::poll() {
    if (streaming_) publish(cond_.advance(steady_()));
}

void AlarmMonitor::subscribe(AlarmSubscriber* s) {
    if (s && std::find(subs_.begin(), subs_.end(), s) == subs_.end()) subs_.push_back(s);
}

void AlarmMonitor::unsubscribe(AlarmSubscriber* s) {
    subs_.erase(std::remove(subs_.begin(), subs_.end(), s), subs_.end());
}

void AlarmMonitor::publish(const std::vector<AlarmEvent>& events) {
    if (events.empty()) return;
    const int64_t wall = wall_();
    for (const AlarmEvent& e : events) {
        // A copy: a subscriber may subscribe or unsubscribe from inside its
        // call; one unsubscribed meanwhile is not called any more.
        const std::vector<AlarmSubscriber*> now = subs_;
        for (AlarmSubscriber* s : now)
            if (std::find(subs_.begin(), subs_.end(), s) != subs_.end()) s->onAlarm(e, wall);
    }
}

}  // namespace quellon::alarm
