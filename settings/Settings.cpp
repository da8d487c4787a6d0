#include "settings/Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "core/Version.h"
#include "settings/Ini.h"

namespace quellon {

namespace fs = std::filesystem;

std::string CheckSettingsVersion(const std::string& settingsPath) {
    // What a write killed half way left behind.
    RemoveStaleIniTemps(settingsPath);
    // Looked up without the default written back: a file about to be set aside
    // (or what a link of that name points to) is never written into.
    const std::optional<std::string> version = IniLookup("Bridge", "Version", settingsPath);
    if (version && *version == kProgramVersion) return {};
    if (version && *version != "0.0") {
        WriteIni("Bridge", "Version", kProgramVersion, settingsPath);
        return {};
    }
    struct stat st {};
    if (::lstat(settingsPath.c_str(), &st) != 0) {
        // First start: a new file.
        WriteIni("Bridge", "Version", kProgramVersion, settingsPath);
        return {};
    }
    // No version key, or a damaged file. A read-only file is the user's word:
    // it stays, and the program runs on what it says.
    if (IniFileReadOnly(settingsPath)) return {};
    // The old file is kept for the user (its port pin, positions and texts may
    // be all they have), never deleted. What cannot be moved aside (another
    // kind of file, a read-only folder) is not replaced either.
    const std::string kept = KeepDamagedIni(settingsPath);
    if (kept.empty()) return {};
    WriteIni("Bridge", "Version", kProgramVersion, settingsPath);
    return "The settings file " + settingsPath + " had no version or was damaged. It was kept as " +
           kept + " and a new one was started.";
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

// An installed program (a package's or "cmake --install"'s) lives in a system
// prefix; its directory is no place for one user's settings, even when root
// could write there.
bool inSystemPrefix(const std::string& dir) {
    for (const char* prefix : {"/usr", "/bin", "/sbin"}) {
        const std::string p = prefix;
        if (dir == p || dir.rfind(p + "/", 0) == 0) return true;
    }
    return false;
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
    if (!inSystemPrefix(dir) && directoryWritable(dir)) return beside;

    const std::string base = configBase();
    if (base.empty()) return beside;  // nowhere better: runs on defaults
    const std::string cfg = stripTrailingSlashes(base) + "/quellon";
    std::error_code ec;
    fs::create_directories(cfg, ec);
    return {cfg, joinPath(cfg, "Quellon.ini"), true};
}

}  // namespace quellon
