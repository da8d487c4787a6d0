#include <gtest/gtest.h>

#include "platform/OpenPort.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;

TEST(OpenPort, ReportsTheStepThatFailedWithThePortsOwnReason) {
    struct Row {
        int number;
        const char* settings;
        bool inUse;  // the port fails to open as held by another program
        int error;   // 0: opens
        const char* text;
    };
    const Row rows[] = {
        {3, "115200,N,8,1", false, 0, ""},
        {0, "115200,N,8,1", false, serr::InvalidPortNumber, "Com:0 Invalid port number"},
        {3, "fast", false, serr::InvalidPropertyValue, ""},
        {3, "115200,N,8,1", true, serr::PortInUse, "Com:3 Port In Use"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.settings + std::to_string(r.number));
        FakeSerialPort port;
        if (r.inUse) port.openError = SerialError(serr::PortInUse, "Port In Use");
        const auto failure = openPortAs(port, r.number, r.settings);
        EXPECT_EQ(failure ? failure->number : 0, r.error);
        EXPECT_EQ(port.isOpen(), r.error == 0);
        if (failure && *r.text) {
            EXPECT_EQ(portFailureText(std::to_string(r.number), failure->reason), r.text);
        }
    }
}

TEST(OpenPort, AnOpenPortIsClosedAndOpenedAgainUnderItsNewNumber) {
    FakeSerialPort port;
    ASSERT_FALSE(openPortAs(port, 1, "9600,N,8,1"));
    ASSERT_FALSE(openPortAs(port, 2, "115200,N,8,1"));
    EXPECT_EQ(port.portNumber(), 2);
    EXPECT_EQ(port.settings(), "115200,N,8,1");
    EXPECT_EQ(port.opens(), 2);
    EXPECT_EQ(port.closes(), 1);
}
