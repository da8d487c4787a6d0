// Test runner of the platform layer. --hold-port DEVICE and --hold-lock DIR NAME
// make the binary play "another program" that holds a serial device or the
// single-instance lock: it says "ready" and holds on until standard input closes.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "platform/QtSerialPort.h"
#include "platform/SingleInstance.h"

namespace {

int holdUntilStdinCloses(bool ok) {
    std::printf(ok ? "ready\n" : "failed\n");
    std::fflush(stdout);
    char buf[64];
    while (std::fread(buf, 1, sizeof buf, stdin) > 0) {
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        const std::string device = argv[2];
        quellon::QtSerialPort port([device](int) { return device; });
        try {
            port.open();
        } catch (const quellon::SerialError& e) {
            std::printf("failed %d %s\n", e.number(), e.what());
            return 1;
        }
        return holdUntilStdinCloses(true);
    }
    if (argc >= 4 && std::strcmp(argv[1], "--hold-lock") == 0) {
        quellon::SingleInstance instance(argv[2]);
        return holdUntilStdinCloses(instance.tryAcquire(argv[3]));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
