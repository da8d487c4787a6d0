#pragma once
// Topics and payloads of the MQTT publisher, as plain functions so that every
// byte a dashboard relies on is tested without a broker.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "network/MqttSettings.h"

class QJsonObject;

namespace quellon {

// What one channel's state message carries: the latest reading, the highest
// peaks and the alarm since the previous message of that channel.
struct ChannelSnapshot {
    char channel = 'a';        // 'a' or 'b'
    int pwrDir = 0;            // latest forward power, tenths of a watt
    int pwrRef = 0;            // latest reflected power, tenths of a watt
    int peakDir = 0;           // highest forward peak since the last message, tenths
    int peakRef = 0;           // highest reflected peak since the last message, tenths
    std::string swrText;       // as the displays show it: "1.5", "1", "HIG", "---"
    float swrValue = 0;        // the decoder's SWR number
    bool alarm = false;        // any reading since the last message alarmed
    std::string scale;         // the channel's scale text ("100W")
    std::string description;   // the channel's description ("Channel A")
    int64_t epochMs = 0;       // time of the latest reading
    int utcOffsetMinutes = 0;  // local offset at that time
};

// One line of JSON without blanks.
std::string compactJson(const QJsonObject& o);
// A text made fit for a Home Assistant entity id: lower case, anything but
// a-z 0-9 turned into "_" ("shack-pc_a_swr" -> "shack_pc_a_swr").
std::string entityIdPart(const std::string& text);
// Tenths of a watt as watts with one decimal: 516 -> "51.6", 5 -> "0.5", -7 -> "-0.7".
std::string tenthsToWatts(int tenths);
// The SWR as a JSON value agreeing with the screen: null while it shows "---",
// the shown number when it shows one, the decoder's number behind "HIG".
std::string swrJson(const std::string& swrText, float swrValue);
// ISO 8601 local time with milliseconds and offset: "2024-03-05T14:07:09.250+01:00".
std::string isoTime(int64_t epochMs, int utcOffsetMinutes);
// This machine's offset from UTC at that moment, in minutes.
int localUtcOffsetMinutes(int64_t epochMs);

std::string statePayload(const ChannelSnapshot& s);

std::string statusTopic(const MqttSettings& s);
std::string stateTopic(const MqttSettings& s, char channel);
// "up" from the first frame of a stream, "down" when it is lost: the program
// running says nothing about the bridge.
std::string linkTopic(const MqttSettings& s);
inline constexpr const char* kLinkUp = "up";
inline constexpr const char* kLinkDown = "down";

// Seconds after which Home Assistant shows a sensor whose state stopped as
// unknown: three intervals, and at least 10 s.
int expireAfterSeconds(const MqttSettings& s);

struct MqttMessage {
    std::string topic;
    std::string payload;
};

// The twelve retained discovery configs: per channel the four powers and the
// SWR as sensors and the alarm as a binary sensor, one device for all. Each is
// available only while both the program (status) and the bridge (link) are.
std::vector<MqttMessage> discoveryConfigs(const MqttSettings& s);
// The same topics with empty payloads: published retained, they remove the
// configs (and so the entities) a run with discovery on left at the broker.
std::vector<MqttMessage> discoveryClears(const MqttSettings& s);

}  // namespace quellon
