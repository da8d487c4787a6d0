// The probe on scripted fake ports, and the window that runs it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "platform/testing/FakePlatform.h"
#include "portscan/PortProbe.h"
#include "portscan/frmPort.h"
#include "settings/Ini.h"

using namespace quellon;
using Lines = std::vector<std::string>;

namespace {

// How a COM port behaves; a number without one is missing.
struct PortScript {
    int openError = 0;  // SerialError number thrown by open(), 0 none
    // The reply to ":16\r", each piece arriving on its own; none: a silent port.
    std::vector<std::string> chunks;
    int hangupAfterMs = -1;  // the line goes away this long after the write
};

// The fake platform as a row of scripted COM ports.
struct ScanRig {
    FakePlatform plat;
    std::map<int, PortScript> ports;

    void apply() {  // after changing ports, before the scan
        plat.openFailures.clear();
        for (int n = 1; n <= 16; ++n) {
            auto it = ports.find(n);
            if (it == ports.end())
                plat.openFailures.emplace(
                    n, SerialError(serr::InvalidPortNumber, "Invalid port number"));
            else if (it->second.openError)
                plat.openFailures.emplace(n, SerialError(it->second.openError, "cannot open"));
        }
        plat.onNewPort = [this](FakeSerialPort& port) {
            port.onWrite = [this](const std::string& data, FakeSerialPort& p) {
                if (auto it = ports.find(p.portNumber()); it != ports.end())
                    respond(data, p, it->second);
            };
        };
    }
    void respond(const std::string& data, FakeSerialPort& p, const PortScript& s) {
        if (s.hangupAfterMs >= 0) {
            plat.after(s.hangupAfterMs, [this, id = p.id()] {
                if (FakeSerialPort* q = plat.portById(id)) q->hangup();
            });
        }
        if (data != ":16\r") return;
        int t = 30;  // the bridge's reply starts 30 ms after the write
        for (const std::string& c : s.chunks) {
            p.feedAfter(t, c);
            t += 5;  // far enough apart to come in separate reads
        }
    }
};

PortScript bridge(std::vector<std::string> chunks = {":wexlo 1.10 42 10 20 150 150 30\r"}) {
    return {.chunks = std::move(chunks)};
}

class PortProbeTest : public ::testing::Test {
protected:
    PortProbeTest() {
        probe.onInfo = [this](const std::string& s) { log.push_back(s); };
    }
    void scan(int count) {
        rig.apply();
        probe.scan(count);
        plat.runUntil([&] { return !probe.scanning(); }, 30000);
    }

    ScanRig rig;
    FakePlatform& plat = rig.plat;
    ModGlobal g;
    PortProbe probe{g, plat};
    Lines log;
};

}  // namespace

TEST_F(PortProbeTest, RepliesAreSortedIntoBridgeOrSerialPortWithinTheWait) {
    const std::tuple<const char*, PortScript, bool, uint32_t, uint32_t> cases[] = {
        // The wait ends at the second tick of a 1000 ms clock.
        {"silent", PortScript{}, false, 2000, 2001},
        {"bridge, without waiting for the timer", bridge(), true, 30, 31},
        {"reply split over reads", bridge({":w", "ex", "lo 1.10", " 42\r"}), true, 0, 2100},
        {"garbage or wrong case", bridge({"\x01\xff:ACK\r", "noise :WEXLO 1.10\r", ":wexl"}), false,
         0, 2100},
        {"endless output", bridge(std::vector<std::string>(500, std::string(1000, 'x'))), false, 0,
         2100},
    };
    for (const auto& [what, script, isBridge, minMs, maxMs] : cases) {
        SCOPED_TRACE(what);
        rig.ports[1] = script;
        rig.apply();
        const uint32_t start = plat.now;
        bool done = false;
        probe.probePort(1, [&] { done = true; });
        plat.runUntil([&] { return done; }, 5000);
        EXPECT_TRUE(plat.now - start >= minMs && plat.now - start < maxMs) << plat.now - start;
        EXPECT_EQ(log.back(), isBridge ? "COM1 is SWR Bridge." : "Is an installed COM Port");
        EXPECT_EQ(probe.slot(0).icon, isBridge ? porticon::Bridge : porticon::Serial);
        for (auto* t : plat.timers()) EXPECT_FALSE(t->isActive());
    }
}

TEST_F(PortProbeTest, PortsThatDoNotOpenOrLoseTheLineAreMarkedAndTheScanGoesOn) {
    rig.ports[1].openError = serr::PermissionDenied;
    rig.ports[2].hangupAfterMs = 500;
    rig.ports[3] = bridge();
    // The device behind a number is the window's to show, never part of the log.
    probe.portNotes = {{1, "/dev/ttyS0"}, {2, "/dev/ttyUSB0, FT232R USB UART"}};
    scan(3);
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ((Lines{log[0], log[1], log[3], log[4], log[6], log[7]}),
              (Lines{"Checking COM1...", "Other error...", "Checking COM2...", "Port ERROR",
                     "Checking COM3...", "COM3 is SWR Bridge."}));
    // A refused device logs the table's text; the port's own words (the
    // dialout advice on Linux) go with the slot.
    EXPECT_EQ(std::tuple(probe.slot(0).hint, probe.slot(1).hint), std::tuple("cannot open", ""));
    EXPECT_TRUE(probe.slot(0).icon == porticon::Error && probe.slot(1).icon == porticon::Error);
    EXPECT_FALSE(probe.port()->isOpen());
    for (auto* t : plat.timers()) EXPECT_FALSE(t->isActive());
}

TEST_F(PortProbeTest, ErrorNumbersMapToTextsAndPortsBeyondTheSlotsMarkNothing) {
    EXPECT_EQ(probe.portErrorText(serr::PortInUseAlt, 4), "Port In Use");
    EXPECT_EQ(probe.slot(3).icon, porticon::InUse);
    EXPECT_EQ(probe.portErrorText(1234, 4), "Other error...");
    EXPECT_EQ(probe.slot(3).icon, porticon::Error);
    for (int n : {9, 0}) EXPECT_EQ(probe.portErrorText(serr::PortInUse, n), "Port In Use") << n;
}

TEST_F(PortProbeTest, CountIsLimitedToTheSlotsAndZeroOrLessProbesNothing) {
    scan(-3);
    EXPECT_EQ(log, (Lines{"---------------------", "COM Port search complete",
                          "Click START to rescan COM Ports"}));
    EXPECT_EQ(plat.portsCreated, 0);
    log.clear();
    scan(12);
    ASSERT_GT(log.size(), 5u);
    EXPECT_EQ(log[0], "Only COM1 thru COM8 can be shown: scanning COM1 thru COM8");
    EXPECT_EQ(log[log.size() - 5], "Checking COM8...");
}

TEST(PortCountText, ReadsTheLeadingWholeNumber) {
    const std::pair<const char*, int> cases[] = {
        {" 3.9", 3}, {"5abc", 5}, {"", 0}, {"-2", 0}, {"99999999999999999999", 1000000}};
    for (const auto& [text, count] : cases)
        EXPECT_EQ(PortProbe::countFromText(text), count) << text;
}

TEST(frmPortTest, WindowCannotBeClosedDuringAScan) {
    ScanRig rig;
    rig.ports[1] = PortScript{};
    rig.apply();
    QTemporaryDir dir;
    ModGlobal g;
    g.SettingsPath = dir.filePath("Quellon.ini").toStdString();
    frmPort w(g, rig.plat);
    w.txtPortNumber->setCurrentText("1");
    w.show();
    bool triedWhileScanning = false;
    // Called from inside the scan's event processing, as a click on the title
    // bar's close button or Esc would be.
    w.probe().onSlotChanged = [&, inner = w.probe().onSlotChanged](int i) {
        inner(i);
        if (w.probe().scanning() && !triedWhileScanning) {
            triedWhileScanning = true;
            EXPECT_FALSE(w.cmdOK->isEnabled());
            w.reject();
            w.close();
            EXPECT_TRUE(w.isVisible());
        }
    };
    w.cmdStart->click();
    rig.plat.runUntil([&] { return !w.probe().scanning(); }, 5000);
    EXPECT_TRUE(w.cmdOK->isEnabled() && triedWhileScanning && w.isVisible());
}

// OK after a scan offers to pin a bridge on a USB adapter to its number by the
// adapter's stable name; nothing is asked where there is nothing to pin.
TEST(frmPortTest, OkOffersToPinTheBridgesUsbAdapterByItsStableName) {
    namespace fs = std::filesystem;
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    fs::create_directories(dir / "by-id");
    const fs::path usbDev = dir / "ttyUSB0", plainDev = dir / "ttyS0";  // stand-ins for devices
    for (const fs::path& dev : {usbDev, plainDev}) std::ofstream(dev.string()) << "";
    const std::string stable = (dir / "by-id" / "usb-FTDI_FT232R_A10K2B3C-if00-port0").string();
    fs::create_symlink(usbDev, stable);

    // What, the slot chosen, the bridge on the adapter (else on the plain port, COM2),
    // [Ports] 1 already naming the stable path, the answer, asked, pinned afterwards.
    const std::tuple<const char*, const char*, bool, bool, int, bool, bool> rows[] = {
        {"bridge on the adapter, yes", "1", true, false, mb::IdYes, true, true},
        {"bridge on the adapter, no", "1", true, false, mb::IdNo, true, false},
        {"already pinned", "1", true, true, mb::IdYes, false, true},
        {"bridge on a built-in port", "2", false, false, mb::IdYes, false, false},
        {"chosen slot is not the bridge", "2", true, false, mb::IdYes, false, false},
    };
    for (const auto& [what, selected, bridgeOnUsb, pinnedBefore, answer, asked, pinned] : rows) {
        SCOPED_TRACE(what);
        ScanRig rig;
        rig.ports[1] = bridgeOnUsb ? bridge() : PortScript{};
        rig.ports[2] = bridgeOnUsb ? PortScript{} : bridge();
        rig.apply();
        ModGlobal g;
        g.SettingsPath = (dir / "Quellon.ini").string();
        fs::remove(g.SettingsPath);
        if (pinnedBefore) WriteIni("Ports", "1", stable, g.SettingsPath);
        rig.plat.answers = {answer};
        frmPort w(g, rig.plat);
        w.byIdDir = (dir / "by-id").string();
        w.listPorts = [&] {
            return std::vector<std::pair<int, PortInfo>>{{1, {usbDev.string(), "FT232R"}},
                                                         {2, {plainDev.string(), ""}}};
        };
        w.txtPortNumber->setCurrentText("2");
        w.cmdStart_Click();
        rig.plat.runUntil([&] { return !w.probe().scanning(); }, 10000);
        w.COMicon_Click(std::stoi(selected) - 1);
        w.cmdOK_Click();
        EXPECT_EQ(rig.plat.messageBoxes.size(), asked ? 1u : 0u);
        for (const auto& box : rig.plat.messageBoxes)
            EXPECT_NE(box.text.find(stable), std::string::npos);
        EXPECT_EQ(IniLookup("Ports", "1", g.SettingsPath).value_or(""), pinned ? stable : "");
    }
}
