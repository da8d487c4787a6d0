#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "TempDir.h"
#include "settings/Ini.h"
#include "settings/Settings.h"

namespace quellon {
namespace {

using test::slurp;
using test::spit;

TEST(CheckSettingsVersion, FirstStartWritesVersionThenGui) {
    test::TempDir tmp;
    const std::string ini = tmp.file("Quellon.ini");
    CheckSettingsVersion(ini);
    EXPECT_EQ(slurp(ini), "[Bridge]\nVersion=1.10\n");
    ReadIni("Bridge", "GUI", ini, "0");
    EXPECT_EQ(slurp(ini), "[Bridge]\nVersion=1.10\nGUI=0\n");
}

TEST(CheckSettingsVersion, FileWithoutVersionIsRebuilt) {
    test::TempDir tmp;
    const std::string ini = tmp.file("Quellon.ini");
    for (const char* old :
         {"[Bridge]\nPort=4\n[Gauge]\nPeakA=1\n", "[Bridge]\nVersion=0.0\nPort=4\n"}) {
        spit(ini, old);
        CheckSettingsVersion(ini);
        EXPECT_EQ(slurp(ini), "[Bridge]\nVersion=1.10\n");
    }
}

TEST(CheckSettingsVersion, OtherVersionIsUpdatedAndKeysKept) {
    test::TempDir tmp;
    const std::string ini = tmp.file("Quellon.ini");
    spit(ini, "; mine\n[Bridge]\nPort=4\nversion=1.05\n[Gauge]\nPeakA=1\n");
    CheckSettingsVersion(ini);
    EXPECT_EQ(slurp(ini), "; mine\n[Bridge]\nPort=4\nversion=1.10\n[Gauge]\nPeakA=1\n");
    const std::string current = slurp(ini);
    CheckSettingsVersion(ini);
    EXPECT_EQ(slurp(ini), current);
}

class LocateSettings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* v = ::getenv(name);
            saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    void TearDown() override {
        const char* names[] = {"XDG_CONFIG_HOME", "HOME"};
        for (std::size_t i = 0; i < saved_.size(); ++i)
            saved_[i] ? ::setenv(names[i], saved_[i]->c_str(), 1) : ::unsetenv(names[i]);
    }
    test::TempDir tmp;
    std::vector<std::optional<std::string>> saved_;
};

TEST_F(LocateSettings, WritableProgramDirectoryHoldsTheFile) {
    const SettingsLocation loc = locateSettings(tmp.dir() + "/");
    EXPECT_EQ(loc.dir, tmp.dir());
    EXPECT_EQ(loc.path, tmp.dir() + "/Quellon.ini");
    EXPECT_FALSE(loc.fallback);
    EXPECT_TRUE(std::filesystem::is_empty(tmp.dir())) << "probe file removed";
}

TEST_F(LocateSettings, UnwritableDirectoryFallsBackToUserConfig) {
    // Root may write anywhere, so a directory that does not exist stands in for
    // a read-only one.
    const std::string exeDir = tmp.file("missing");
    ::setenv("XDG_CONFIG_HOME", tmp.file("xdg").c_str(), 1);
    SettingsLocation loc = locateSettings(exeDir);
    EXPECT_TRUE(loc.fallback);
    EXPECT_EQ(loc.path, tmp.file("xdg") + "/quellon/Quellon.ini");
    EXPECT_TRUE(std::filesystem::is_directory(loc.dir));

    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", tmp.file("home").c_str(), 1);
    loc = locateSettings(exeDir);
    EXPECT_EQ(loc.dir, tmp.file("home") + "/.config/quellon");
    EXPECT_TRUE(std::filesystem::is_directory(loc.dir));
}

}  // namespace
}  // namespace quellon
