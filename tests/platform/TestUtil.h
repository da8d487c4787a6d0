#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

#include "platform/SerialPort.h"

namespace quellon::test {

// Generous limit for things that take milliseconds; only reached when something
// is broken, so a busy machine does not fail the tests.
constexpr int kPatienceMs = 10000;

// The SerialError number f throws, 0 when it throws none.
inline int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const SerialError& e) {
        return e.number();
    }
    return 0;
}

// Runs the Qt event loop until pred() holds or ms have passed; returns pred().
inline bool pumpUntil(const std::function<bool()>& pred, int ms = kPatienceMs) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return pred();
}

// Repeats step() without running the event loop until it returns true or the
// patience runs out; returns whether it got there.
inline bool retry(const std::function<bool()>& step) {
    QElapsedTimer t;
    t.start();
    while (!step()) {
        if (t.elapsed() > kPatienceMs) return false;
    }
    return true;
}

}  // namespace quellon::test
