#pragma once
// The alarm's and the big view's settings, sections Alarm and BigView of the
// settings file. Every key is read with its default written back, so the file
// shows all of them after the first start. A value that cannot be used falls
// back to its default, and notices() says so in words (once: the caller shows
// them once).

#include <string>
#include <vector>

#include "alarm/AlarmCondition.h"

namespace quellon::alarm {

enum class Theme { Auto, Light, Dark };

struct AlarmSettings {
    bool sound = true;
    int toneHz = 880;
    AlarmConfig condition;  // HoldMs, MinPowerW
    std::string command;    // program and arguments, split without a shell; empty: none
    bool bigViewOpen = false;
    Theme theme = Theme::Auto;
    bool showA = true, showB = true;  // BigView Channels: "AB", "A" or "B"
    std::vector<std::string> notices;
};

AlarmSettings readAlarmSettings(const std::string& settingsPath);

// The alarm journal: beside the data log ([Bridge] DataLog), "alarms.csv".
std::string journalPathFor(const std::string& settingsPath, const std::string& programDir);

}  // namespace quellon::alarm
