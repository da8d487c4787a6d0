#include <gtest/gtest.h>

#include "platform/OpenPort.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;

TEST(OpenPort, ReportsTheStepThatFailedWithThePortsOwnReason) {
    // Number, settings, held by another program, the error (0: opens), its text.
    const std::tuple<int, const char*, bool, int, const char*> rows[] = {
        {3, "115200,N,8,1", false, 0, ""},
        {0, "115200,N,8,1", false, serr::InvalidPortNumber, "Com:0 Invalid port number"},
        {3, "fast", false, serr::InvalidPropertyValue, ""},
        {3, "115200,N,8,1", true, serr::PortInUse, "Com:3 Port In Use"},
    };
    for (const auto& [number, settings, inUse, error, text] : rows) {
        SCOPED_TRACE(settings + std::to_string(number));
        FakeSerialPort port;
        if (inUse) port.openError = SerialError(serr::PortInUse, "Port In Use");
        const auto failure = openPortAs(port, number, settings);
        EXPECT_EQ(std::tuple(failure ? failure->number : 0, port.isOpen()),
                  std::tuple(error, !error));
        EXPECT_TRUE(!failure || !*text ||
                    portFailureText(std::to_string(number), failure->reason) == text);
    }
}

TEST(OpenPort, AnOpenPortIsClosedAndOpenedAgainUnderItsNewNumber) {
    FakeSerialPort port;
    ASSERT_FALSE(openPortAs(port, 1, "9600,N,8,1"));
    ASSERT_FALSE(openPortAs(port, 2, "115200,N,8,1"));
    EXPECT_EQ(std::tuple(port.portNumber(), port.settings()), std::tuple(2, "115200,N,8,1"));
    EXPECT_EQ(port.opens(), 2);
    EXPECT_EQ(port.closes(), 1);
}
