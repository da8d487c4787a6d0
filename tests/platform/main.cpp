// --hold-port DEVICE and --hold-lock DIR NAME make this runner play "another program" holding
// a serial device or the single-instance lock: it says "ready", holds on till stdin closes.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "TestUtil.h"
#include "platform/QtSerialPort.h"
#include "platform/SingleInstance.h"

static int holdUntilStdinCloses(bool ok) {
    std::printf(ok ? "ready\n" : "failed\n");
    std::fflush(stdout);
    char buf[64];
    while (std::fread(buf, 1, sizeof buf, stdin) > 0) continue;
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        const std::string device = argv[2];
        quellon::QtSerialPort port([device](int) { return device; });
        return holdUntilStdinCloses(quellon::test::errorOf([&] { port.open(); }) == 0);
    }
    if (argc >= 4 && std::strcmp(argv[1], "--hold-lock") == 0) {
        quellon::SingleInstance instance(argv[2]);
        return holdUntilStdinCloses(instance.tryAcquire(argv[3]));
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
