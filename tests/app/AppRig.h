#pragma once
// The start-up window against a scripted bridge on a fake port, with its settings
// in a temporary folder; the bridge's bytes.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/frmMain.h"
#include "core/modGlobal.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"
#include "tests/BridgeBytes.h"

namespace quellon::test {

struct CountingDisplay : DisplayWindow {
    explicit CountingDisplay(int* updates) : updates_(updates) {}
    void aggiornaDati(const ChannelReading&) override { ++*updates_; }
    void showDisplay() override {}
    QWidget* widget() override { return nullptr; }
    int* updates_;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        modGlobal = ModGlobal{};
        modGlobal.SettingsPath = tmp.filePath("Quellon.ini").toStdString();
        modGlobal.ProgramDir = tmp.path().toStdString();
        p.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& self) {
                commands.push_back(data);  // answered at once, within the host's 100 ms pause
                if (data == ":10\r") ++stops, streamOn = false;
                // A stream left running: one of its frames lands before the reply.
                else if (streamOn && !silent) self.feed(frame('A'));
                if (silent) return;
                if (data == ":11\r") streamOn = true;
                self.feed(data == ":16\r" ? id : data == ":17\r" ? scales : ":ACK\r");
            };
        };
    }
    // With a display that only counts frames, or the real window of the stored mode.
    void makeWindow(bool countingDisplay = true) {
        w = std::make_unique<frmMain>(p, modGlobal);
        if (countingDisplay)
            w->displayFactory = [this](const std::string& mode, DisplayHost&) {
                openedMode = mode;
                return std::unique_ptr<DisplayWindow>(std::make_unique<CountingDisplay>(&updates));
            };
        w->Form_Load();
    }
    void setting(const char* sec, const char* key, const std::string& value) {
        WriteIni(sec, key, value, modGlobal.SettingsPath);
    }
    FakeSerialPort& port() { return static_cast<FakeSerialPort&>(w->port()); }
    std::string status() const { return w->statusLabel()->text().toStdString(); }
    std::string log() const {
        if (w) w->logger().flush();  // what is due, in the file
        std::ifstream f(tmp.filePath("dataLog.csv").toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }

    QTemporaryDir tmp;
    FakePlatform p;
    std::string id = idReply(), scales = ":1047\r", openedMode;
    bool silent = false, streamOn = false;
    int updates = 0, stops = 0;
    std::vector<std::string> commands;
    std::unique_ptr<frmMain> w;  // last: goes first
};

}  // namespace quellon::test
