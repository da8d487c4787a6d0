#pragma once
// Watches other stations through the broker: their status, link, live and
// bridge messages, for the Stations window (every node under the base topic)
// and for a viewer (one node). It only subscribes and never publishes.
//
// libmosquitto's own thread receives, reconnects with growing pauses and
// parses each message there; a message that is too long, foreign or out of
// range is counted and dropped. The reader (the user-interface thread) is
// woken at most once per batch of changes and takes the changed nodes.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "network/LiveFeed.h"
#include "network/MqttSettings.h"

namespace quellon {

// A node name as a topic level of its own: 1 to 64 of a-z A-Z 0-9 _ -, so
// never a wildcard.
bool goodNode(std::string_view n);

struct RemoteNode {
    std::string node;
    std::string status;  // "online", "offline"; empty: not heard yet
    std::string link;    // "up", "down"; empty: not heard yet
    LiveMessage live;
    uint64_t liveCount = 0;  // live messages accepted for this node
    BridgeInfo bridge;
    uint64_t bridgeCount = 0;  // bridge messages accepted for this node
};

class MqttWatcher {
public:
    // node empty: every node under <BaseTopic>; else only that one.
    MqttWatcher(MqttSettings settings, std::string node = {});
    ~MqttWatcher();  // stop()
    MqttWatcher(const MqttWatcher&) = delete;
    MqttWatcher& operator=(const MqttWatcher&) = delete;

    // Called on the watcher's thread when a node changed and the previous
    // change has been taken; set before start().
    std::function<void()> notify;

    // Checks the settings (the status says what is wrong) and starts.
    void start();
    void stop();

    // The nodes changed since the last call, as they are now.
    std::vector<RemoteNode> take();

    std::string statusText() const;
    bool connected() const;
    uint64_t accepted() const;
    uint64_t dropped() const;
    // Why the latest message was dropped ("live from shack: out of range: a.n_dir").
    std::string lastDropped() const;

    // More nodes than this are not kept: a broker full of foreign topics
    // cannot make the list grow without end.
    static constexpr size_t kMaxNodes = 500;

    struct Shared;

private:
    MqttSettings settings_;
    std::string node_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace quellon
