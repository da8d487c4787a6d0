// The alarm's settings: defaults written back, bad values fall back and say so.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "alarm/AlarmSettings.h"
#include "settings/Ini.h"

using namespace quellon::alarm;

TEST(AlarmSettings, DefaultsWrittenBackGoodValuesTakenBadOnesNamed) {
    QTemporaryDir dir;
    const std::string ini = dir.filePath("Quellon.ini").toStdString();
    const AlarmSettings d = readAlarmSettings(ini);
    EXPECT_TRUE(d.sound && d.toneHz == 880 && d.condition.holdMs == 300 &&
                d.condition.minPowerW == 1.0 && d.command.empty() && !d.bigViewOpen &&
                d.theme == Theme::Auto && d.notices.empty());
    EXPECT_EQ(quellon::IniLookup("Alarm", "MinPowerW", ini), "1");
    EXPECT_EQ(quellon::IniLookup("BigView", "Theme", ini), "auto");

    std::ofstream(ini) << "[Alarm]\nSound=0\nToneHz=1200.5\nHoldMs=-5\nMinPowerW=2.5\n"
                          "Command= /bin/ptt off \n[BigView]\nOpen=yes\nTheme=dark\nChannels=B\n";
    const AlarmSettings s = readAlarmSettings(ini);
    EXPECT_TRUE(!s.sound && s.toneHz == 880 && s.condition.holdMs == 300 &&
                s.condition.minPowerW == 2.5 && s.command == "/bin/ptt off" && !s.bigViewOpen &&
                s.theme == Theme::Dark && !s.showA && s.showB);
    ASSERT_EQ(s.notices.size(), 3u);
    EXPECT_EQ(s.notices[0],
              "Setting [Alarm] ToneHz=\"1200.5\" is not a whole number of Hz from 100 to 4000: "
              "880 is used");
    EXPECT_EQ(s.notices[2], "Setting [BigView] Open=\"yes\" is not 0 or 1: 0 is used");
    // The user's value stays in the file for them to put right.
    EXPECT_EQ(quellon::IniLookup("Alarm", "HoldMs", ini), "-5");

    EXPECT_EQ(journalPathFor(ini, "/opt/q"), "/opt/q/alarms.csv");
    std::ofstream(ini) << "[Bridge]\nDataLog=/var/log/ham/today.csv\n";
    EXPECT_EQ(journalPathFor(ini, "/opt/q"), "/var/log/ham/alarms.csv");
}
