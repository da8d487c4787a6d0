// A real scan: the window on the program's own Qt platform against two bridge
// simulators on pseudo terminals, pinned to COM1 and COM2 in a temporary
// settings file; COM3 is pinned to a device that does not exist.
#include "portscan/frmPort.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

#include "platform/PortMap.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"

namespace fs = std::filesystem;
using namespace quellon;

TEST(ScanEndToEnd, FindsTheBridgeBesideASilentOneAndAMissingPort) {
    char tmpl[] = "/tmp/portscan_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    {
        SimProcess bridge({});
        SimProcess silent({"--fault", "silence"});
        ModGlobal g;
        g.SettingsPath = (dir / "Quellon.ini").string();
        g.PortNumber = "5";
        WriteIni("Ports", "1", bridge.linkPath(), g.SettingsPath);
        WriteIni("Ports", "2", silent.linkPath(), g.SettingsPath);
        WriteIni("Ports", "3", (dir / "no-such-tty").string(), g.SettingsPath);

        QtPlatform plat([&g] { return g.SettingsPath; });
        frmPort w(g, plat);
        w.listPorts = [&g] { return numberedPorts(g.SettingsPath, 3, {}); };
        w.txtPortNumber->setCurrentText("3");
        w.show();
        w.cmdStart->click();

        QStringList lines = w.InfoText->toPlainText().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        ASSERT_EQ(lines.size(), 11) << lines.join("|").toStdString();
        EXPECT_TRUE(
            lines[0].startsWith("Checking COM1... (" + QString::fromStdString(bridge.linkPath())));
        EXPECT_EQ(lines[1], "COM1 is SWR Bridge.");
        EXPECT_TRUE(lines[3].startsWith("Checking COM2..."));
        EXPECT_EQ(lines[4], "Is an installed COM Port");
        EXPECT_TRUE(lines[6].startsWith("Checking COM3..."));
        EXPECT_EQ(lines[7], "Invalid port number");
        EXPECT_EQ(lines[10], "Click START to rescan COM Ports");
        EXPECT_EQ(w.COMicon[0]->text(), "COM 1");
        EXPECT_EQ(w.COMicon[1]->text(), "COM2");
        EXPECT_TRUE(w.COMicon[2]->isHidden());

        // Both simulators were asked, and the ports are free again afterwards.
        auto asked = [](const SimProcess& s) {
            for (const auto& c : s.recordedCommands())
                if (c.find(":16") != std::string::npos) return true;
            return false;
        };
        EXPECT_TRUE(asked(bridge));
        EXPECT_TRUE(asked(silent));
        w.COMicon[0]->click();
        w.cmdOK->click();
        EXPECT_EQ(IniLookup("Bridge", "Port", g.SettingsPath).value_or(""), "1");
    }
    fs::remove_all(dir);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
