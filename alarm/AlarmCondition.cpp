#include "alarm/AlarmCondition.h"

namespace quellon::alarm {

bool swrAbove(double swr, double threshold) {
    // As the frame decoder decides "HIG": both sides as float, so that an SWR
    // of 3.1 against a threshold of 310 / 100 is equal, not above.
    return static_cast<float>(threshold) < static_cast<float>(swr);
}

bool AlarmCondition::high(const AlarmSample& s) const {
    return s.threshold > 0 && s.forwardW >= config_.minPowerW && swrAbove(s.swr, s.threshold);
}

void AlarmCondition::noteHigh(Channel& c, const AlarmSample& s) {
    AlarmEvent& e = c.ev;
    e.channel = static_cast<int>(index(s.channel));
    e.swr = s.swr;
    e.forwardW = s.forwardW;
    e.threshold = s.threshold;
    if (s.swr > e.peakSwr) e.peakSwr = s.swr;
    if (s.forwardW > e.peakForwardW) e.peakForwardW = s.forwardW;
}

std::vector<AlarmEvent> AlarmCondition::update(const AlarmSample& s) {
    std::vector<AlarmEvent> out;
    Channel& c = ch_[index(s.channel)];
    if (c.active && s.threshold <= 0) {
        c.active = false;
        c.highSince.reset();
        c.lowSince.reset();
        c.ev.edge = AlarmEdge::End;
        c.ev.cause = EndCause::ChannelOff;
        c.ev.atMs = s.atMs;
        out.push_back(c.ev);
        return out;
    }
    if (high(s)) {
        if (!c.active && !c.highSince) {
            c.highSince = s.atMs;
            c.ev = AlarmEvent{};
            c.ev.sinceMs = s.atMs;
        }
        c.lowSince.reset();
        noteHigh(c, s);
    } else if (c.active) {
        if (!c.lowSince) c.lowSince = s.atMs;
    } else {
        c.highSince.reset();
    }
    if (auto e = due(c, s.atMs)) out.push_back(*e);
    return out;
}

std::optional<AlarmEvent> AlarmCondition::due(Channel& c, int64_t nowMs) {
    // A clock that steps back (a test's, or a broken one) restarts the run
    // from now instead of waiting for the old time to come round again.
    auto elapsed = [&](std::optional<int64_t>& since) {
        if (!since) return false;
        if (nowMs < *since) since = nowMs;
        return nowMs - *since >= config_.holdMs;
    };
    if (!c.active && elapsed(c.highSince)) {
        c.active = true;
        c.highSince.reset();
        c.ev.edge = AlarmEdge::Start;
        c.ev.atMs = nowMs;
        return c.ev;
    }
    if (c.active && elapsed(c.lowSince)) {
        c.active = false;
        c.lowSince.reset();
        c.ev.edge = AlarmEdge::End;
        c.ev.cause = EndCause::Cleared;
        c.ev.atMs = nowMs;
        return c.ev;
    }
    return std::nullopt;
}

std::vector<AlarmEvent> AlarmCondition::advance(int64_t nowMs) {
    std::vector<AlarmEvent> out;
    for (Channel& c : ch_)
        if (auto e = due(c, nowMs)) out.push_back(*e);
    return out;
}

std::vector<AlarmEvent> AlarmCondition::reset(int64_t nowMs, EndCause cause) {
    std::vector<AlarmEvent> out;
    for (Channel& c : ch_) {
        if (c.active) {
            c.ev.edge = AlarmEdge::End;
            c.ev.cause = cause;
            c.ev.atMs = nowMs;
            out.push_back(c.ev);
        }
        c.active = false;
        c.highSince.reset();
        c.lowSince.reset();
    }
    return out;
}

std::optional<int64_t> AlarmCondition::nextDueMs() const {
    std::optional<int64_t> next;
    for (const Channel& c : ch_) {
        const auto& since = c.active ? c.lowSince : c.highSince;
        if (since && (!next || *since + config_.holdMs < *next)) next = *since + config_.holdMs;
    }
    return next;
}

}  // namespace quellon::alarm
