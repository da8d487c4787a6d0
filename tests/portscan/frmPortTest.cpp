#include "portscan/frmPort.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

#include "ScanRig.h"
#include "settings/Ini.h"

namespace fs = std::filesystem;
using namespace quellon;

namespace {

class frmPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/frmport_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        g.SettingsPath = (dir / "Quellon.ini").string();
        g.PortNumber = "3";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<frmPort> open() {
        rig.apply();
        auto w = std::make_unique<frmPort>(g, plat);
        w->listPorts = [] {
            return std::vector<std::pair<int, PortInfo>>{{2, {"/dev/ttyUSB0", "FT232R USB UART"}}};
        };
        return w;
    }
    static QStringList lines(frmPort& w) {
        QStringList l = w.InfoText->toPlainText().split('\n');
        if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
        return l;
    }
    std::string saved(const char* key) {
        return IniLookup("Bridge", key, g.SettingsPath).value_or("<missing>");
    }

    fs::path dir;
    ModGlobal g;
    scantest::ScanRig rig;
    FakePlatform& plat = rig.plat;
};

}  // namespace

TEST_F(frmPortTest, LoadShowsTheCurrentPortAndTheCountList) {
    auto w = open();
    EXPECT_EQ(w->windowTitle(), "COM Port Detect");
    EXPECT_EQ(w->Label1->text(), "COM ports to scan: 1 thru ");
    EXPECT_EQ(w->cmdStart->text(), "START ");
    ASSERT_EQ(w->txtPortNumber->count(), 8);
    EXPECT_EQ(w->txtPortNumber->itemText(0), "1");
    EXPECT_EQ(w->txtPortNumber->itemText(7), "8");
    EXPECT_EQ(w->txtPortNumber->currentText(), "8");
    EXPECT_EQ(w->lblSelected->text(), "Current selected port COM:");
    EXPECT_EQ(w->txtPortSelected->text(), "3");
    EXPECT_EQ(lines(*w), QStringList{"Click START to begin COM Port detect"});
    for (auto* b : w->COMicon) EXPECT_TRUE(b->isHidden());
    for (auto* t : w->PortType) EXPECT_TRUE(t->isHidden());
}

TEST_F(frmPortTest, PortNumberZeroAtLoadSavesPortOneOnOk) {
    g.PortNumber = "abc";
    auto w = open();
    EXPECT_EQ(g.PortNumber, "0");
    EXPECT_EQ(w->lblSelected->text(), "Current selected port: NONE");
    EXPECT_TRUE(w->txtPortSelected->text().isEmpty());
    w->cmdOK->click();
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(saved("Port"), "1");
    EXPECT_EQ(saved("Setting"), "115200,N,8,1");
}

TEST_F(frmPortTest, OkSavesOnlyAChangeAndCancelNothing) {
    auto w = open();
    w->COMicon_Click(5);
    EXPECT_EQ(w->txtPortSelected->text(), "6");
    w->cmdExit->click();
    EXPECT_EQ(w->result(), QDialog::Rejected);
    w = open();
    w->cmdOK->click();  // port and settings unchanged
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_FALSE(fs::exists(g.SettingsPath));

    w = open();
    g.PortSettings = "9600,N,8,1";
    w->cmdOK->click();
    EXPECT_EQ(saved("Port"), "3");
    EXPECT_EQ(saved("Setting"), "9600,N,8,1");
}

TEST_F(frmPortTest, ScanMarksSlotsAndOkSavesTheClickedBridge) {
    rig.ports[1] = scantest::PortScript{};
    rig.ports[2] = {.answers = true, .chunks = {":wexlo 1.10\r"}};
    rig.ports[3].openError = serr::PortInUse;
    auto w = open();
    w->txtPortNumber->setCurrentText("0");  // a typed count of none probes nothing
    w->cmdStart->click();
    EXPECT_EQ(lines(*w), (QStringList{"---------------------", "COM Port search complete",
                                      "Click START to rescan COM Ports"}));
    EXPECT_EQ(plat.portsCreated, 0);
    w->txtPortNumber->setCurrentText("4");
    w->cmdStart->click();

    EXPECT_EQ(lines(*w),
              (QStringList{"Checking COM1...", "Is an installed COM Port", "---------------------",
                           "Checking COM2... (/dev/ttyUSB0, FT232R USB UART)",
                           "COM2 is SWR Bridge.", "---------------------", "Checking COM3...",
                           "Port In Use", "---------------------", "Checking COM4...",
                           "Invalid port number", "---------------------",
                           "COM Port search complete", "Click START to rescan COM Ports"}));
    EXPECT_FALSE(w->COMicon[0]->isHidden());
    EXPECT_EQ(w->COMicon[0]->text(), "COM1");
    EXPECT_EQ(w->PortType[0]->text(), "Serial Port");
    EXPECT_EQ(w->COMicon[1]->text(), "COM 2");
    EXPECT_EQ(w->PortType[1]->text(), "SWR Bridge");
    EXPECT_FALSE(w->PortDevice[1]->isHidden());
    EXPECT_EQ(w->PortDevice[1]->text(), "/dev/ttyUSB0");
    EXPECT_TRUE(w->PortDevice[0]->isHidden());
    EXPECT_EQ(w->PortType[2]->text(), "Port In Use");
    EXPECT_TRUE(w->COMicon[3]->isHidden());
    for (auto* b : {w->cmdStart, w->cmdOK, w->cmdExit}) EXPECT_TRUE(b->isEnabled());

    w->COMicon[1]->click();
    EXPECT_EQ(w->txtPortSelected->text(), "2");
    w->cmdOK->click();
    EXPECT_EQ(saved("Port"), "2");
    EXPECT_EQ(g.PortNumber, "3");  // memory is left alone: the reconnect reads the file
}

TEST_F(frmPortTest, WindowCannotBeClosedDuringAScan) {
    rig.ports[1] = scantest::PortScript{};
    auto w = open();
    w->txtPortNumber->setCurrentText("1");
    w->show();
    bool triedWhileScanning = false;
    // Called from inside the scan's event processing, as a click on the title
    // bar's close button or Esc would be.
    w->probe().onSlotChanged = [&, inner = w->probe().onSlotChanged](int i) {
        inner(i);
        if (w->probe().scanning() && !triedWhileScanning) {
            triedWhileScanning = true;
            EXPECT_FALSE(w->cmdOK->isEnabled());
            w->reject();
            w->close();
            EXPECT_TRUE(w->isVisible());
        }
    };
    w->cmdStart->click();
    EXPECT_TRUE(triedWhileScanning);
    EXPECT_TRUE(w->isVisible());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
