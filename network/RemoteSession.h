#pragma once
// Another station's bridge, seen through the broker: the counterpart of
// BridgeSession for a viewer. It watches one node's status, link, bridge and
// live messages and publishes on its own bus the same events the port's
// session publishes, so that the displays, the log, the history and the alarm
// take a remote bridge's readings as they take the local one's. It only
// subscribes: nothing is ever published, on the node's topics or any other.
//
// The bridge message (firmware, parameters, scales) is put into the shared
// state the displays draw from; readings are passed on only once it is known.
// The feed counts as lost when the node says it is offline or its link down,
// or when no live message came for a few of its intervals.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "core/modGlobal.h"
#include "datalog/DataLogger.h"
#include "datalog/LogPairing.h"
#include "network/MqttWatcher.h"
#include "platform/Platform.h"
#include "session/ReadingBus.h"

namespace quellon {

class RemoteSession {
public:
    RemoteSession(Platform& p, ModGlobal& g, MqttSettings settings, std::string node);
    ~RemoteSession();
    RemoteSession(const RemoteSession&) = delete;
    RemoteSession& operator=(const RemoteSession&) = delete;

    // Subscribes; what arrives is taken on the user-interface thread.
    void start();
    void stop();
    // Takes what the watcher has and publishes it (also run by start()'s wake-ups).
    void poll();

    const std::string& node() const { return node_; }
    // "Waiting for shack on localhost:1883…"
    std::string waitingText() const;
    // The watcher's line, or what keeps the viewer from starting.
    std::string statusText() const;
    // Readings come (the node is online, its link up, and live messages arrive).
    bool feeding() const { return readings_.linkState() == LinkState::Streaming; }
    // The node itself said its bridge is away (offline, link down).
    bool nodeDown() const { return nodeDown_; }

    // The display's side: as with the port's stream, the log is closed while
    // the display is away and goes on in the same file when it is back.
    void startRxDati();
    void stopRxDati();
    StreamState streamState() const { return streamState_; }

    // No live message for this long (or the node down) is a lost feed: four
    // of the intervals seen between live messages, within these bounds.
    static constexpr int kShortestSilenceMs = 1000;
    static constexpr int kLongestSilenceMs = 5000;
    int silenceMs() const;
    // The feed was lost (silence or the node down): the caller tells the user.
    std::function<void()> onSilence;
    // The channel descriptions of the node's bridge message ("" until it came).
    const std::string& description(char letter) const { return letter == 'A' ? descA_ : descB_; }

    ReadingBus& readings() { return readings_; }
    DataLogger& logger() { return logger_; }
    MqttWatcher& watcher() { return watcher_; }
    uint64_t readingsPublished() const { return published_; }

private:
    void lose();
    void take(const RemoteNode& n);

    Platform& p_;
    ModGlobal& g_;
    std::string node_;
    std::string where_;
    DataLogger logger_;
    LogPairing pairing_;
    ReadingBus readings_;
    std::unique_ptr<Timer> silence_;
    StreamState streamState_ = StreamState::Stopped;
    bool haveBridge_ = false;
    uint64_t bridgeCount_ = 0;
    std::string descA_, descB_;
    bool nodeDown_ = false;
    uint64_t counts_[2] = {0, 0};
    // The typical gap between live messages, once two were seen.
    std::optional<uint32_t> lastLiveTick_;
    double gapMs_ = 0;
    uint64_t published_ = 0;
    // Wake-ups from the watcher's thread are queued to this object; declared
    // before the watcher so that the watcher's thread has ended when it goes.
    QObject wake_;
    MqttWatcher watcher_;
};

}  // namespace quellon
