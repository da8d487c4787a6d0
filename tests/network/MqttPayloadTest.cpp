// Topics, payloads and settings of the MQTT publisher, byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <fstream>
#include <set>

#include "core/Version.h"
#include "network/MqttPayload.h"
#include "network/MqttSettings.h"
#include "settings/Ini.h"

using namespace quellon;

namespace {

QJsonObject parse(const std::string& json) {
    QJsonParseError err{};
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(json), &err);
    EXPECT_EQ(err.error, QJsonParseError::NoError) << json;
    EXPECT_TRUE(d.isObject()) << json;
    return d.object();
}

// A temporary folder for settings and password files.
struct TempDir {
    QTemporaryDir q;
    const std::string dir = q.path().toStdString();
    std::string file(const std::string& name, const std::string& text) const {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
};

}  // namespace

TEST(MqttPayload, WattsHaveOneDecimalFromTenths) {
    const std::pair<int, const char*> cases[] = {
        {0, "0.0"},        {5, "0.5"},   {516, "51.6"},      {500, "50.0"},
        {32767, "3276.7"}, {-7, "-0.7"}, {-32768, "-3276.8"}};
    for (auto [tenths, text] : cases) EXPECT_EQ(tenthsToWatts(tenths), text) << tenths;
}

// The SWR agrees with what the screen shows; the decoder's number stands behind "HIG"
// only. A "1" on screen (no reflected peak) is SWR 1, never the decoder's 0.
TEST(MqttPayload, SwrFollowsTheShownText) {
    struct Case {
        const char* text;
        float value;
        const char* json;
    } cases[] = {
        {"---", 0.0f, "null"}, {"", 0.0f, "null"},   {"1", 0.0f, "1"},   {"1.5", 1.5f, "1.5"},
        {"3", 3.0f, "3"},      {"HIG", 3.1f, "3.1"}, {"HIG", 6.0f, "6"}, {"2.9", 2.9f, "2.9"},
    };
    for (const Case& c : cases) EXPECT_EQ(swrJson(c.text, c.value), c.json) << c.text;
}

TEST(MqttPayload, TimeIsIso8601WithMillisecondsAndOffset) {
    struct Case {
        int64_t ms;
        int offset;
        const char* text;
    } cases[] = {
        {0, 0, "1970-01-01T00:00:00.000+00:00"},
        {1709647629250, 60, "2024-03-05T15:07:09.250+01:00"},
        {1709647629250, -330, "2024-03-05T08:37:09.250-05:30"},
        {1709647629999, 0, "2024-03-05T14:07:09.999+00:00"},
        {-1, 0, "1969-12-31T23:59:59.999+00:00"},
    };
    for (const Case& c : cases) EXPECT_EQ(isoTime(c.ms, c.offset), c.text) << c.ms;
}

TEST(MqttPayload, StatePayloadIsExact) {
    ChannelSnapshot s{'a',           500, 20, 516, 21, "1.5", 1.5f, false, "100W", "Dipole \"40m\"",
                      1709647629250, 60};
    EXPECT_EQ(statePayload(s),
              "{\"forward_w\":50.0,\"reflected_w\":2.0,\"peak_forward_w\":51.6,"
              "\"peak_reflected_w\":2.1,\"swr\":1.5,\"alarm\":false,\"scale\":\"100W\","
              "\"description\":\"Dipole \\\"40m\\\"\",\"time\":\"2024-03-05T15:07:09.250+01:00\"}");
    s.alarm = true;
    EXPECT_NE(statePayload(s).find(",\"alarm\":true,"), std::string::npos);
}

TEST(MqttPayload, DiscoveryGivesTwelveWellFormedConfigsOfOneDevice) {
    MqttSettings s;
    s.node = "shack-pc";
    s.baseTopic = "quellon";
    s.discoveryPrefix = "homeassistant";
    s.intervalMs = 5000;
    const auto configs = discoveryConfigs(s);
    ASSERT_EQ(configs.size(), 12u);
    std::set<std::string> topics;
    QJsonObject device;
    const QJsonArray availability = QJsonDocument::fromJson(R"([
        {"topic":"quellon/shack-pc/status","payload_available":"online","payload_not_available":"offline"},
        {"topic":"quellon/shack-pc/link","payload_available":"up","payload_not_available":"down"}])")
                                        .array();
    for (const MqttMessage& m : configs) {
        topics.insert(m.topic);
        const QJsonObject o = parse(m.payload);
        const bool a = m.topic.find("_a_") != std::string::npos;
        EXPECT_EQ(o["state_topic"].toString().toStdString(),
                  a ? "quellon/shack-pc/a/state" : "quellon/shack-pc/b/state");
        // Available while both the program and the bridge are; a state that
        // stops coming is unknown after three intervals.
        EXPECT_EQ(o["availability"].toArray(), availability);
        EXPECT_EQ(o["availability_mode"].toString(), "all");
        EXPECT_EQ(o["expire_after"].toInt(), 15);
        EXPECT_FALSE(o.contains("object_id") || o.contains("availability_topic"));
        EXPECT_EQ(o["origin"].toObject()["name"].toString(), "Quellon");
        EXPECT_EQ(o["origin"].toObject()["sw_version"].toString(), kProgramVersion);
        EXPECT_TRUE(o["value_template"].toString().startsWith("{{"));
        // <prefix>/<component>/<id>/config; the entity id is <component>.quellon_<id>.
        const auto last = m.topic.rfind('/');
        const auto before = m.topic.rfind('/', last - 1);
        const std::string id = m.topic.substr(before + 1, last - before - 1);
        const std::string component = m.topic.substr(14, m.topic.find('/', 14) - 14);
        EXPECT_EQ(o["unique_id"].toString().toStdString(), id);
        EXPECT_EQ(o["default_entity_id"].toString().toStdString(),
                  component + ".quellon_" + entityIdPart(id));
        if (device.isEmpty()) device = o["device"].toObject();
        EXPECT_EQ(o["device"].toObject(), device);
        const bool power = m.topic.find("_w/config") != std::string::npos;
        EXPECT_EQ(o["unit_of_measurement"].toString(), power ? "W" : "");
        const bool binary = component == "binary_sensor";
        EXPECT_EQ(o["device_class"].toString(), power ? "power" : binary ? "problem" : "");
        EXPECT_EQ(o["suggested_display_precision"].toInt(-1), power ? 1 : binary ? -1 : 2);
    }
    EXPECT_EQ(parse(configs[0].payload)["default_entity_id"].toString(),
              "sensor.quellon_shack_pc_a_forward_w");
    for (const MqttMessage& m : discoveryClears(s)) EXPECT_TRUE(m.payload.empty()) << m.topic;
    EXPECT_EQ(discoveryClears(s).size(), 12u);
    EXPECT_EQ(device["identifiers"].toArray().first().toString(), "quellon_shack-pc");
    for (const char* ch : {"a", "b"}) {
        const std::string n = std::string("shack-pc_") + ch + "_";
        for (const char* f :
             {"forward_w", "reflected_w", "peak_forward_w", "peak_reflected_w", "swr"})
            EXPECT_TRUE(topics.count("homeassistant/sensor/" + n + f + "/config")) << n << f;
        EXPECT_TRUE(topics.count("homeassistant/binary_sensor/" + n + "alarm/config")) << n;
    }
    // The alarm reads the payload's boolean; the SWR sensor has no unit.
    EXPECT_EQ(parse(configs[5].payload)["value_template"].toString(),
              "{{ 'ON' if value_json.alarm else 'OFF' }}");
    EXPECT_EQ(parse(configs[4].payload)["value_template"].toString(), "{{ value_json.swr }}");
}

TEST(MqttPayload, ExpireAfterIsThreeIntervalsAndTenSecondsAtLeast) {
    const std::pair<int, int> cases[] = {{0, 10}, {1000, 10}, {3334, 11}, {60000, 180}};
    for (auto [interval, seconds] : cases) {
        MqttSettings s;
        s.intervalMs = interval;
        EXPECT_EQ(expireAfterSeconds(s), seconds) << interval;
    }
}

TEST(MqttSettingsTest, NodeFromHostNameKeepsOnlyTopicSafeCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"Shack-PC", "shack-pc"},
        {"my host.local", "myhostlocal"},
        {"ham_radio#1/+", "ham_radio1"},
        {"", "quellon"},
        {"???", "quellon"},
    };
    for (auto [host, node] : cases) EXPECT_EQ(nodeFromHostName(host), node) << host;
}

TEST(MqttSettingsTest, EveryKeyIsWrittenBackWithItsDefault) {
    TempDir d;
    const std::string ini = d.dir + "/Quellon.ini";
    const MqttSettings s = readMqttSettings(ini);
    EXPECT_FALSE(s.enabled);
    const std::pair<const char*, std::string> keys[] = {
        {"Enabled", "0"},         {"Host", "localhost"},
        {"Port", "1883"},         {"Node", defaultNode()},
        {"BaseTopic", "quellon"}, {"Interval", "1000"},
        {"Discovery", "1"},       {"DiscoveryPrefix", "homeassistant"},
        {"LiveHz", "0"}};
    for (const auto& [key, value] : keys) EXPECT_EQ(IniLookup("Mqtt", key, ini), value) << key;
    EXPECT_FALSE(readRemoteSettings(ini).stations);
    EXPECT_EQ(IniLookup("Remote", "Stations", ini), "0");
    std::ifstream in(ini);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    for (const char* key : {"Username=", "PasswordFile=", "CaFile="})
        EXPECT_NE(text.find(key), std::string::npos) << key;
}

TEST(MqttSettingsTest, BadSettingsAreNamed) {
    TempDir d;
    const std::string pw = d.file("pw", "s3cret\r\nsecond line\n"), open = d.file("open", "x\n");
    ::chmod(pw.c_str(), 0600), ::chmod(open.c_str(), 0640);
    struct Case {
        const char* what;
        std::function<void(MqttSettings&)> set;
        std::string problem;  // empty: usable
    } cases[] = {
        {"defaults", [](MqttSettings&) {}, ""},
        {"port abc", [](MqttSettings& s) { s.portText = "abc"; }, "bad setting: Port \"abc\""},
        {"port 0", [](MqttSettings& s) { s.portText = "0"; }, "bad setting: Port \"0\""},
        {"port 65536", [](MqttSettings& s) { s.portText = "65536"; }, "bad setting: Port"},
        {"port blanks", [](MqttSettings& s) { s.portText = " 1884 "; }, ""},
        {"empty host", [](MqttSettings& s) { s.host = "  "; }, "bad setting: Host is empty"},
        {"interval", [](MqttSettings& s) { s.intervalText = "1s"; }, "bad setting: Interval"},
        {"live 25", [](MqttSettings& s) { s.liveHzText = "25"; }, ""},
        {"live 26", [](MqttSettings& s) { s.liveHzText = "26"; }, "bad setting: LiveHz \"26\""},
        {"node slash", [](MqttSettings& s) { s.node = "a/b"; }, "bad setting: Node"},
        {"base wildcard", [](MqttSettings& s) { s.baseTopic = "q/#"; }, "bad setting: BaseTopic"},
        {"missing password file",
         [&](MqttSettings& s) {
             s.username = "op";
             s.passwordFile = d.dir + "/nothing";
         },
         "bad setting: password file"},
        {"password readable by the group",
         [&](MqttSettings& s) {
             s.username = "op";
             s.passwordFile = open;
         },
         "bad setting: password file \"" + open + "\" can be read by other users"},
        {"password without user", [&](MqttSettings& s) { s.passwordFile = pw; },
         "bad setting: PasswordFile is set but Username is empty"},
        {"missing CA", [&](MqttSettings& s) { s.caFile = d.dir + "/none.crt"; },
         "bad setting: CA file"},
    };
    for (const Case& c : cases) {
        MqttSettings s;
        s.node = "n";
        c.set(s);
        const std::string problem = checkMqttSettings(s);
        if (c.problem.empty()) EXPECT_EQ(problem, "") << c.what;
        else EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.what << ": " << problem;
    }
    MqttSettings s;
    s.node = "n";
    s.username = "op";
    s.passwordFile = pw;
    s.portText = " 1884 ";
    ASSERT_EQ(checkMqttSettings(s), "");
    EXPECT_EQ(s.password, "s3cret");  // first line, no line end
    EXPECT_EQ(s.port, 1884);
    EXPECT_EQ(s.intervalMs, 1000);
}
