#include "network/MqttPayload.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "link/Format.h"
#include "link/modGlobal.h"

namespace quellon {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", u);
                    out += buf;
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
    return out;
}

std::string tenthsToWatts(int tenths) {
    const bool negative = tenths < 0;
    const long v = std::labs(static_cast<long>(tenths));
    return (negative ? "-" : "") + std::to_string(v / 10) + "." + std::to_string(v % 10);
}

std::string swrJson(const std::string& swrText, float swrValue) {
    if (swrText == "---" || swrText.empty()) return "null";
    if (isNumeric(swrText)) return formatShortest(leadingNumber(swrText));
    return formatShortest(swrValue);
}

std::string isoTime(int64_t epochMs, int utcOffsetMinutes) {
    // Floor division, so times before 1970 keep a positive millisecond part.
    int64_t secs = epochMs / 1000;
    int ms = static_cast<int>(epochMs % 1000);
    if (ms < 0) {
        ms += 1000;
        --secs;
    }
    const time_t local = static_cast<time_t>(secs + int64_t{utcOffsetMinutes} * 60);
    std::tm tm{};
    gmtime_r(&local, &tm);
    const int off = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  ms, utcOffsetMinutes < 0 ? '-' : '+', off / 60, off % 60);
    return buf;
}

int localUtcOffsetMinutes(int64_t epochMs) {
    const time_t t = static_cast<time_t>(epochMs / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    return static_cast<int>(tm.tm_gmtoff / 60);
}

std::string statePayload(const ChannelSnapshot& s) {
    std::string p;
    p.reserve(256);
    p += "{\"forward_w\":" + tenthsToWatts(s.pwrDir);
    p += ",\"reflected_w\":" + tenthsToWatts(s.pwrRef);
    p += ",\"peak_forward_w\":" + tenthsToWatts(s.peakDir);
    p += ",\"peak_reflected_w\":" + tenthsToWatts(s.peakRef);
    p += ",\"swr\":" + swrJson(s.swrText, s.swrValue);
    p += s.alarm ? ",\"alarm\":true" : ",\"alarm\":false";
    p += ",\"scale\":" + jsonString(s.scale);
    p += ",\"description\":" + jsonString(s.description);
    p += ",\"time\":" + jsonString(isoTime(s.epochMs, s.utcOffsetMinutes));
    p += "}";
    return p;
}

std::string statusTopic(const MqttSettings& s) { return s.baseTopic + "/" + s.node + "/status"; }

std::string stateTopic(const MqttSettings& s, char channel) {
    return s.baseTopic + "/" + s.node + "/" + channel + "/state";
}

std::vector<MqttMessage> discoveryConfigs(const MqttSettings& s) {
    struct Field {
        const char* key;
        const char* name;
        bool power;
    };
    static const Field fields[] = {
        {"forward_w", "forward power", true},
        {"reflected_w", "reflected power", true},
        {"peak_forward_w", "peak forward power", true},
        {"peak_reflected_w", "peak reflected power", true},
        {"swr", "SWR", false},
    };
    const std::string device = std::string("\"device\":{\"identifiers\":[") +
                               jsonString("quellon_" + s.node) +
                               "],\"name\":" + jsonString("SWR Bridge " + s.node) +
                               ",\"manufacturer\":\"WEXLO\",\"model\":\"SWR Bridge\"" +
                               ",\"sw_version\":" + jsonString(kProgramVersion) + "}";
    const std::string availability = ",\"availability_topic\":" + jsonString(statusTopic(s)) +
                                     ",\"payload_available\":\"online\"" +
                                     ",\"payload_not_available\":\"offline\",";
    std::vector<MqttMessage> out;
    for (char ch : {'a', 'b'}) {
        const std::string upper(1, static_cast<char>(ch - 'a' + 'A'));
        const std::string state = stateTopic(s, ch);
        auto common = [&](const std::string& id, const std::string& name) {
            return "{\"name\":" + jsonString("Channel " + upper + " " + name) +
                   ",\"unique_id\":" + jsonString(id) + ",\"object_id\":" + jsonString(id) +
                   ",\"state_topic\":" + jsonString(state);
        };
        for (const Field& f : fields) {
            const std::string id = s.node + "_" + ch + "_" + f.key;
            std::string p = common(id, f.name);
            p += ",\"value_template\":" + jsonString(std::string("{{ value_json.") + f.key + " }}");
            if (f.power) p += ",\"unit_of_measurement\":\"W\",\"device_class\":\"power\"";
            p += ",\"state_class\":\"measurement\"";
            p += availability + device + "}";
            out.push_back({s.discoveryPrefix + "/sensor/" + id + "/config", std::move(p)});
        }
        const std::string id = s.node + "_" + ch + "_alarm";
        std::string p = common(id, "SWR alarm");
        p += ",\"value_template\":" + jsonString("{{ 'ON' if value_json.alarm else 'OFF' }}") +
             ",\"payload_on\":\"ON\",\"payload_off\":\"OFF\",\"device_class\":\"problem\"";
        p += availability + device + "}";
        out.push_back({s.discoveryPrefix + "/binary_sensor/" + id + "/config", std::move(p)});
    }
    return out;
}

}  // namespace quellon
