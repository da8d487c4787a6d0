#pragma once
// The fake platform as a row of COM ports: missing unless scripted, failing to
// open, silent, answering ":16\r" (late, in pieces) or losing the line.

#include <map>
#include <string>
#include <vector>

#include "platform/testing/FakePlatform.h"

namespace quellon::scantest {

struct PortScript {
    int openError = 0;  // SerialError number thrown by open(), 0 none
    bool answers = false;
    std::vector<std::string> chunks;  // the reply, each piece arriving on its own
    int replyDelayMs = 0;             // from the write to the first piece
    int hangupAfterMs = -1;           // the line goes away this long after the write
};

class ScanRig {
public:
    FakePlatform plat;
    std::map<int, PortScript> ports;  // port number -> behaviour; absent: missing

    void apply() {  // after changing ports, before the scan
        plat.openFailures.clear();
        for (int n = 1; n <= 16; ++n) {
            auto it = ports.find(n);
            if (it == ports.end())
                plat.openFailures.emplace(
                    n, SerialError(serr::InvalidPortNumber, "Invalid port number"));
            else if (it->second.openError)
                plat.openFailures.emplace(n, SerialError(it->second.openError, "cannot open"));
        }
        plat.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& p) {
                if (auto it = ports.find(p.portNumber()); it != ports.end())
                    respond(data, p, it->second);
            };
        };
    }

private:
    void respond(const std::string& data, FakeSerialPort& p, const PortScript& s) {
        if (s.hangupAfterMs >= 0) {
            plat.after(s.hangupAfterMs, [this, id = p.id()] {
                if (FakeSerialPort* q = plat.portById(id)) q->hangup();
            });
        }
        if (data != ":16\r" || !s.answers) return;
        int t = s.replyDelayMs;
        for (const std::string& c : s.chunks) {
            p.feedAfter(t, c);
            t += 5;  // far enough apart to come in separate reads
        }
    }
};

}  // namespace quellon::scantest
