#pragma once
// A start-up window stand-in that records what a display window asks of it,
// with a fake clock and a settings file in a temporary folder.

#include "link/modGlobal.h"

#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "display/DisplayHost.h"
#include "platform/testing/FakePlatform.h"

namespace quellon::testing {

class FakeHost : public DisplayHost {
public:
    FakeHost() {
        g.SettingsPath = dir.filePath(QStringLiteral("Quellon.ini")).toStdString();
        g.streamState = 1;
    }
    Platform& platform() override { return p; }
    ModGlobal& state() override { return g; }
    void startRxDati() override { calls.push_back("startRxDati"); }
    void stopRxDati() override { calls.push_back("stopRxDati"); }
    void closeBridgePort() override { calls.push_back("closeBridgePort"); }
    void reopenBridgePort() override { calls.push_back("reopenBridgePort"); }
    void startDataLog() override { calls.push_back("startDataLog"); }
    void stopDataLog() override { calls.push_back("stopDataLog"); }
    void hideStartupWindow() override { calls.push_back("hideStartupWindow"); }
    void showStartupWindow() override { calls.push_back("showStartupWindow"); }
    void runCommandWindow(QWidget*) override {
        calls.push_back("runCommandWindow");
        if (duringModal) duringModal();
    }
    void runConfigDialog(QWidget*) override {
        calls.push_back("runConfigDialog");
        if (duringModal) duringModal();
    }
    void endProgram() override { calls.push_back("endProgram"); }

    bool called(const std::string& name) const {
        for (const auto& c : calls)
            if (c == name) return true;
        return false;
    }

    QTemporaryDir dir;
    FakePlatform p;
    ModGlobal g;
    std::vector<std::string> calls;
    std::function<void()> duringModal;
};

}  // namespace quellon::testing
