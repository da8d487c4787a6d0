#pragma once
// Settings of the transceiver link, section Rig of the settings file. Off by
// default. Every key is read with its default written back; a value that
// cannot be used falls back to the default and is named once in problems.

#include <string>
#include <vector>

namespace quellon::rig {

struct RigSettings {
    bool enabled = false;
    int model = 2;                          // Hamlib's model number; 2 reaches a running rigctld
    std::string device = "localhost:4532";  // a serial device, or host:port for model 2
    int speed = 0;                          // serial speed in baud; 0: the rig's default
    int pollMs = 500;                       // frequency and mode asked this often
    bool protect = false;                   // unkey the rig when an SWR alarm starts
    bool logFrequency = false;              // two more columns in the CSV log
    std::string bands;    // the band plan's replacement ("20m:14000-14350,..."), empty: IARU
    std::string journal;  // file of the protection events; empty: beside the settings

    std::vector<std::string> problems;  // one line per value that fell back to its default
};

// Reads section Rig (defaults written back).
RigSettings readRigSettings(const std::string& settingsPath);

// The journal's path when none is set: "rig-events.log" beside the settings file.
std::string defaultJournalPath(const std::string& settingsPath);

}  // namespace quellon::rig
