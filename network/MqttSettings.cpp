#include "network/MqttSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "settings/Ini.h"

namespace quellon {

namespace {

const char* const kSection = "Mqtt";

bool isIdChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// A topic prefix: not empty, no wildcards, no empty levels at its ends.
bool goodTopicPrefix(const std::string& t) {
    if (t.empty() || t.front() == '/' || t.back() == '/') return false;
    for (char c : t)
        if (c == '+' || c == '#' || c == '\0') return false;
    return true;
}

std::string quoted(const std::string& v) { return "\"" + v + "\""; }

}  // namespace

std::string nodeFromHostName(const std::string& hostName) {
    std::string out;
    for (char c : hostName) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
            out.push_back(c);
    }
    return out.empty() ? "quellon" : out;
}

std::string defaultNode() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) buf[0] = '\0';
    return nodeFromHostName(buf);
}

MqttSettings readMqttSettings(const std::string& file) {
    MqttSettings s;
    s.enabled = ReadIni(kSection, "Enabled", file, "0") == "1";
    s.host = ReadIni(kSection, "Host", file, "localhost");
    s.portText = ReadIni(kSection, "Port", file, "1883");
    s.node = ReadIni(kSection, "Node", file, defaultNode());
    s.baseTopic = ReadIni(kSection, "BaseTopic", file, "quellon");
    s.username = ReadIni(kSection, "Username", file, "");
    s.passwordFile = ReadIni(kSection, "PasswordFile", file, "");
    s.caFile = ReadIni(kSection, "CaFile", file, "");
    s.intervalText = ReadIni(kSection, "Interval", file, "1000");
    s.discovery = ReadIni(kSection, "Discovery", file, "1") == "1";
    s.discoveryPrefix = ReadIni(kSection, "DiscoveryPrefix", file, "homeassistant");
    s.liveHzText = ReadIni(kSection, "LiveHz", file, "0");
    return s;
}

RemoteSettings readRemoteSettings(const std::string& file) {
    RemoteSettings r;
    r.stations = ReadIni("Remote", "Stations", file, "0") == "1";
    r.node = ReadIni("Remote", "Node", file, "");
    return r;
}

std::string checkMqttSettings(MqttSettings& s) {
    const auto hostStart = s.host.find_first_not_of(" \t");
    if (hostStart == std::string::npos) return "bad setting: Host is empty";
    s.host = s.host.substr(hostStart, s.host.find_last_not_of(" \t") - hostStart + 1);
    if (!ParseWholeNumber(s.portText, 1, 65535, s.port))
        return "bad setting: Port " + quoted(s.portText) + " is not a port number (1 to 65535)";
    if (!ParseWholeNumber(s.intervalText, 1, 86400000, s.intervalMs))
        return "bad setting: Interval " + quoted(s.intervalText) +
               " is not a number of milliseconds";
    if (!ParseWholeNumber(s.liveHzText, 0, kMaxLiveHz, s.liveHz))
        return "bad setting: LiveHz " + quoted(s.liveHzText) + " is not a rate from 0 to " +
               std::to_string(kMaxLiveHz);
    if (s.node.empty()) return "bad setting: Node is empty";
    for (char c : s.node)
        if (!isIdChar(c))
            return "bad setting: Node " + quoted(s.node) + " may hold only a-z 0-9 _ -";
    if (!goodTopicPrefix(s.baseTopic))
        return "bad setting: BaseTopic " + quoted(s.baseTopic) + " is not a topic";
    if (s.discovery && !goodTopicPrefix(s.discoveryPrefix))
        return "bad setting: DiscoveryPrefix " + quoted(s.discoveryPrefix) + " is not a topic";
    s.password.clear();
    if (!s.passwordFile.empty()) {
        if (s.username.empty()) return "bad setting: PasswordFile is set but Username is empty";
        std::ifstream in(s.passwordFile, std::ios::binary);
        if (!in) return "bad setting: password file " + quoted(s.passwordFile) + " cannot be read";
        // A secret that other users can read is no secret: refused before it is
        // sent anywhere, so the user closes the file (chmod 600) rather than
        // learning of it later.
        struct stat st {};
        if (::stat(s.passwordFile.c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IROTH)) != 0)
            return "bad setting: password file " + quoted(s.passwordFile) +
                   " can be read by other users (chmod 600 it)";
        std::getline(in, s.password);
        if (!s.password.empty() && s.password.back() == '\r') s.password.pop_back();
    }
    if (!s.caFile.empty()) {
        std::ifstream ca(s.caFile, std::ios::binary);
        if (!ca) return "bad setting: CA file " + quoted(s.caFile) + " cannot be read";
    }
    return {};
}

}  // namespace quellon
