#pragma once
// Where the settings file lives, and the start-up check of its version key.

#include <string>

namespace quellon {

// Reads Version of section Bridge (default "0.0", written back like every read).
// "0.0" means a file from a program that kept no version: it is deleted and a new
// one holding only Version=1.10 is started. Any other version but "1.10" is
// updated to "1.10" and every other key is kept.
void CheckSettingsVersion(const std::string& settingsPath);

struct SettingsLocation {
    std::string dir;   // directory that holds the settings file (and the default log)
    std::string path;  // full path of Quellon.ini
    bool fallback;     // true when the program's directory could not be written
};

// The settings file sits beside the program when that directory is writable.
// Otherwise (an installed program in a system directory) it goes to the user's
// configuration directory: $XDG_CONFIG_HOME/quellon, or $HOME/.config/quellon,
// which is created.
SettingsLocation locateSettings(const std::string& exeDir);

}  // namespace quellon
