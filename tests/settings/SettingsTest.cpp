#include <gtest/gtest.h>
#include <stdlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "settings/Ini.h"
#include "settings/Settings.h"

namespace quellon {
namespace {

namespace fs = std::filesystem;
std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh directory per test, removed afterwards.
struct IniTest : ::testing::Test {
    std::string dir = [] {
        std::string t = "/tmp/quellon-settings-XXXXXX";
        return ::mkdtemp(t.data()) ? t : std::string();
    }();
    std::string ini = dir + "/Quellon.ini";
    void SetUp() override { ASSERT_FALSE(dir.empty()); }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST_F(IniTest, ReadsAndWritesBackTheDefault) {
    const std::string x253(253, 'x'), crlf = "\xEF\xBB\xBF[Bridge]\r\nPort=3\r\n";
    const std::string kDup = "[Bridge]\nPort=1\nPort=2\n[Brid\nGUI=3\n[Bridge]\nSetting=s\n";
    const std::string huge = "[Bridge]\nPort=3\n" + std::string((1u << 20) + 10, 'z');
    const std::tuple<std::string, const char*, std::string, std::string> rows[] = {
        // Binary or oversized: defaults, and a fresh file instead of a cut copy.
        {std::string("[Bridge]\nPort=3\n\0\x01\xff", 19), "Port", "1", "[Bridge]\nPort=1\n"},
        {huge, "Port", "1", "[Bridge]\nPort=1\n"},
        {kDup, "Port", "1", kDup},  // first one wins
        {kDup, "GUI", "3", kDup},   // an unclosed header opens nothing
        {crlf, "GUI", "0", crlf + "GUI=0\r\n"},
        // Cut to 254 on reading, never half a UTF-8 character.
        {"[Bridge]\nB=" + x253 + "\xC3\xA9\n", "B", x253, "[Bridge]\nB=" + x253 + "\xC3\xA9\n"},
    };
    for (const auto& [before, key, value, after] : rows) {
        spit(ini, before);
        EXPECT_EQ(ReadIni("Bridge", key, ini, key == std::string("GUI") ? "0" : "1"), value) << key;
        EXPECT_EQ(slurp(ini), after) << key;
    }
}

TEST_F(IniTest, WritesKeepEverythingElseInPlaceAndCannotReshapeTheFile) {
    const std::string head = "; by hand\n\nstray=top\n[Bridge]\n",
                      tail = "; note\n\n[Gauge]\nPeakA=1\n";
    const std::string hand = head + "Port=2\n" + tail, one = "[Bridge]\nK=1\n";
    const std::tuple<std::string, const char*, const char*, const char*, std::string> rows[] = {
        {hand, "Bridge", "Setting", "9600,N,8,1", head + "Port=2\nSetting=9600,N,8,1\n" + tail},
        {"", "Bridge", "A", "ant\n[Evil]\nGUI=4", "[Bridge]\nA=ant\n"},
        {one, "Bridge", "a=b", "1", one},
        // Another program's line that ends in CR keeps it.
        {"[Other]\nx=1\r\r\n[Bridge]\nPort=4\n", "Bridge", "Port", "5",
         "[Other]\nx=1\r\r\n[Bridge]\nPort=5\n"},
    };
    for (const auto& [before, section, key, value, after] : rows) {
        spit(ini, before);
        WriteIni(section, key, value, ini);
        EXPECT_EQ(slurp(ini), after) << section << "/" << key;
    }
}

TEST_F(IniTest, WriteIsAtomicAndKeepsModeAndSymlinks) {
    const std::string real = dir + "/real.ini";
    spit(real, "[Bridge]\nPort=2\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(real, ini);
    WriteIni("Bridge", "Port", "3", ini);
    EXPECT_EQ(std::tuple(fs::is_symlink(ini), slurp(real)), std::tuple(true, "[Bridge]\nPort=3\n"));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2) << "no temporary file left behind";
}

// Held, the file is read once and changed in memory: nothing reaches the disk
// before the save, which writes once and keeps the lines the program does not know.
TEST_F(IniTest, HeldFileChangesInMemoryAndSavesOnce) {
    const std::string hand = "; mine\n[Bridge]\nPort=2\nstray line\n";
    spit(ini, hand);
    IniFile held(ini);
    HoldIniFile(&held);
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    WriteIni("Bridge", "Port", "3", ini);
    WriteIni("Gauge", "PeakA", "1", ini);
    EXPECT_EQ(std::tuple(IniLookup("Bridge", "Port", ini), slurp(ini)), std::tuple("3", hand));
    EXPECT_TRUE(held.save());
    EXPECT_EQ(slurp(ini), "; mine\n[Bridge]\nPort=3\nGUI=0\nstray line\n[Gauge]\nPeakA=1\n");
    HoldIniFile(nullptr);
}

// Random file contents are the parser fuzz's "ini" target (tests/fuzz/ParserFuzz.cpp).
TEST_F(IniTest, ADirectoryInPlaceOfTheFileGivesTheDefault) {
    fs::create_directory(ini);  // neither read nor replaced
    EXPECT_TRUE(ReadIni("Bridge", "GUI", ini, "0") == "0" && fs::is_directory(ini));
}

// An unversioned or damaged file is kept aside under a name of its own, never
// written into (nor what a link of that name points to), and said once.
TEST_F(IniTest, VersionCheckKeepsUnversionedOrDamagedFilesAsideAndUpdatesOthers) {
    const std::string fresh = "[Bridge]\nVersion=1.10\n",
                      current = "; mine\n[Bridge]\nversion=1.10\n";
    const std::string target = dir + "/passwd-copy", passwd = "root:x:0:0::/root:/bin/sh\n";
    // A binary or oversized file reads as one without a version.
    const std::tuple<const char*, std::string, std::string, bool> rows[] = {
        // what is there, the settings file afterwards, kept aside
        {"no version", "[Ports]\nPin=x\n", fresh, true},
        {"version 0.0", "[Bridge]\nVersion=0.0\n", fresh, true},
        {"link", "", fresh, true},
        {"old version", "; mine\n[Bridge]\nversion=1.05\n", current, false},
        {"current", current, current, false},
    };
    for (const auto& [name, before, after, kept] : rows) {
        fs::remove_all(dir), fs::create_directory(dir);
        if (before.empty()) spit(target, passwd), fs::create_symlink(target, ini);
        else spit(ini, before);
        const std::string note = CheckSettingsVersion(ini);
        EXPECT_EQ(slurp(ini), after) << name;
        std::vector<fs::path> aside;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind("Quellon.ini.damaged-", 0) == 0)
                aside.push_back(e);
        ASSERT_EQ(aside.size(), kept ? 1u : 0u) << name;
        EXPECT_EQ(note.empty(), !kept) << name;
        if (!kept) continue;
        EXPECT_NE(note.find(aside[0].string()), std::string::npos) << note;
        const bool link = fs::is_symlink(aside[0]);
        EXPECT_EQ(slurp(link ? target : aside[0].string()), link ? passwd : before) << name;
    }
}

// A NUL byte written into the file would make it binary: the next read would
// see no settings at all and the next write would start the file afresh.
TEST_F(IniTest, NulBytesInNamesOrValuesCannotWipeTheFile) {
    const std::string nul(1, '\0');
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"Bridge", "ChannelA", "Tx" + nul + "junk"},
        {"Bridge", "Chan" + nul + "nelA", "Tx"},
        {"Bri" + nul + "dge", "ChannelA", "Tx"},
    };
    for (const auto& [section, key, value] : rows) {
        spit(ini, "[Bridge]\nPort=4\n");
        WriteIni(section, key, value, ini);
        EXPECT_EQ(slurp(ini).find('\0'), std::string::npos);
        EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), "4");
        // A value is cut at its NUL; a name with one writes no ChannelA.
        EXPECT_EQ(IniLookup("Bridge", "ChannelA", ini).value_or("-"), value == "Tx" ? "-" : "Tx");
    }
}

// A settings file the user made read-only keeps every byte and its inode, whatever
// the program would write; the program still reads what it says.
TEST_F(IniTest, ReadOnlyFileIsNeverReplaced) {
    const std::string body = "[Bridge]\nPort=4\n";  // no Version: the check would rebuild it
    const std::pair<const char*, std::function<void()>> writers[] = {
        {"write", [&] { WriteIni("Bridge", "Port", "7", ini); }},
        {"default", [&] { EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0"); }},
        {"version check", [&] { CheckSettingsVersion(ini); }},
    };
    for (const auto& [name, write] : writers) {
        fs::remove(ini);
        spit(ini, body);
        fs::permissions(ini, fs::perms::owner_read | fs::perms::group_read);
        struct stat before {};
        ::stat(ini.c_str(), &before);
        write();
        struct stat after {};
        ASSERT_EQ(::stat(ini.c_str(), &after), 0) << name;
        EXPECT_EQ(std::tuple(after.st_ino, slurp(ini)), std::tuple(before.st_ino, body)) << name;
        EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), "4") << name;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1)
            << name << ": no temporary file";
    }
}

// Temporary files of a write that was killed go at the next start; nothing else does.
TEST_F(IniTest, StartRemovesOnlyOldTemporaryFilesOfOurOwnWrites) {
    const std::string me = std::to_string(::getpid());
    const std::tuple<std::string, bool, bool> rows[] = {
        // name, made long ago (else just now), removed
        {"Quellon.ini.tmp.99999.0", true, true},
        {"Quellon.ini.tmp.99999.1", false, false},  // may be a write going on now
        {"Quellon.ini.tmp." + me + ".3", true, false},
        {"Quellon.ini.tmp.x.1", true, false},
        {"Quellon.ini.tmp.1.2.bak", true, false},
        {"Quellon.ini.tmp.1", true, false},
        {"Other.ini.tmp.1.2", true, false},
    };
    spit(ini, "[Bridge]\nVersion=1.10\n");
    for (const auto& [name, old, removed] : rows) {
        spit(dir + "/" + name, "x");
        if (old) {
            const struct timespec t[2] = {{1000000000, 0}, {1000000000, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (dir + "/" + name).c_str(), t, 0), 0);
        }
    }
    fs::create_directory(dir + "/Quellon.ini.tmp.5.5");  // not a file of ours
    CheckSettingsVersion(ini);
    for (const auto& [name, old, removed] : rows)
        EXPECT_EQ(fs::exists(dir + "/" + name), !removed) << name;
    EXPECT_TRUE(fs::is_directory(dir + "/Quellon.ini.tmp.5.5"));
    EXPECT_EQ(slurp(ini), "[Bridge]\nVersion=1.10\n");
}

struct SavedEnv {
    const char* name;
    std::optional<std::string> old =
        ::getenv(name) ? std::optional<std::string>(::getenv(name)) : std::nullopt;
    ~SavedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
};

TEST_F(IniTest, SettingsLiveBesideTheProgramOrInTheUserConfig) {
    SavedEnv xdg{"XDG_CONFIG_HOME"}, home{"HOME"};
    SettingsLocation loc = locateSettings(dir + "/");
    EXPECT_EQ(loc.path, ini);
    EXPECT_TRUE(fs::is_empty(dir)) << "probe file removed";
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    // An installed program keeps them in the user's folder, even when it may write
    // its own (root); a missing directory stands in for a read-only one.
    for (const std::string& exe :
         {dir + "/missing", std::string("/usr/local/bin"), std::string("/usr/bin/")}) {
        loc = locateSettings(exe);
        EXPECT_TRUE(loc.fallback) << exe;
        EXPECT_EQ(loc.path, dir + "/home/.config/quellon/Quellon.ini") << exe;
    }
}

}  // namespace
}  // namespace quellon
