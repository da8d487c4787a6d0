#pragma once
// The real program against the bridge simulator: its settings in a folder of the
// test's, message boxes answered at once, and the Qt loop run while a test waits.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/Version.h"
#include "core/modGlobal.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "tests/platform/TestUtil.h"

namespace quellon::test {

// A modal box would stop the test: each is noted and answered at once. Modeless ones
// are shown for real and left for the program to close. Ending the program runs
// beforeEnd (what the program runs first) and is noted instead of ending the test.
class TestPlatform : public QtPlatform {
public:
    explicit TestPlatform(std::function<std::string()> settingsPath =
                              [] { return modGlobal.SettingsPath; })
        : QtPlatform(std::move(settingsPath)) {}
    int messageBox(const std::string& text, int, const std::string&) override {
        boxes.push_back(text);
        return 1;
    }
    std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                              const std::string& title) override {
        boxes.push_back(text);
        ++modeless;
        return QtPlatform::showMessage(text, style, title);
    }
    void endProgram(int) override {
        if (beforeEnd) beforeEnd();
        ended = true;
    }
    bool saw(const std::string& text) const { return std::ranges::count(boxes, text) > 0; }

    std::vector<std::string> boxes;
    int modeless = 0;
    std::function<void()> beforeEnd;
    bool ended = false;
};

// A fresh program state whose settings file in dir has the current version, the
// display mode gui and port 1 pinned to device (the simulator's link).
inline void programSettings(const std::string& dir, const std::string& device,
                            const std::string& gui = "0") {
    modGlobal = ModGlobal{};
    modGlobal.ProgramDir = dir;
    modGlobal.SettingsPath = dir + "/Quellon.ini";
    WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
    WriteIni("Bridge", "GUI", gui, modGlobal.SettingsPath);
    WriteIni("Bridge", "Port", "1", modGlobal.SettingsPath);
    WriteIni("Ports", "1", device, modGlobal.SettingsPath);
}

}  // namespace quellon::test
