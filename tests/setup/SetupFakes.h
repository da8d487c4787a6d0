#pragma once
// The shared platform fakes: a settings file of its own, every port the same bridge.

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

namespace quellon::testing_setup {

// A settings file of its own for each test (or picture), gone afterwards.
struct TempIni {
    QTemporaryDir dir;
    const std::string path = dir.filePath("Quellon.ini").toStdString();
    std::string key(const char* k) const {
        return IniLookup("Bridge", k, path).value_or("<missing>");
    }
};

// Every port's bridge acknowledges each command, unless silent.
class TestPlatform : public FakePlatform {
public:
    bool silent = false;
    std::optional<SerialError> openError;  // makes every new port fail to open

    TestPlatform() {
        onNewPort = [this](FakeSerialPort& p) {
            attach(p);
            p.openError = openError;
        };
    }
    void attach(FakeSerialPort& p) {  // for a port made outside newSerialPort
        p.onWrite = [this](const std::string&, FakeSerialPort& port) {
            if (!silent) port.feed(":ACK\r");
        };
    }
    FakeSerialPort* port() const { return ports().empty() ? nullptr : ports()[0]; }
};

}  // namespace quellon::testing_setup
