// Topics, payloads and settings of the MQTT publisher, byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>

#include "core/Version.h"
#include "network/MqttPayload.h"
#include "network/MqttSettings.h"

using namespace quellon;

TEST(MqttPayload, WattsHaveOneDecimalFromTenths) {
    const std::pair<int, const char*> cases[] = {
        {0, "0.0"}, {5, "0.5"}, {32767, "3276.7"}, {-7, "-0.7"}, {-32768, "-3276.8"}};
    for (auto [tenths, text] : cases) EXPECT_EQ(tenthsToWatts(tenths), text) << tenths;
}

// The SWR agrees with what the screen shows; the decoder's number stands behind "HIG"
// only. A "1" on screen (no reflected peak) is SWR 1, never the decoder's 0.
TEST(MqttPayload, SwrFollowsTheShownText) {
    const std::tuple<const char*, float, const char*> cases[] = {
        {"---", 0.0f, "null"}, {"", 0.0f, "null"},   {"1", 0.0f, "1"},
        {"1.5", 1.5f, "1.5"},  {"HIG", 3.1f, "3.1"}, {"HIG", 6.0f, "6"},
    };
    for (auto [text, value, json] : cases) EXPECT_EQ(swrJson(text, value), json) << text;
}

TEST(MqttPayload, TimeIsIso8601WithMillisecondsAndOffset) {
    const std::tuple<int64_t, int, const char*> cases[] = {
        {0, 0, "1970-01-01T00:00:00.000+00:00"},
        {1709647629250, -330, "2024-03-05T08:37:09.250-05:30"},
        {1709647629999, 0, "2024-03-05T14:07:09.999+00:00"},
        {-1, 0, "1969-12-31T23:59:59.999+00:00"},
    };
    for (auto [ms, offset, text] : cases) EXPECT_EQ(isoTime(ms, offset), text) << ms;
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

// Twelve configs of one device, available while both the program and the bridge are,
// unknown after three intervals without a state: a power sensor, the SWR and the alarm
// byte for byte, the other powers as the first but for their field.
TEST(MqttPayload, DiscoveryConfigsOfOneDevice) {
    MqttSettings s;
    s.node = "shack-pc";
    s.intervalMs = 5000;
    const auto configs = discoveryConfigs(s);
    const auto clears = discoveryClears(s);
    ASSERT_EQ(std::tuple(configs.size(), clears.size()), std::tuple(12u, 12u));
    const std::string version = kProgramVersion;
    const std::string availability =
        "{\"availability\":[{\"payload_available\":\"online\",\"payload_not_available\":"
        "\"offline\",\"topic\":\"quellon/shack-pc/status\"},{\"payload_available\":\"up\","
        "\"payload_not_available\":\"down\",\"topic\":\"quellon/shack-pc/link\"}],"
        "\"availability_mode\":\"all\",\"default_entity_id\":\"";
    const std::string device =
        "\"device\":{\"identifiers\":[\"quellon_shack-pc\"],\"manufacturer\":\"WEXLO\","
        "\"model\":\"SWR Bridge\",\"name\":\"SWR Bridge shack-pc\",\"sw_version\":\"" +
        version + "\"},";
    const std::string origin =
        "\"origin\":{\"name\":\"Quellon\",\"sw_version\":\"" + version + "\"},";
    std::string topics;
    for (size_t i = 0; i < 12; ++i) {
        const std::string& p = configs[i].payload;
        topics += configs[i].topic.substr(14, configs[i].topic.size() - 21) + " ";
        EXPECT_EQ(clears[i].topic, configs[i].topic);
        EXPECT_TRUE(clears[i].payload.empty());
        EXPECT_EQ(p.rfind(availability, 0), 0u) << i;
        EXPECT_NE(p.find(device), std::string::npos) << i;
        EXPECT_NE(p.find(origin), std::string::npos) << i;
        const bool power = configs[i].topic.find("_w/config") != std::string::npos;
        EXPECT_EQ(p.find("\"unit_of_measurement\":\"W\"") != std::string::npos, power) << i;
    }
    EXPECT_EQ(topics,
              "sensor/shack-pc_a_forward_w sensor/shack-pc_a_reflected_w "
              "sensor/shack-pc_a_peak_forward_w sensor/shack-pc_a_peak_reflected_w "
              "sensor/shack-pc_a_swr binary_sensor/shack-pc_a_alarm sensor/shack-pc_b_forward_w "
              "sensor/shack-pc_b_reflected_w sensor/shack-pc_b_peak_forward_w "
              "sensor/shack-pc_b_peak_reflected_w sensor/shack-pc_b_swr "
              "binary_sensor/shack-pc_b_alarm ");
    EXPECT_EQ(configs[0].payload,
              availability + "sensor.quellon_shack_pc_a_forward_w\"," + device +
                  "\"device_class\":\"power\",\"expire_after\":15,\"name\":\"Channel A forward "
                  "power\"," +
                  origin +
                  "\"state_class\":\"measurement\",\"state_topic\":\"quellon/shack-pc/a/state\","
                  "\"suggested_display_precision\":1,\"unique_id\":\"shack-pc_a_forward_w\","
                  "\"unit_of_measurement\":\"W\",\"value_template\":\"{{ value_json.forward_w "
                  "}}\"}");
    EXPECT_EQ(configs[4].payload,
              availability + "sensor.quellon_shack_pc_a_swr\"," + device +
                  "\"expire_after\":15,\"name\":\"Channel A SWR\"," + origin +
                  "\"state_class\":\"measurement\",\"state_topic\":\"quellon/shack-pc/a/state\","
                  "\"suggested_display_precision\":2,\"unique_id\":\"shack-pc_a_swr\","
                  "\"value_template\":\"{{ value_json.swr }}\"}");
    EXPECT_EQ(configs[11].payload,
              availability + "binary_sensor.quellon_shack_pc_b_alarm\"," + device +
                  "\"device_class\":\"problem\",\"expire_after\":15,\"name\":\"Channel B SWR "
                  "alarm\"," +
                  origin +
                  "\"payload_off\":\"OFF\",\"payload_on\":\"ON\",\"state_topic\":\"quellon/"
                  "shack-pc/b/state\",\"unique_id\":\"shack-pc_b_alarm\",\"value_template\":\"{{ "
                  "'ON' if value_json.alarm else 'OFF' }}\"}");
}

TEST(MqttPayload, ExpireAfterIsThreeIntervalsAndTenSecondsAtLeast) {
    const std::pair<int, int> cases[] = {{0, 10}, {1000, 10}, {3334, 11}, {60000, 180}};
    for (auto [interval, seconds] : cases)
        EXPECT_EQ(expireAfterSeconds({.intervalMs = interval}), seconds) << interval;
}

TEST(MqttSettingsTest, NodeFromHostNameKeepsOnlyTopicSafeCharacters) {
    const std::pair<const char*, const char*> cases[] = {{"Shack-PC", "shack-pc"},
                                                         {"my host.local", "myhostlocal"},
                                                         {"ham_radio#1/+", "ham_radio1"},
                                                         {"", "quellon"},
                                                         {"???", "quellon"}};
    for (auto [host, node] : cases) EXPECT_EQ(nodeFromHostName(host), node) << host;
}

TEST(MqttSettingsTest, BadSettingsAreNamed) {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString(), pw = dir + "/pw", open = dir + "/open";
    std::ofstream(pw, std::ios::binary) << "s3cret\r\nsecond line\n";
    std::ofstream(open, std::ios::binary) << "x\n";
    ::chmod(pw.c_str(), 0600), ::chmod(open.c_str(), 0640);
    struct Case {
        const char* what;
        MqttSettings set;
        std::string problem;  // empty: usable
    } cases[] = {
        {"defaults", {}, ""},
        {"port abc", {.portText = "abc"}, "bad setting: Port \"abc\""},
        {"port 0", {.portText = "0"}, "bad setting: Port \"0\""},
        {"port 65536", {.portText = "65536"}, "bad setting: Port"},
        {"port blanks", {.portText = " 1884 "}, ""},
        {"empty host", {.host = "  "}, "bad setting: Host is empty"},
        {"interval", {.intervalText = "1s"}, "bad setting: Interval"},
        {"live 25", {.liveHzText = "25"}, ""},
        {"live 26", {.liveHzText = "26"}, "bad setting: LiveHz \"26\""},
        {"node slash", {.node = "a/b"}, "bad setting: Node"},
        {"base wildcard", {.baseTopic = "q/#"}, "bad setting: BaseTopic"},
        {"missing password file",
         {.username = "op", .passwordFile = dir + "/nothing"},
         "bad setting: password file"},
        {"password readable by the group",
         {.username = "op", .passwordFile = open},
         "bad setting: password file \"" + open + "\" can be read by other users"},
        {"password without user",
         {.passwordFile = pw},
         "bad setting: PasswordFile is set but Username is empty"},
        {"missing CA", {.caFile = dir + "/none.crt"}, "bad setting: CA file"},
    };
    for (const Case& c : cases) {
        MqttSettings s = c.set;
        if (s.node.empty()) s.node = "n";
        const std::string problem = checkMqttSettings(s);
        if (c.problem.empty()) EXPECT_EQ(problem, "") << c.what;
        else EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.what << ": " << problem;
    }
    MqttSettings s{.portText = " 1884 ", .node = "n", .username = "op", .passwordFile = pw};
    ASSERT_EQ(checkMqttSettings(s), "");
    // The password is the file's first line, without its line end.
    EXPECT_EQ(std::tuple(s.password, s.port, s.intervalMs), std::tuple("s3cret", 1884, 1000));
}
