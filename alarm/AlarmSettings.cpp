#include "alarm/AlarmSettings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "settings/Ini.h"

namespace quellon::alarm {

namespace {

std::string trimmed(const std::string& t) {
    const auto a = t.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return t.substr(a, t.find_last_not_of(" \t") - a + 1);
}

// A decimal number in [lo, hi] (a point as the decimal mark, nothing after it).
bool parseNumber(const std::string& text, double lo, double hi, double& out) {
    const std::string t = trimmed(text);
    if (t.empty() || t.size() > 20) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    if (errno != 0 || end != t.c_str() + t.size() || !std::isfinite(v) || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

class Reader {
public:
    Reader(std::string file, std::vector<std::string>& notices)
        : file_(std::move(file)), notices_(notices) {}

    std::string text(const char* section, const char* key, const std::string& def) {
        return ReadIni(section, key, file_, def);
    }
    // A whole or decimal number in [lo, hi]; anything else is the default.
    double number(const char* section, const char* key, double def, double lo, double hi,
                  const char* what, bool whole) {
        const std::string defText = whole ? std::to_string(static_cast<long>(def)) : text(def);
        const std::string v = text(section, key, defText);
        double out = def;
        if (!parseNumber(v, lo, hi, out) || (whole && out != std::floor(out))) {
            bad(section, key, v, std::string(what) + " from " + text(lo) + " to " + text(hi),
                defText);
            return def;
        }
        return out;
    }
    bool flag(const char* section, const char* key, bool def) {
        const std::string v = trimmed(text(section, key, def ? "1" : "0"));
        if (v == "1") return true;
        if (v == "0") return false;
        bad(section, key, v, "0 or 1", def ? "1" : "0");
        return def;
    }
    void bad(const char* section, const char* key, const std::string& value,
             const std::string& want, const std::string& def) {
        notices_.push_back(std::string("Setting [") + section + "] " + key + "=\"" + value +
                           "\" is not " + want + ": " + def + " is used");
    }

private:
    static std::string text(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }
    std::string file_;
    std::vector<std::string>& notices_;
};

}  // namespace

AlarmSettings readAlarmSettings(const std::string& file) {
    AlarmSettings s;
    Reader r(file, s.notices);
    s.sound = r.flag("Alarm", "Sound", true);
    s.toneHz =
        static_cast<int>(r.number("Alarm", "ToneHz", 880, 100, 4000, "a whole number of Hz", true));
    s.condition.holdMs = static_cast<int64_t>(
        r.number("Alarm", "HoldMs", 300, 0, 10000, "a whole number of ms", true));
    s.condition.minPowerW = r.number("Alarm", "MinPowerW", 1, 0, 10000, "a number of W", false);
    s.command = trimmed(r.text("Alarm", "Command", ""));
    s.bigViewOpen = r.flag("BigView", "Open", false);
    const std::string theme = trimmed(r.text("BigView", "Theme", "auto"));
    if (theme == "light") s.theme = Theme::Light;
    else if (theme == "dark") s.theme = Theme::Dark;
    else if (theme != "auto") r.bad("BigView", "Theme", theme, "auto, light or dark", "auto");
    const std::string ch = trimmed(r.text("BigView", "Channels", "AB"));
    if (ch == "A" || ch == "B") {
        s.showA = ch == "A";
        s.showB = ch == "B";
    } else if (ch != "AB") {
        r.bad("BigView", "Channels", ch, "AB, A or B", "AB");
    }
    return s;
}

std::string journalPathFor(const std::string& settingsPath, const std::string& programDir) {
    const std::string log =
        IniLookup("Bridge", "DataLog", settingsPath).value_or(programDir + "/dataLog.csv");
    const auto slash = log.find_last_of('/');
    const std::string dir = slash == std::string::npos ? programDir : log.substr(0, slash);
    return (dir.empty() ? std::string("/") : dir + "/") + "alarms.csv";
}

}  // namespace quellon::alarm
