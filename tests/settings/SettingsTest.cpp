#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <tuple>

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
struct Tmp : ::testing::Test {
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
    std::string file(const std::string& name) const { return dir + "/" + name; }
};

using IniTest = Tmp;
const std::optional<std::string> kMissing;
const std::string kDup = "[Bridge]\nPort=1\nPort=2\n[Brid\nGUI=3\n[Bridge]\nSetting=s\n";

TEST_F(IniTest, ReadsAndWritesBackTheDefault) {
    const std::string x300(300, 'x'), x253(253, 'x');
    const std::string huge = "[Bridge]\nPort=3\n" + std::string((1u << 20) + 10, 'z');
    const std::string crlf = "\xEF\xBB\xBF[Bridge]\r\nPort=3\r\n; c\r\n";
    const std::tuple<std::optional<std::string>, const char*, const char*, std::string, std::string>
        rows[] = {
            {kMissing, "GUI", "0", "0", "[Bridge]\nGUI=0\n"},
            {"[ bridge ]\n  PORT  =  3 \t\n", "Port", "1", "3", "[ bridge ]\n  PORT  =  3 \t\n"},
            {"[Bridge]\nGUI=\nPort=   \n", "GUI", "0", "0", "[Bridge]\nGUI=0\nPort=   \n"},
            {"[Bridge]\nGUI=\nPort=   \n", "Port", "1", "1", "[Bridge]\nGUI=\nPort=1\n"},
            {"[Bridge]\nPort=3\nGU", "GUI", "0", "0", "[Bridge]\nPort=3\nGUI=0\nGU\n"},
            // Binary or oversized: defaults, and a fresh file instead of a cut copy.
            {std::string("[Bridge]\nPort=3\n\0\x01\xff", 19), "Port", "1", "1",
             "[Bridge]\nPort=1\n"},
            {huge, "Port", "1", "1", "[Bridge]\nPort=1\n"},
            {kDup, "Port", "d", "1", kDup},  // first one wins
            {kDup, "GUI", "d", "3", kDup},   // an unclosed header opens nothing
            {kDup, "Setting", "d", "s", kDup},
            {crlf, "Port", "1", "3", crlf},
            {crlf, "GUI", "1", "1", "\xEF\xBB\xBF[Bridge]\r\nPort=3\r\nGUI=1\r\n; c\r\n"},
            {"stray=top\n[Bridge]\n", "stray", "d", "d", "stray=top\n[Bridge]\nstray=d\n"},
            // Cut to 254 on reading, stored whole, never half a UTF-8 character.
            {"[Bridge]\nA=" + x300 + "\n", "A", "d", std::string(254, 'x'),
             "[Bridge]\nA=" + x300 + "\n"},
            {"[Bridge]\nB=" + x253 + "\xC3\xA9\n", "B", "d", x253,
             "[Bridge]\nB=" + x253 + "\xC3\xA9\n"},
        };
    for (const auto& [before, key, def, value, after] : rows) {
        SCOPED_TRACE(before.value_or("(missing)").substr(0, 60) + " / " + key);
        fs::remove(ini);
        if (before) spit(ini, *before);
        EXPECT_EQ(ReadIni("Bridge", key, ini, def), value);
        EXPECT_EQ(slurp(ini), after);
    }
    fs::remove(ini);
    EXPECT_FALSE(IniLookup("Bridge", "Port", ini));
    EXPECT_FALSE(fs::exists(ini)) << "a lookup writes nothing";
}

TEST_F(IniTest, WritesKeepEverythingElseInPlace) {
    const std::string head = "; by hand\n\nstray=top\n[Other]\nfoo=bar\nno equals sign\n[Bridge]\n";
    const std::string tail = "; note\n\n[Gauge]\nPeakA=1\n", hand = head + "Port=2\n" + tail;
    const std::string one = "[Bridge]\nK=1\n";
    const std::tuple<std::string, const char*, const char*, const char*, std::string> rows[] = {
        {"[ bridge ]\n  PORT  =  3 \t\n", "BRIDGE", "port", "4", "[ bridge ]\nPORT=4\n"},
        {hand, "Bridge", "Setting", "9600,N,8,1", head + "Port=2\nSetting=9600,N,8,1\n" + tail},
        {hand, "Bridge", "Port", "5", head + "Port=5\n" + tail},
        {hand, "Test", "VRef", "250", hand + "[Test]\nVRef=250\n"},
        {kDup, "Bridge", "Port", "7",
         "[Bridge]\nPort=7\nPort=2\n[Brid\nGUI=3\n[Bridge]\nSetting=s\n"},
        // Names and values that would reshape the file.
        {"", "Bridge", "A", "ant\n[Evil]\nGUI=4", "[Bridge]\nA=ant\n"},
        {one, "Bridge", "a=b", "1", one},
        {one, "Bridge", "[x", "1", one},
        {one, "Brid]ge", "k", "1", one},
        {one, "Bridge", " ", "1", one},
    };
    for (const auto& [before, section, key, value, after] : rows) {
        SCOPED_TRACE(std::string(section) + "/" + key);
        spit(ini, before);
        WriteIni(section, key, value, ini);
        EXPECT_EQ(slurp(ini), after);
    }
    EXPECT_EQ(ReadIni("Bridge", "a=b", ini, "d"), "d");
    EXPECT_FALSE(IniLookup("Bridge", "; note", ini));
}

TEST_F(IniTest, WriteIsAtomicAndKeepsModeAndSymlinks) {
    const std::string real = file("real.ini");
    spit(real, "[Bridge]\nPort=2\n");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink(real, ini);
    WriteIni("Bridge", "Port", "3", ini);
    EXPECT_TRUE(fs::is_symlink(ini));
    EXPECT_EQ(slurp(real), "[Bridge]\nPort=3\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2) << "no temporary file left behind";
}

TEST_F(IniTest, UnwritableOrUnreadablePlacesFailSilently) {
    const std::string nowhere = file("no/such/dir/Quellon.ini");
    EXPECT_EQ(ReadIni("Bridge", "GUI", nowhere, "0"), "0");
    EXPECT_FALSE(fs::exists(nowhere));
    fs::create_directory(ini);  // neither read nor replaced
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    EXPECT_TRUE(fs::is_directory(ini));
}

TEST_F(IniTest, RandomBytesNeverCrash) {
    std::mt19937 rng(1234);
    const std::string alphabet = "[]=;\r\n \tabBRIDGEport\x80\xC3\xff";
    for (int round = 0; round < 300; ++round) {
        std::string junk(rng() % 400, ' ');
        for (char& c : junk) c = alphabet[rng() % alphabet.size()];
        spit(ini, junk);
        const std::string v = ReadIni("bridge", "PORT", ini, "1");
        EXPECT_LE(v.size(), 254u);
        EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), v) << "value stable after write-back";
    }
}

using CheckSettingsVersion = Tmp;

TEST_F(CheckSettingsVersion, RebuildsUnversionedFilesAndUpdatesOthers) {
    const std::string fresh = "[Bridge]\nVersion=1.10\n";
    const std::string current = "; mine\n[Bridge]\nPort=4\nversion=1.10\n[Gauge]\nPeakA=1\n";
    const std::pair<std::optional<std::string>, std::string> rows[] = {
        {kMissing, fresh},
        {"[Bridge]\nPort=4\n[Gauge]\nPeakA=1\n", fresh},
        {"[Bridge]\nVersion=0.0\nPort=4\n", fresh},
        {"; mine\n[Bridge]\nPort=4\nversion=1.05\n[Gauge]\nPeakA=1\n", current},
        {current, current},
    };
    for (const auto& [before, after] : rows) {
        SCOPED_TRACE(before.value_or("(missing)"));
        fs::remove(ini);
        if (before) spit(ini, *before);
        quellon::CheckSettingsVersion(ini);
        EXPECT_EQ(slurp(ini), after);
    }
}

struct SavedEnv {
    const char* name;
    std::optional<std::string> old;
    explicit SavedEnv(const char* n) : name(n) {
        if (const char* v = ::getenv(n)) old = v;
    }
    ~SavedEnv() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
};

using LocateSettings = Tmp;

TEST_F(LocateSettings, BesideTheProgramOrInTheUserConfig) {
    SavedEnv xdg("XDG_CONFIG_HOME"), home("HOME");
    SettingsLocation loc = locateSettings(dir + "/");
    EXPECT_EQ(loc.dir, dir);
    EXPECT_EQ(loc.path, ini);
    EXPECT_FALSE(loc.fallback);
    EXPECT_TRUE(fs::is_empty(dir)) << "probe file removed";

    // Root may write anywhere, so a missing directory stands in for a read-only one.
    ::setenv("XDG_CONFIG_HOME", file("xdg").c_str(), 1);
    loc = locateSettings(file("missing"));
    EXPECT_TRUE(loc.fallback);
    EXPECT_EQ(loc.path, file("xdg") + "/quellon/Quellon.ini");
    EXPECT_TRUE(fs::is_directory(loc.dir));

    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", file("home").c_str(), 1);
    loc = locateSettings(file("missing"));
    EXPECT_EQ(loc.dir, file("home") + "/.config/quellon");
    EXPECT_TRUE(fs::is_directory(loc.dir));
}

}  // namespace
}  // namespace quellon
