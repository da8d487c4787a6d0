#pragma once
// Settings of the MQTT publisher, section Mqtt of the settings file. Every key
// is read with its default written back, so the file shows all of them after
// the first start.

#include <string>

namespace quellon {

struct MqttSettings {
    bool enabled = false;
    std::string host = "localhost";
    std::string portText = "1883";
    std::string node{};
    std::string baseTopic = "quellon";
    std::string username{};
    std::string passwordFile{};  // a file holding the password: no secret in the settings
    std::string caFile{};        // set: TLS, the broker's certificate checked against this CA
    std::string intervalText = "1000";
    bool discovery = true;
    std::string discoveryPrefix = "homeassistant";
    std::string liveHzText = "0";  // live feed messages a second for viewers; 0: none

    // Filled by checkMqttSettings.
    int port = 0;
    int intervalMs = 0;
    int liveHz = 0;
    std::string password{};
};

// The host name made fit for a topic level and a discovery id: lower case,
// only a-z 0-9 _ - kept; "quellon" when nothing is left.
std::string nodeFromHostName(const std::string& hostName);
// This machine's host name, made fit as above.
std::string defaultNode();

// Reads section Mqtt (defaults written back).
MqttSettings readMqttSettings(const std::string& settingsPath);

// Watching other stations, section Remote (defaults written back).
struct RemoteSettings {
    bool stations = false;  // show the Stations window at start
    // Set: the program is a viewer of that node's bridge through the broker
    // (the [Mqtt] broker settings) and opens no port of its own.
    std::string node;
};
RemoteSettings readRemoteSettings(const std::string& settingsPath);

// The live feed's highest rate: a viewer's screen gains nothing above it.
inline constexpr int kMaxLiveHz = 25;

// Checks the values, converts port and interval and reads the password file.
// Returns an empty text when the settings can be used, else what is wrong, in
// words for the status line.
std::string checkMqttSettings(MqttSettings& s);

}  // namespace quellon
