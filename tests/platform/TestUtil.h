#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

#include "platform/SerialPort.h"

namespace quellon::test {

// Only reached when something is broken, so a busy machine does not fail the tests.
constexpr int kPatienceMs = 10000;

// The SerialError number f throws, 0 when it throws none.
inline int errorOf(const std::function<void()>& f) try {
    f();
    return 0;
} catch (const SerialError& e) {
    return e.number();
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

}  // namespace quellon::test
