#pragma once
// A silence watchdog: its handler runs when no kick() came for a whole timeout.
// Kicked on every frame (hundreds a second), so a kick only notes the time;
// the timer is not stopped and restarted each time. When the timer runs out
// it compares the time of the last kick with the deadline: too early, it is
// armed again for exactly the time that is left, so the handler still runs the
// timeout after the last kick.
//
// The timer stays the one that callers see (isActive, stop): stopping it stops
// the watchdog; the watchdog is started only through start() or kick().

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

namespace quellon {

class Watchdog {
public:
    Watchdog(Platform& platform, Timer& timer, int timeoutMs, std::function<void()> onExpired)
        : p_(platform), timer_(timer), timeoutMs_(timeoutMs), onExpired_(std::move(onExpired)) {
        timer_.setInterval(timeoutMs_);
        timer_.onTimeout = [this] { check(); };
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // (Re)starts the countdown from now.
    void start() {
        last_ = p_.tickCount();
        timer_.setInterval(timeoutMs_);
        timer_.start();
    }
    // Something arrived: the countdown begins again from now. A stopped
    // watchdog starts.
    void kick() {
        if (!timer_.isActive()) {
            start();
            return;
        }
        last_ = p_.tickCount();
    }
    void stop() { timer_.stop(); }
    bool isActive() const { return timer_.isActive(); }
    int timeoutMs() const { return timeoutMs_; }

private:
    void check() {
        const uint32_t quiet = p_.tickCount() - last_;  // wraps with the tick counter
        if (quiet < static_cast<uint32_t>(timeoutMs_)) {
            timer_.setInterval(timeoutMs_ - static_cast<int>(quiet));
            return;
        }
        // A handler that leaves the timer running is called again a whole
        // timeout later, as with a plain repeating timer.
        timer_.setInterval(timeoutMs_);
        last_ = p_.tickCount();
        if (onExpired_) onExpired_();
    }

    Platform& p_;
    Timer& timer_;
    int timeoutMs_;
    std::function<void()> onExpired_;
    uint32_t last_ = 0;
};

}  // namespace quellon
