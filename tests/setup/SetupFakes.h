#pragma once
// The shared platform fakes with a journal on top, so the setup tests can check
// the order of what reached the line, the message boxes and the program end.

#include <functional>
#include <string>
#include <vector>

#include "platform/testing/FakePlatform.h"

namespace quellon::testing_setup {

using Journal = std::vector<std::string>;
using Reply = std::function<std::string(const std::string&)>;

// A bridge that acknowledges every command.
inline std::string ackAll(const std::string&) { return ":ACK\r"; }
// A bridge that never answers.
inline std::string silent(const std::string&) { return {}; }

class TestPlatform : public FakePlatform {
public:
    Journal journal;
    Reply reply = ackAll;                  // the bridge's answer to each write, on every port
    std::optional<SerialError> openError;  // makes every new port fail to open

    TestPlatform() {
        onNewPort = [this](FakeSerialPort& p) {
            attach(p);
            p.openError = openError;
        };
    }
    // Gives a port made outside newSerialPort the same bridge and journal.
    void attach(FakeSerialPort& p) {
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
    FakeSerialPort* port(size_t i = 0) const {
        const auto all = ports();
        return i < all.size() ? all[i] : nullptr;
    }
};

}  // namespace quellon::testing_setup
