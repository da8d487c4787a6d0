#include <gtest/gtest.h>

#include "ScanRig.h"
#include "portscan/PortProbe.h"

using namespace quellon;
using scantest::PortScript;
using Lines = std::vector<std::string>;

namespace {

const std::string kIdReply = ":wexlo 1.10 42 10 20 150 150 30 120 30 120 5 0 0\r";
const Lines kClosing = {"---------------------", "COM Port search complete",
                        "Click START to rescan COM Ports"};

PortScript bridge(std::vector<std::string> chunks = {kIdReply}) {
    return {.answers = true, .chunks = std::move(chunks), .replyDelayMs = 30};
}

class PortProbeTest : public ::testing::Test {
protected:
    PortProbeTest() {
        probe.onInfo = [this](const std::string& s) { log.push_back(s); };
    }
    void scan(int count) {
        rig.apply();
        probe.scan(count);
    }
    std::string written() const {
        FakeSerialPort* p = plat.lastPort();
        return p ? p->writtenText() : "";
    }

    scantest::ScanRig rig;
    FakePlatform& plat = rig.plat;
    std::map<int, PortScript>& ports = rig.ports;
    ModGlobal g;
    PortProbe probe{g, plat};
    Lines log;
};

}  // namespace

TEST_F(PortProbeTest, CountThreeWithBridgeOnCom2AsksEachPortOnceAndMarksTheSlots) {
    ports[1] = PortScript{};  // a serial port without a bridge
    ports[2] = bridge();
    ports[3] = PortScript{};
    scan(3);
    // The log lines, captions and labels are checked through the window; here the rest.
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log[4], "COM2 is SWR Bridge.");
    EXPECT_EQ(written(), ":16\r:16\r:16\r");
    EXPECT_EQ(plat.lastPort()->opens(), 3);
    EXPECT_EQ(plat.lastPort()->closes(), 3);
    EXPECT_TRUE(probe.slot(0).visible);
    EXPECT_EQ(probe.slot(0).icon, porticon::Serial);
    EXPECT_EQ(probe.slot(1).icon, porticon::Bridge);
    EXPECT_TRUE(probe.slot(1).labelVisible);
    for (int i = 3; i < kPortSlots; ++i) EXPECT_FALSE(probe.slot(i).visible);
    ASSERT_NE(probe.port(), nullptr);
    EXPECT_FALSE(probe.port()->isOpen());
}

TEST_F(PortProbeTest, RepliesAreSortedIntoBridgeOrSerialPortWithinTheWait) {
    struct Case {
        const char* what;
        PortScript script;
        bool isBridge;
        uint32_t minMs, maxMs;
    };
    const Case cases[] = {
        // The limit 1 is passed at the second tick of the 1000 ms timer.
        {"silent", PortScript{}, false, 2000, 2100},
        {"bridge, without waiting for the timer", bridge(), true, 0, 100},
        {"reply split over reads", bridge({":w", "ex", "lo 1.10", " 42\r"}), true, 0, 2100},
        {"garbage or wrong case", bridge({"\x01\xff:ACK\r", "noise :WEXLO 1.10\r", ":wexl"}), false,
         0, 2100},
        {"endless output", bridge(std::vector<std::string>(500, std::string(1000, 'x'))), false, 0,
         2100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ports[1] = c.script;
        rig.apply();
        probe.hideAllSlots();
        const uint32_t start = plat.now;
        probe.probePort(1);
        EXPECT_GE(plat.now - start, c.minMs);
        EXPECT_LT(plat.now - start, c.maxMs);
        EXPECT_EQ(log.back(), c.isBridge ? "COM1 is SWR Bridge." : "Is an installed COM Port");
        EXPECT_EQ(probe.slot(0).icon, c.isBridge ? porticon::Bridge : porticon::Serial);
        for (auto* t : plat.timers()) EXPECT_FALSE(t->isActive());
    }
}

TEST_F(PortProbeTest, PortsThatDoNotOpenAreLoggedAndMarkedWithoutWaiting) {
    ports[1].openError = serr::PortInUse;
    ports[2].openError = serr::PermissionDenied;
    scan(3);  // COM3 is missing
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(log[1], "Port In Use");
    EXPECT_NE(log[4].find("Permission denied"), std::string::npos);
    EXPECT_NE(log[4].find("dialout"), std::string::npos);
    EXPECT_EQ(log[6], "Checking COM3...");
    EXPECT_EQ(log[7], "Invalid port number");
    EXPECT_EQ(probe.slot(0).icon, porticon::InUse);
    EXPECT_EQ(probe.slot(0).typeLabel, "Port In Use");
    EXPECT_EQ(probe.slot(1).icon, porticon::Error);
    EXPECT_EQ(probe.slot(1).caption, "COM 2");
    EXPECT_FALSE(probe.slot(2).visible);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(plat.processEventsCalls, 0);  // no waiting for a port that did not open
}

TEST_F(PortProbeTest, ErrorNumbersMapToTextsAndMarks) {
    const std::string serial = "Serial Port", inUse = "Port In Use";
    struct Case {
        int number;
        std::string text;
        int icon;           // 0: the slot stays hidden
        std::string label;  // empty: no label shown
    };
    const Case cases[] = {
        {serr::PortInUse, "Port In Use", porticon::InUse, inUse},
        {serr::PortInUseAlt, "Port In Use", porticon::InUse, inUse},
        {serr::PortNotOpen, "Operation valid only when the port is open", porticon::Error, serial},
        {serr::PortOpenAlready, "Operation not valid while the port is opened", porticon::Error,
         serial},
        {serr::PortHardwareError, "Port ERROR", porticon::Error, serial},
        {serr::PortError, "Port ERROR", porticon::Error, serial},
        {serr::DeviceControlBlock, "Internal error retrieving device control block for the port",
         porticon::Error, ""},
        {serr::Other, "Other error...", porticon::Error, serial},
        {1234, "Other error...", porticon::Error, serial},
        {serr::PropertyWriteOnly, "Property is write-only", 0, ""},
        {serr::InvalidPropertyValue, "Invalid property value", 0, ""},
        {serr::InvalidPortNumber, "Invalid port number", 0, ""},
        {serr::PropertyReadOnly, "Property is read-only", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        probe.hideAllSlots();
        EXPECT_EQ(probe.portErrorText(c.number, 4), c.text);
        const SlotState& s = probe.slot(3);
        EXPECT_EQ(s.visible, c.icon != 0);
        if (!s.visible) continue;
        EXPECT_EQ(s.icon, c.icon);
        EXPECT_EQ(s.caption, "COM 4");
        EXPECT_EQ(s.labelVisible, !c.label.empty());
        EXPECT_EQ(s.labelVisible ? s.typeLabel : "", c.label);
    }
    // A port beyond the slots has a text but nothing to mark.
    EXPECT_EQ(probe.portErrorText(serr::PortInUse, 9), "Port In Use");
    EXPECT_EQ(probe.portErrorText(serr::PortInUse, 0), "Port In Use");
}

TEST_F(PortProbeTest, LineLostWhileWaitingIsAPortErrorAndTheScanGoesOn) {
    ports[1].hangupAfterMs = 500;
    ports[2] = bridge();
    scan(2);
    EXPECT_EQ(log[1], "Port ERROR");
    EXPECT_EQ(probe.slot(0).icon, porticon::Error);
    EXPECT_EQ(log[4], "COM2 is SWR Bridge.");
    EXPECT_FALSE(probe.port()->isOpen());
    for (auto* t : plat.timers()) EXPECT_FALSE(t->isActive());
}

TEST_F(PortProbeTest, CountIsLimitedToTheSlotsAndZeroOrLessProbesNothing) {
    for (int count : {0, -3}) {
        log.clear();
        scan(count);
        EXPECT_EQ(log, kClosing) << count;
    }
    EXPECT_EQ(plat.portsCreated, 0);
    log.clear();
    scan(12);
    ASSERT_GT(log.size(), 5u);
    EXPECT_EQ(log[0], "Only COM1 thru COM8 can be shown: scanning COM1 thru COM8");
    EXPECT_EQ(log[1], "Checking COM1...");
    EXPECT_EQ(log[log.size() - 5], "Checking COM8...");
}

TEST_F(PortProbeTest, ScanUsesTheConfiguredSettingsAndHidesOldSlots) {
    g.PortSettings = "9600,N,8,1";
    ports[1] = PortScript{};
    scan(1);
    EXPECT_TRUE(probe.slot(0).visible);
    ASSERT_NE(probe.port(), nullptr);
    EXPECT_EQ(probe.port()->settings(), "9600,N,8,1");
    EXPECT_EQ(probe.port()->inputLength(), 0);
    ports.clear();
    scan(1);
    EXPECT_FALSE(probe.slot(0).visible);
}

TEST_F(PortProbeTest, PortHeldElsewhereShowsInUse) {
    ports[2] = PortScript{};
    rig.apply();
    auto other = plat.newSerialPort();  // the start-up window still holds COM2
    other->setPortNumber(2);
    other->open();
    probe.scan(2);
    EXPECT_EQ(log[4], "Port In Use");
    EXPECT_EQ(probe.slot(1).typeLabel, "Port In Use");
}

TEST(PortCountText, ReadsTheLeadingWholeNumber) {
    const std::pair<const char*, int> cases[] = {{"8", 8},
                                                 {" 3.9", 3},
                                                 {"5abc", 5},
                                                 {"", 0},
                                                 {"abc", 0},
                                                 {"-2", 0},
                                                 {"99999999999999999999", 1000000}};
    for (const auto& [text, count] : cases)
        EXPECT_EQ(PortProbe::countFromText(text), count) << text;
    EXPECT_EQ(valueOf("0"), 0);
    EXPECT_EQ(valueOf("."), 0);
    EXPECT_EQ(valueOf("  12"), 12);
}
