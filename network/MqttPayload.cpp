#include "network/MqttPayload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/modGlobal.h"
#include "link/Format.h"

namespace quellon {

namespace {

// A JSON string literal, quotes included, escaped by Qt's JSON writer (text that is not
// UTF-8 becomes replacement characters rather than a payload no reader accepts).
std::string jsonString(std::string_view text) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromUtf8(text.data(), qsizetype(text.size()))})
            .toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();  // without the array's brackets
}

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

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

// Assembled here rather than by QJsonObject, which would sort the keys and write 50.0 W
// as 50: the fields keep the documented order and watts keep their decimal.
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

std::string linkTopic(const MqttSettings& s) { return s.baseTopic + "/" + s.node + "/link"; }

int expireAfterSeconds(const MqttSettings& s) {
    const long long threeIntervals = (3LL * s.intervalMs + 999) / 1000;
    return static_cast<int>(std::clamp<long long>(threeIntervals, 10, 3LL * 86400));
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
    const QJsonObject device{
        {"identifiers", QJsonArray{q("quellon_" + s.node)}},
        {"name", q("SWR Bridge " + s.node)},
        {"manufacturer", "WEXLO"},
        {"model", "SWR Bridge"},
        {"sw_version", kProgramVersion},
    };
    const QJsonObject origin{{"name", "Quellon"}, {"sw_version", kProgramVersion}};
    const QJsonArray availability{
        QJsonObject{{"topic", q(statusTopic(s))},
                    {"payload_available", "online"},
                    {"payload_not_available", "offline"}},
        QJsonObject{{"topic", q(linkTopic(s))},
                    {"payload_available", kLinkUp},
                    {"payload_not_available", kLinkDown}},
    };
    const int expireAfter = expireAfterSeconds(s);
    std::vector<MqttMessage> out;
    for (char ch : {'a', 'b'}) {
        const std::string upper(1, static_cast<char>(ch - 'a' + 'A'));
        auto common = [&](const std::string& id, const char* domain, const std::string& name) {
            return QJsonObject{
                {"name", q("Channel " + upper + " " + name)},
                {"unique_id", q(id)},
                // Home Assistant's entity ids allow only a-z 0-9 _.
                {"default_entity_id", q(std::string(domain) + ".quellon_" + entityIdPart(id))},
                {"state_topic", q(stateTopic(s, ch))},
                {"availability", availability},
                {"availability_mode", "all"},
                {"expire_after", expireAfter},
                {"device", device},
                {"origin", origin},
            };
        };
        for (const Field& f : fields) {
            const std::string id = s.node + "_" + ch + "_" + f.key;
            QJsonObject p = common(id, "sensor", f.name);
            p["value_template"] = q(std::string("{{ value_json.") + f.key + " }}");
            if (f.power) {
                p["unit_of_measurement"] = "W";
                p["device_class"] = "power";
            }
            p["state_class"] = "measurement";
            p["suggested_display_precision"] = f.power ? 1 : 2;
            out.push_back({s.discoveryPrefix + "/sensor/" + id + "/config", compactJson(p)});
        }
        const std::string id = s.node + "_" + ch + "_alarm";
        QJsonObject p = common(id, "binary_sensor", "SWR alarm");
        p["value_template"] = "{{ 'ON' if value_json.alarm else 'OFF' }}";
        p["payload_on"] = "ON";
        p["payload_off"] = "OFF";
        p["device_class"] = "problem";
        out.push_back({s.discoveryPrefix + "/binary_sensor/" + id + "/config", compactJson(p)});
    }
    return out;
}

std::vector<MqttMessage> discoveryClears(const MqttSettings& s) {
    std::vector<MqttMessage> out = discoveryConfigs(s);
    for (MqttMessage& m : out) m.payload.clear();
    return out;
}

std::string compactJson(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::string entityIdPart(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        out.push_back((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_');
    }
    return out;
}

}  // namespace quellon
