// The alarm's settings: defaults written back, bad values fall back and say so.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include <unistd.h>

#include "alarm/AlarmSettings.h"
#include "settings/Ini.h"

using namespace quellon::alarm;

namespace {

struct Ini {
    std::string path;
    Ini() {
        auto dir = std::filesystem::temp_directory_path() /
                   ("quellon-alarm-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "Quellon.ini").string();
        std::filesystem::remove(path);
    }
    void write(const std::string& text) { std::ofstream(path) << text; }
};

TEST(AlarmSettings, DefaultsAreWrittenBack) {
    Ini ini;
    const AlarmSettings s = readAlarmSettings(ini.path);
    EXPECT_TRUE(s.sound);
    EXPECT_EQ(s.toneHz, 880);
    EXPECT_EQ(s.condition.holdMs, 300);
    EXPECT_EQ(s.condition.minPowerW, 1.0);
    EXPECT_EQ(s.command, "");
    EXPECT_FALSE(s.bigViewOpen);
    EXPECT_EQ(s.theme, Theme::Auto);
    EXPECT_TRUE(s.notices.empty());
    for (auto [sec, key, v] : {std::tuple{"Alarm", "Sound", "1"},
                               {"Alarm", "ToneHz", "880"},
                               {"Alarm", "HoldMs", "300"},
                               {"Alarm", "MinPowerW", "1"},
                               {"BigView", "Open", "0"},
                               {"BigView", "Theme", "auto"}})
        EXPECT_EQ(quellon::IniLookup(sec, key, ini.path).value_or("-"), v) << key;
}

TEST(AlarmSettings, GoodValuesAreTakenBadOnesFallBackWithANotice) {
    Ini ini;
    ini.write(
        "[Alarm]\nSound=0\nToneHz=1200.5\nHoldMs=-5\nMinPowerW=2.5\nCommand= /bin/ptt off \n"
        "[BigView]\nOpen=yes\nTheme=dark\nChannels=B\n");
    const AlarmSettings s = readAlarmSettings(ini.path);
    EXPECT_FALSE(s.sound);
    EXPECT_EQ(s.toneHz, 880);
    EXPECT_EQ(s.condition.holdMs, 300);
    EXPECT_EQ(s.condition.minPowerW, 2.5);
    EXPECT_EQ(s.command, "/bin/ptt off");
    EXPECT_FALSE(s.bigViewOpen);
    EXPECT_EQ(s.theme, Theme::Dark);
    EXPECT_FALSE(s.showA);
    EXPECT_TRUE(s.showB);
    ASSERT_EQ(s.notices.size(), 3u);
    EXPECT_EQ(s.notices[0],
              "Setting [Alarm] ToneHz=\"1200.5\" is not a whole number of Hz from 100 to 4000: "
              "880 is used");
    EXPECT_EQ(s.notices[2], "Setting [BigView] Open=\"yes\" is not 0 or 1: 0 is used");
    // The user's values stay in the file for them to put right.
    EXPECT_EQ(quellon::IniLookup("Alarm", "HoldMs", ini.path), "-5");
}

TEST(AlarmSettings, TheJournalSitsBesideTheLog) {
    Ini ini;
    EXPECT_EQ(journalPathFor(ini.path, "/opt/q"), "/opt/q/alarms.csv");
    ini.write("[Bridge]\nDataLog=/var/log/ham/today.csv\n");
    EXPECT_EQ(journalPathFor(ini.path, "/opt/q"), "/var/log/ham/alarms.csv");
}

}  // namespace
