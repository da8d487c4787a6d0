#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "platform/QtSerialPort.h"

namespace quellon::test {

// Only reached when something is broken, so a busy machine does not fail the tests.
constexpr int kPatienceMs = 10000;

// The SerialError number f throws, 0 when it throws none; its text goes to *text.
inline int errorOf(const std::function<void()>& f, std::string* text = nullptr) try {
    f();
    return 0;
} catch (const SerialError& e) {
    if (text) *text = e.description();
    return e.number();
}

// The whole of a file, byte for byte ("" when it cannot be read).
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Repeats step() (running the Qt event loop in between if loop) until it holds
// or ms have passed; returns whether it got there.
inline bool pumpUntil(const std::function<bool()>& step, int ms = kPatienceMs, bool loop = true) {
    QElapsedTimer t;
    for (t.start(); !step(); QThread::msleep(loop ? 1 : 0)) {
        if (t.elapsed() > ms) return false;
        if (loop) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
inline bool retry(const std::function<bool()>& step) { return pumpUntil(step, kPatienceMs, false); }

// The real port (as port number 1) on a raw pseudo terminal whose master side the test holds.
struct Pty {
    int master = -1, slave = -1;
    std::string path;
    std::unique_ptr<QtSerialPort> port;

    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        port = std::make_unique<QtSerialPort>([p = path](int n) { return n == 1 ? p : ""; });
        port->setSettings("115200,N,8,1");
    }
    ~Pty() {
        port.reset();
        if (master >= 0) ::close(master);
        ::close(slave);
    }

    void arrive(const std::string& bytes) {
        if (::write(master, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            throw std::runtime_error("write to the pty master failed");
    }
    void hangup() {
        ::close(master);
        master = -1;
    }
    // What reached the master side, once at least n bytes did (or time ran out).
    std::string farSide(size_t n, bool loop = true) {
        std::string got;
        pumpUntil(
            [&] {
                pollfd pfd{master, POLLIN, 0};
                char buf[512];
                const ssize_t r = ::poll(&pfd, 1, 0) == 1 ? ::read(master, buf, sizeof buf) : 0;
                got.append(buf, r > 0 ? size_t(r) : 0);
                return got.size() >= n;
            },
            kPatienceMs, loop);
        return got;
    }
};

}  // namespace quellon::test
