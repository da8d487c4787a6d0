// Test runner of the platform layer. Besides the tests it has two helper modes
// in which the binary plays "another program" for the tests that need a second
// process: --hold-port DEVICE opens a serial device and keeps it open, and
// --hold-lock DIR NAME takes the single-instance lock; both say "ready" on
// standard output and hold on until standard input closes (or they are killed).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/QtSerialPort.h"
#include "platform/SingleInstance.h"

namespace {

void holdUntilStdinCloses() {
    char buf[64];
    while (std::fread(buf, 1, sizeof buf, stdin) > 0) {
    }
}

int holdPort(const std::string& device) {
    quellon::QtSerialPort port([device](int) { return device; });
    try {
        port.setSettings("115200,N,8,1");
        port.open();
    } catch (const quellon::SerialError& e) {
        std::printf("failed %d %s\n", e.number(), e.what());
        std::fflush(stdout);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    holdUntilStdinCloses();
    return 0;
}

int holdLock(const std::string& dir, const std::string& name) {
    quellon::SingleInstance instance(dir);
    const bool ok = instance.tryAcquire(name);
    std::printf(ok ? "ready\n" : "failed\n");
    std::fflush(stdout);
    holdUntilStdinCloses();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--hold-port") == 0) return holdPort(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "--hold-lock") == 0) return holdLock(argv[2], argv[3]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
