// The settings file's bytes after a first run, after moving the windows and
// leaving, and after the setup dialog's Apply, compared with files kept from an
// earlier build: users' files must not change shape from one version to the next.

#include <QCoreApplication>
#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <regex>

#include "alarm/AlarmSettings.h"
#include "display/DisplayFrame.h"
#include "network/MqttSettings.h"
#include "rig/RigSettings.h"
#include "setup/frmConfig.h"
#include "tests/app/AppRig.h"

using namespace quellon;
using namespace quellon::test;

namespace {

class SettingsBytesTest : public AppTest {
protected:
    // What the program reads at its start, in its order, then the display of the stored mode.
    void start() {
        makeWindow(false);
        alarm::readAlarmSettings(modGlobal.SettingsPath);
        rig::readRigSettings(modGlobal.SettingsPath);
        readMqttSettings(modGlobal.SettingsPath);
        readRemoteSettings(modGlobal.SettingsPath);
        ASSERT_TRUE(p.runUntil([&] { return display() != nullptr; }, 60000));
        QCoreApplication::processEvents();  // idle: the start's change set saved
    }
    DisplayFrame* display() { return dynamic_cast<DisplayFrame*>(w->displayWindow()); }
    void moveAndExit() {
        display()->move(display()->pos() + QPoint(45, 30));
        display()->channelWindow('B')->move(QPoint(300, 210));
        display()->cmdExit_Click();  // the program ends once the stream's stop is acknowledged
        EXPECT_THROW(p.advance(1000), ProgramEnded);
    }
    void apply() {
        frmConfig dlg(p, modGlobal, w->session(), nullptr);
        for (auto [field, text] : {std::pair{"txtDescA", "Antenna 40 m"},
                                   {"txtDescB", "Dummy load"},
                                   {"txtIntervalTime", "500"}})
            dlg.findChild<QLineEdit*>(field)->setText(text);
        dlg.cmdApply_Click();
        p.runUntil([&] { return !dlg.applying(); }, 5000);
        QCoreApplication::processEvents();  // the dialog closed: the program idle again
    }
    // Paths and the host name differ between machines.
    std::string portable(std::string text) const {
        const std::string dir = tmp.path().toStdString();
        for (auto at = text.find(dir); at != std::string::npos; at = text.find(dir))
            text.replace(at, dir.size(), "@DIR@");
        return std::regex_replace(text, std::regex("\nNode=[^\n]*"), "\nNode=@NODE@");
    }
};

TEST_F(SettingsBytesTest, FilesKeepTheirRecordedBytes) {
    // name, what is done after the start, files written by this run of the program
    const std::tuple<const char*, std::function<void()>, int> rows[] = {
        {"first-run", [] {}, 1},
        {"moved-and-exit", [this] { moveAndExit(); }, 2},
        {"setup-apply", [this] { apply(); }, 2},
        {"gauges-moved-and-exit",
         [this] {
             moveAndExit(), w.reset(), setting("Bridge", "GUI", "1"), start(), moveAndExit();
         },
         2},
    };
    for (const auto& [name, act, writes] : rows) {
        SCOPED_TRACE(name);
        w.reset();
        std::filesystem::remove(modGlobal.SettingsPath);
        SetUp();
        start();
        act();
        EXPECT_EQ(w->settingsWrites(), writes) << "one save per change set";
        std::ifstream f(modGlobal.SettingsPath, std::ios::binary);
        const std::string got = portable({std::istreambuf_iterator<char>(f), {}});
        std::ifstream want(std::string(QUELLON_TEST_DATA "/") + name + ".ini", std::ios::binary);
        EXPECT_EQ(got, std::string(std::istreambuf_iterator<char>(want), {}));
    }
}

}  // namespace
