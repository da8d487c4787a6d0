// A real scan on the Qt platform: a bridge simulator on COM1, a silent one on
// COM2 (pseudo terminals pinned in a temporary settings file), nothing on COM3.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include "platform/PortMap.h"
#include "platform/QtPlatform.h"
#include "portscan/frmPort.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"
#include "tests/platform/TestUtil.h"

using namespace quellon;

TEST(ScanEndToEnd, FindsTheBridgeBesideASilentOneAndAMissingPort) {
    QTemporaryDir tmp;
    SimProcess bridge({}), silent({"--fault", "silence"});
    ModGlobal g;
    g.SettingsPath = tmp.filePath("Quellon.ini").toStdString();
    g.PortNumber = "5";
    WriteIni("Ports", "1", bridge.linkPath(), g.SettingsPath);
    WriteIni("Ports", "2", silent.linkPath(), g.SettingsPath);
    WriteIni("Ports", "3", tmp.filePath("no-such-tty").toStdString(), g.SettingsPath);
    QtPlatform plat([&g] { return g.SettingsPath; });
    frmPort w(g, plat);
    w.listPorts = [&g] { return numberedPorts(g.SettingsPath, 3, {}); };
    w.txtPortNumber->setCurrentText("3");
    w.show();
    w.cmdStart->click();
    ASSERT_TRUE(test::pumpUntil([&] { return !w.probe().scanning(); }, 30000));

    const QStringList lines = w.InfoText->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 11) << lines.join("|").toStdString();
    EXPECT_EQ(lines[1], "COM1 is SWR Bridge.");
    EXPECT_EQ(lines[4], "Is an installed COM Port");
    EXPECT_EQ(lines[7], "Invalid port number");
    ASSERT_FALSE(bridge.recordedCommands().empty());
    EXPECT_NE(bridge.recordedCommands()[0].find(":16"), std::string::npos);
    // The port is free again: choosing it and OK saves it for the reconnect.
    w.COMicon[0]->click();
    w.cmdOK->click();
    EXPECT_EQ(IniLookup("Bridge", "Port", g.SettingsPath).value_or(""), "1");
}
