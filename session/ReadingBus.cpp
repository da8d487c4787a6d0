#include "session/ReadingBus.h"

#include <algorithm>

namespace quellon {

const char* linkStateName(LinkState s) {
    switch (s) {
        case LinkState::Idle: return "idle";
        case LinkState::Connecting: return "connecting";
        case LinkState::Streaming: return "streaming";
        case LinkState::Lost: return "lost";
    }
    return "?";
}

void ReadingBus::subscribe(ReadingListener* l) {
    if (!l || std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end()) return;
    listeners_.push_back(l);
}

void ReadingBus::unsubscribe(ReadingListener* l) {
    auto it = std::find(listeners_.begin(), listeners_.end(), l);
    if (it == listeners_.end()) return;
    // During a publish the vector is being walked: leave a hole, close it after.
    if (depth_ > 0) *it = nullptr;
    else listeners_.erase(it);
}

size_t ReadingBus::listenerCount() const {
    return static_cast<size_t>(std::count_if(listeners_.begin(), listeners_.end(),
                                             [](ReadingListener* l) { return l != nullptr; }));
}

void ReadingBus::compact() {
    if (depth_ == 0)
        listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), nullptr),
                         listeners_.end());
}

void ReadingBus::publishReading(const ReadingEvent& e) {
    ++depth_;
    // Index loop: a listener subscribed during the call is appended and reached too.
    for (size_t i = 0; i < listeners_.size(); ++i)
        if (ReadingListener* l = listeners_[i]) l->onReading(e);
    --depth_;
    compact();
}

void ReadingBus::publishLinkState(LinkState s) {
    if (s == state_) return;
    state_ = s;
    ++depth_;
    for (size_t i = 0; i < listeners_.size(); ++i)
        if (ReadingListener* l = listeners_[i]) l->onLinkState(s);
    --depth_;
    compact();
}

}  // namespace quellon
