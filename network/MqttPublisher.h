#pragma once
// Publishes the readings to an MQTT broker. The user-interface thread only
// folds each reading into a small per-channel record (latest values, highest
// peaks and alarm since the last message); a thread of the publisher's own
// connects, reconnects with growing pauses, and sends each channel's record at
// most once per interval; with LiveHz set, the live feed for viewers at that
// rate and the bridge message when it changes. While the broker is away the records keep only the
// latest reading per channel, so nothing grows.

#include <cstdint>
#include <memory>
#include <string>

#include "network/MqttSettings.h"
#include "session/ReadingBus.h"

namespace quellon {

enum class MqttStatus {
    Off,          // not enabled, or stopped
    BadSettings,  // the settings cannot be used; nothing is tried
    Connecting,
    Connected,
    BrokerDown,   // connection refused or lost: nothing listens at host:port
    WrongHost,    // the host name does not resolve
    Unreachable,  // no route, or no answer in time
    Refused,      // the broker refused the user name or password
    TlsFailure,   // the TLS handshake failed (untrusted certificate, not a TLS port)
};

class MqttPublisher : public ReadingListener {
public:
    // settingsPath: where the channel descriptions are looked up (section Bridge).
    MqttPublisher(MqttSettings settings, std::string settingsPath);
    ~MqttPublisher() override;  // stop()
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Checks the settings and starts the publishing thread; with bad settings
    // only the status says why.
    void start();
    // Publishes "offline", disconnects and ends the thread. Waits at most
    // timeoutMs; a thread still stuck after that (a name lookup that hangs) is
    // left behind, holding only what it owns.
    void stop(int timeoutMs = 3000);

    void onReading(const ReadingEvent& e) override;
    // Any state but streaming takes the link topic down at once.
    void onLinkState(LinkState s) override;

    MqttStatus status() const;
    // One line for the display windows: "MQTT: connected to localhost:1883".
    std::string statusText() const;
    // Counters for the tests and the benchmark.
    uint64_t messagesSent() const;
    uint64_t connections() const;

    struct Shared;

private:
    MqttSettings settings_;
    std::string settingsPath_;
    std::shared_ptr<Shared> shared_;
    bool started_ = false;
};

}  // namespace quellon
