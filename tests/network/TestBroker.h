#pragma once
// A real Mosquitto broker on a free loopback port, its files in a temporary
// folder; and a subscriber that records what the broker hands out.

#include <signal.h>

#include <QTemporaryDir>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "network/MqttSettings.h"
#include "tests/Loopback.h"

struct mosquitto;

namespace quellon::testing {

struct BrokerOptions {
    std::string user{};  // set: anonymous clients are refused, this user/password is known
    std::string password{};
    bool tls = false;  // the listener speaks TLS with a self-signed certificate (caFile())
    // Unclean sessions and their queued messages (QoS 0 too) survive stop() and start().
    bool persistent = false;
    // The log names every packet and its client ("Received PUBLISH from <id>").
    bool logEveryPacket = false;
};

class TestBroker {
public:
    explicit TestBroker(BrokerOptions opt = {});
    ~TestBroker();

    // Starts mosquitto and waits (up to 10 s) until the port accepts.
    bool start();
    // SIGKILL, and waits for it to be gone.
    void kill() { end(SIGKILL); }
    // SIGTERM (the broker saves its sessions), and waits for it to be gone.
    void stop() { end(SIGTERM); }

    int port() const { return port_; }
    std::string caFile() const { return dir_ + "/ca.crt"; }             // the broker's own
    std::string otherCaFile() const { return dir_ + "/other-ca.crt"; }  // signed nothing here
    // Writes a file into the folder and returns its path.
    std::string writeFile(const std::string& name, const std::string& text) const;
    std::string log() const;

private:
    void end(int sig);

    BrokerOptions opt_;
    QTemporaryDir tmp_;
    std::string dir_ = tmp_.path().toStdString();
    int port_ = 0;
    pid_t pid_ = -1;
};

struct Message {
    std::string topic;
    std::string payload;
    bool retained = false;
};

// Subscribes to everything ("#") and keeps what arrives; reconnects by itself.
// With an id its session is not clean: a persistent broker queues for it while it is away.
class Subscriber {
public:
    explicit Subscriber(const TestBroker& broker, const char* id = nullptr);
    ~Subscriber();

    std::vector<Message> messages() const;
    std::vector<Message> on(const std::string& topic) const;
    // Waits (up to 20 s) until pred holds for the messages so far.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& pred) const;
    // Waits until a message on topic arrives, with that payload when one is given.
    bool waitForMessage(const std::string& topic, const char* payload = nullptr) const;
    bool subscribed() const;

private:
    mutable std::mutex m_;
    std::vector<Message> got_;
    bool subscribed_ = false;
    mosquitto* mosq_ = nullptr;
};

// Settings of a station on this broker: enabled, the loopback address, the
// node's name, 200 ms between state messages, the live feed at liveHz.
MqttSettings stationSettings(const TestBroker& b, const std::string& node, int liveHz = 0);

// A state message up to its time stamp, which is the only part a test cannot know.
inline std::string withoutTime(const std::string& state) {
    return state.substr(0, state.find(",\"time\":"));
}

// Publishes the messages (QoS 1, retained as marked) as a client of its own and
// waits until the broker has them all.
bool publishRaw(const TestBroker& broker, const std::vector<Message>& messages);

}  // namespace quellon::testing
