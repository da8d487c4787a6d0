#pragma once
// The measurement stream as seen by everything that is not a display: each
// accepted frame and each change of the link's state is handed to the
// subscribed listeners, on the user-interface thread, right after the frame was
// decoded. Features such as the history or network publishing subscribe here;
// they never reach into a window and never hold the stream up (a listener
// that has slow work to do hands it to a thread of its own).

#include <cstdint>
#include <string>
#include <vector>

#include "core/RigTag.h"
#include "core/modGlobal.h"

namespace quellon {

enum class LinkState {
    Idle,        // not connected, nothing in progress (start, or a failed connect)
    Connecting,  // the connect sequence runs
    Streaming,   // the stream was started
    Lost,        // the line went away or fell silent while streaming
};

const char* linkStateName(LinkState s);

// One accepted frame. The references are valid during the call only: the
// shared reading is overwritten by the next frame.
struct ReadingEvent {
    const ChannelReading& reading;  // the frame's channel and its decoded values
    const ModGlobal& state;         // parameters (MaxSwrA/B), scale texts, ...
    int64_t epochMs;                // wall-clock time of the read, ms since 1970 UTC
    RigTag rig = {};                // the transceiver's frequency and mode then, if known
    bool isA() const { return reading.channel == "A"; }
    // The channel's SWR is above its threshold: the displays show "HIG".
    bool alarm() const { return reading.swrTextNow() == "HIG"; }
};

class ReadingListener {
public:
    virtual ~ReadingListener() = default;
    virtual void onReading(const ReadingEvent& e) = 0;
    virtual void onLinkState(LinkState) {}
};

// Listeners may subscribe and unsubscribe at any time, also from inside a call.
class ReadingBus {
public:
    void subscribe(ReadingListener* l);
    void unsubscribe(ReadingListener* l);
    void publishReading(const ReadingEvent& e);
    // Tells the listeners only when the state really changes.
    void publishLinkState(LinkState s);
    LinkState linkState() const { return state_; }
    size_t listenerCount() const;

private:
    void compact();
    std::vector<ReadingListener*> listeners_;
    LinkState state_ = LinkState::Idle;
    int depth_ = 0;  // publishes in progress; removal only marks the slot then
};

}  // namespace quellon
