#include "rig/RigSettings.h"

#include "settings/Ini.h"

namespace quellon::rig {

namespace {

const char* const kSection = "Rig";

}  // namespace

std::string defaultJournalPath(const std::string& settingsPath) {
    const auto slash = settingsPath.find_last_of("/\\");
    const std::string dir = slash == std::string::npos ? "" : settingsPath.substr(0, slash + 1);
    return dir + "rig-events.log";
}

RigSettings readRigSettings(const std::string& file) {
    RigSettings s;
    auto flag = [&](const char* key, bool def) {
        const std::string v = ReadIni(kSection, key, file, def ? "1" : "0");
        if (v == "0" || v == "1") return v == "1";
        s.problems.push_back(std::string("[Rig] ") + key + "=" + v + " is not 0 or 1; " +
                             (def ? "1" : "0") + " is used");
        return def;
    };
    auto number = [&](const char* key, int def, long lo, long hi) {
        const std::string v = ReadIni(kSection, key, file, std::to_string(def));
        int out = def;
        if (!ParseWholeNumber(v, lo, hi, out)) {
            s.problems.push_back(std::string("[Rig] ") + key + "=" + v + " is not a number from " +
                                 std::to_string(lo) + " to " + std::to_string(hi) + "; " +
                                 std::to_string(def) + " is used");
            out = def;
        }
        return out;
    };
    s.enabled = flag("Enabled", false);
    s.model = number("Model", 2, 1, 99999);
    s.device = ReadIni(kSection, "Device", file, "localhost:4532");
    s.speed = number("Speed", 0, 0, 1000000);
    s.pollMs = number("PollMs", 500, 50, 60000);
    s.protect = flag("Protect", false);
    s.logFrequency = flag("LogFrequency", false);
    s.bands = IniLookup(kSection, "Bands", file).value_or("");
    s.journal = IniLookup(kSection, "Journal", file).value_or(defaultJournalPath(file));
    return s;
}

}  // namespace quellon::rig
