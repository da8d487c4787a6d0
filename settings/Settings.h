#pragma once
// Where the settings file lives, and the start-up check of its version key.

#include <string>

namespace quellon {

// Reads Version of section Bridge. A file without it (or with "0.0") comes from
// a program that kept no version; a binary or oversized file is damaged. Either
// is kept as Quellon.ini.damaged-<date-time> (renamed, never written into) and a
// new file holding only Version=1.10 is started; the text returned says so,
// once, for the user (empty otherwise). Any other version but "1.10" is updated
// to "1.10" and every other key is kept.
std::string CheckSettingsVersion(const std::string& settingsPath);

struct SettingsLocation {
    std::string dir;   // directory that holds the settings file (and the default log)
    std::string path;  // full path of Quellon.ini
    bool fallback;     // true when the settings are not beside the program
};

// The settings file sits beside the program when that directory is writable and
// not in a system prefix (/usr, /bin, /sbin). Otherwise (an installed program,
// even run as root) it goes to the user's configuration directory:
// $XDG_CONFIG_HOME/quellon, or $HOME/.config/quellon, which is created.
SettingsLocation locateSettings(const std::string& exeDir);

}  // namespace quellon
