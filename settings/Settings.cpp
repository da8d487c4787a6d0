#include "settings/Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/Version.h"
#include "settings/Ini.h"

namespace quellon {

namespace fs = std::filesystem;

void CheckSettingsVersion(const std::string& settingsPath) {
    // What a write killed half way left behind.
    RemoveStaleIniTemps(settingsPath);
    const std::string version = ReadIni("Bridge", "Version", settingsPath, "0.0");
    if (version == "0.0") {
        // No version key: throw the old file away and start a fresh one. If it
        // cannot be deleted (read-only directory) the write below fails the same
        // way and the program simply runs on the old file's values or defaults.
        // A read-only file is the user's word: it stays, and the program runs
        // on what it says.
        if (IniFileReadOnly(settingsPath)) return;
        std::error_code ec;
        fs::remove(settingsPath, ec);
        WriteIni("Bridge", "Version", kProgramVersion, settingsPath);
    } else if (version != kProgramVersion) {
        WriteIni("Bridge", "Version", kProgramVersion, settingsPath);
    }
}

namespace {

std::string stripTrailingSlashes(std::string dir) {
    if (dir.empty()) return ".";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string joinPath(const std::string& dir, const char* name) {
    return dir == "/" ? dir + name : dir + "/" + name;
}

// Writable means a file can be created and removed there, which is what the
// atomic settings write needs; trying it is the one answer that is right for
// ACLs, read-only mounts and root alike.
bool directoryWritable(const std::string& dir) {
    const std::string probe =
        joinPath(dir, (".quellon-probe-" + std::to_string(::getpid())).c_str());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return ::unlink(probe.c_str()) == 0;
}

std::string configBase() {
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::string(home) + "/.config";
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return std::string(pw->pw_dir) + "/.config";
    return {};
}

}  // namespace

SettingsLocation locateSettings(const std::string& exeDir) {
    const std::string dir = stripTrailingSlashes(exeDir);
    SettingsLocation beside{dir, joinPath(dir, "Quellon.ini"), false};
    if (directoryWritable(dir)) return beside;

    const std::string base = configBase();
    if (base.empty()) return beside;  // nowhere better: runs on defaults
    const std::string cfg = stripTrailingSlashes(base) + "/quellon";
    std::error_code ec;
    fs::create_directories(cfg, ec);
    return {cfg, joinPath(cfg, "Quellon.ini"), true};
}

}  // namespace quellon
