#include <gtest/gtest.h>

#include "ScanRig.h"
#include "portscan/PortProbe.h"

using namespace quellon;
using scantest::PortScript;

namespace {

const std::string kIdReply = ":wexlo 1.10 42 10 20 150 150 30 120 30 120 5 0 0\r";

class PortProbeTest : public ::testing::Test {
protected:
    PortProbeTest() {
        probe.onInfo = [this](const std::string& s) { log.push_back(s); };
    }
    void scan(int count) {
        rig.apply();
        probe.scan(count);
    }
    void probePort(int port) {
        rig.apply();
        start = plat.now;
        probe.probePort(port);
    }
    uint32_t elapsed() const { return plat.now - start; }
    std::string written() const {
        FakeSerialPort* p = plat.lastPort();
        return p ? p->writtenText() : "";
    }
    PortScript bridge(std::vector<std::string> chunks = {kIdReply}) {
        PortScript s;
        s.answers = true;
        s.chunks = std::move(chunks);
        s.replyDelayMs = 30;
        return s;
    }

    scantest::ScanRig rig;
    FakePlatform& plat = rig.plat;
    std::map<int, PortScript>& ports = rig.ports;
    uint32_t start = 0;
    ModGlobal g;
    PortProbe probe{g, plat};
    std::vector<std::string> log;
};

}  // namespace

TEST_F(PortProbeTest, CountThreeWithBridgeOnCom2GivesTheLogLineByLine) {
    ports[1] = PortScript{};  // a serial port without a bridge
    ports[2] = bridge();
    ports[3] = PortScript{};
    scan(3);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Checking COM1...", "Is an installed COM Port", "---------------------",
                       "Checking COM2...", "COM2 is SWR Bridge.", "---------------------",
                       "Checking COM3...", "Is an installed COM Port", "---------------------",
                       "COM Port search complete", "Click START to rescan COM Ports"}));
    EXPECT_EQ(written(), ":16\r:16\r:16\r");
    EXPECT_EQ(plat.lastPort()->opens(), 3);
    EXPECT_EQ(plat.lastPort()->closes(), 3);

    const SlotState& s1 = probe.slot(0);
    EXPECT_TRUE(s1.visible);
    EXPECT_EQ(s1.icon, porticon::Serial);
    EXPECT_EQ(s1.caption, "COM1");  // no blank for a plain serial port
    EXPECT_EQ(s1.typeLabel, "Serial Port");
    const SlotState& s2 = probe.slot(1);
    EXPECT_EQ(s2.icon, porticon::Bridge);
    EXPECT_EQ(s2.caption, "COM 2");
    EXPECT_EQ(s2.typeLabel, "SWR Bridge");
    EXPECT_TRUE(s2.labelVisible);
    for (int i = 3; i < kPortSlots; ++i) EXPECT_FALSE(probe.slot(i).visible);
    // Every port that opened was closed again.
    ASSERT_NE(probe.port(), nullptr);
    EXPECT_FALSE(probe.port()->isOpen());
}

TEST_F(PortProbeTest, SilentPortGivenUpAtTheSecondTick) {
    ports[1] = PortScript{};
    probePort(1);
    // About 2 s: the limit 1 is passed at the second tick of the 1000 ms timer.
    EXPECT_GE(elapsed(), 2000u);
    EXPECT_LT(elapsed(), 2100u);
    for (auto* t : plat.timers()) EXPECT_FALSE(t->isActive());
}

TEST_F(PortProbeTest, BridgeFoundWithoutWaitingForTheTimer) {
    ports[1] = bridge();
    probePort(1);
    EXPECT_LT(elapsed(), 100u);
    EXPECT_EQ(log.back(), "COM1 is SWR Bridge.");
}

TEST_F(PortProbeTest, ReplySplitOverReadsIsRecognised) {
    ports[1] = bridge({":w", "ex", "lo 1.10", " 42\r"});
    probePort(1);
    EXPECT_EQ(log.back(), "COM1 is SWR Bridge.");
    EXPECT_EQ(probe.slot(0).icon, porticon::Bridge);
}

TEST_F(PortProbeTest, GarbageOrWrongCaseReplyIsASerialPort) {
    ports[1] = bridge({"\x01\xff:ACK\r", "noise :WEXLO 1.10\r", ":wexl"});
    probePort(1);
    EXPECT_EQ(log.back(), "Is an installed COM Port");
    EXPECT_EQ(probe.slot(0).icon, porticon::Serial);
}

TEST_F(PortProbeTest, EndlessOutputDoesNotStopTheScanOrGrowForever) {
    ports[1] = bridge(std::vector<std::string>(500, std::string(1000, 'x')));
    probePort(1);
    EXPECT_EQ(log.back(), "Is an installed COM Port");
    EXPECT_LT(elapsed(), 2100u);
}

TEST_F(PortProbeTest, MissingPortLogsItsErrorAndStaysHidden) {
    scan(2);  // nothing configured: both missing
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Checking COM1...", "Invalid port number", "---------------------",
                       "Checking COM2...", "Invalid port number", "---------------------",
                       "COM Port search complete", "Click START to rescan COM Ports"}));
    EXPECT_FALSE(probe.slot(0).visible);
    EXPECT_FALSE(probe.slot(1).visible);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(plat.processEventsCalls, 0);  // no waiting for a port that is not there
}

TEST_F(PortProbeTest, ErrorNumbersMapToTextsAndMarks) {
    struct Case {
        int number;
        std::string text;
        bool visible;
        int icon;
        std::string label;
        bool labelShown;
    };
    const std::vector<Case> cases = {
        {serr::PortInUse, "Port In Use", true, porticon::InUse, "Port In Use", true},
        {serr::PortInUseAlt, "Port In Use", true, porticon::InUse, "Port In Use", true},
        {serr::PortNotOpen, "Operation valid only when the port is open", true, porticon::Error,
         "Serial Port", true},
        {serr::PortOpenAlready, "Operation not valid while the port is opened", true,
         porticon::Error, "Serial Port", true},
        {serr::PortHardwareError, "Port ERROR", true, porticon::Error, "Serial Port", true},
        {serr::PortError, "Port ERROR", true, porticon::Error, "Serial Port", true},
        {serr::DeviceControlBlock, "Internal error retrieving device control block for the port",
         true, porticon::Error, "", false},
        {serr::Other, "Other error...", true, porticon::Error, "Serial Port", true},
        {1234, "Other error...", true, porticon::Error, "Serial Port", true},
        {serr::PropertyWriteOnly, "Property is write-only", false, 0, "", false},
        {serr::InvalidPropertyValue, "Invalid property value", false, 0, "", false},
        {serr::InvalidPortNumber, "Invalid port number", false, 0, "", false},
        {serr::PropertyReadOnly, "Property is read-only", false, 0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        probe.hideAllSlots();
        EXPECT_EQ(probe.portErrorText(c.number, 4), c.text);
        const SlotState& s = probe.slot(3);
        EXPECT_EQ(s.visible, c.visible);
        if (!c.visible) continue;
        EXPECT_EQ(s.icon, c.icon);
        EXPECT_EQ(s.caption, "COM 4");
        EXPECT_EQ(s.labelVisible, c.labelShown);
        if (c.labelShown) {
            EXPECT_EQ(s.typeLabel, c.label);
        }
    }
    // A port beyond the slots has a text but nothing to mark.
    EXPECT_EQ(probe.portErrorText(serr::PortInUse, 9), "Port In Use");
    EXPECT_EQ(probe.portErrorText(serr::PortInUse, 0), "Port In Use");
}

TEST_F(PortProbeTest, InUseAndPermissionDuringAScan) {
    ports[1].openError = serr::PortInUse;
    ports[2].openError = serr::PermissionDenied;
    scan(2);
    EXPECT_EQ(log[1], "Port In Use");
    EXPECT_NE(log[4].find("Permission denied"), std::string::npos);
    EXPECT_NE(log[4].find("dialout"), std::string::npos);
    EXPECT_EQ(probe.slot(0).icon, porticon::InUse);
    EXPECT_EQ(probe.slot(0).typeLabel, "Port In Use");
    EXPECT_EQ(probe.slot(1).icon, porticon::Error);
    EXPECT_EQ(probe.slot(1).caption, "COM 2");
    EXPECT_EQ(plat.processEventsCalls, 0);
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

TEST_F(PortProbeTest, CountZeroOrLessProbesNothing) {
    for (int count : {0, -3}) {
        log.clear();
        scan(count);
        EXPECT_EQ(log,
                  (std::vector<std::string>{"---------------------", "COM Port search complete",
                                            "Click START to rescan COM Ports"}));
    }
    EXPECT_EQ(plat.portsCreated, 0);
}

TEST_F(PortProbeTest, CountAboveEightIsLimitedToTheSlots) {
    scan(12);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "Only COM1 thru COM8 can be shown: scanning COM1 thru COM8");
    EXPECT_EQ(log[1], "Checking COM1...");
    EXPECT_EQ(log[log.size() - 5], "Checking COM8...");
}

TEST_F(PortProbeTest, ScanUsesTheConfiguredSettingsAndHidesOldSlots) {
    g.PortSettings = "9600,N,8,1";
    ports[1] = PortScript{};
    scan(1);
    EXPECT_TRUE(probe.slot(0).visible);
    auto* port = probe.port();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->settings(), "9600,N,8,1");
    EXPECT_EQ(port->inputLength(), 0);
    ports.clear();
    scan(1);
    EXPECT_FALSE(probe.slot(0).visible);
}

TEST_F(PortProbeTest, PortHeldElsewhereShowsInUse) {
    ports[2] = PortScript{};
    rig.apply();
    // The start-up window still holds COM2.
    auto other = plat.newSerialPort();
    other->setPortNumber(2);
    other->open();
    probe.scan(2);
    EXPECT_EQ(log[4], "Port In Use");
    EXPECT_EQ(probe.slot(1).typeLabel, "Port In Use");
}

TEST(PortCountText, ReadsTheLeadingWholeNumber) {
    EXPECT_EQ(PortProbe::countFromText("8"), 8);
    EXPECT_EQ(PortProbe::countFromText(" 3.9"), 3);
    EXPECT_EQ(PortProbe::countFromText("5abc"), 5);
    EXPECT_EQ(PortProbe::countFromText(""), 0);
    EXPECT_EQ(PortProbe::countFromText("abc"), 0);
    EXPECT_EQ(PortProbe::countFromText("-2"), 0);
    EXPECT_EQ(PortProbe::countFromText("99999999999999999999"), 1000000);
    EXPECT_EQ(valueOf("0"), 0);
    EXPECT_EQ(valueOf("."), 0);
    EXPECT_EQ(valueOf("  12"), 12);
}
