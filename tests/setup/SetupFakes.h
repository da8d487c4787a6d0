#pragma once
// The shared platform fakes with a journal of what reached the line, the message
// boxes and the program end, in order; every port gets the same scripted bridge.

#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

namespace quellon::testing_setup {

using Journal = std::vector<std::string>;

// A settings file of its own for each test (or picture), gone afterwards.
struct TempIni {
    QTemporaryDir dir;
    const std::string path = dir.filePath("Quellon.ini").toStdString();
    std::string key(const char* k) const {
        return IniLookup("Bridge", k, path).value_or("<missing>");
    }
};

inline std::string silent(const std::string&) { return {}; }

class TestPlatform : public FakePlatform {
public:
    Journal journal;
    std::function<std::string(const std::string&)> reply = [](auto&) { return ":ACK\r"; };
    std::optional<SerialError> openError;  // makes every new port fail to open

    TestPlatform() {
        onNewPort = [this](FakeSerialPort& p) {
            attach(p);
            p.openError = openError;
        };
    }
    void attach(FakeSerialPort& p) {  // for a port made outside newSerialPort
        p.onWrite = [this](const std::string& data, FakeSerialPort& port) {
            journal.push_back("write " + data);
            port.feed(reply(data));
        };
    }
    int messageBox(const std::string& text, int style, const std::string& title) override {
        journal.push_back("message " + text);
        return FakePlatform::messageBox(text, style, title);
    }
    [[noreturn]] void endProgram(int code) override {
        journal.push_back("end");
        FakePlatform::endProgram(code);
    }
    FakeSerialPort* port() const { return ports().empty() ? nullptr : ports()[0]; }
};

}  // namespace quellon::testing_setup
