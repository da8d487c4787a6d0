// Every window caption exactly as set, with nothing a window manager would add.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/frmMain.h"
#include "command/frmCommand.h"
#include "core/modGlobal.h"
#include "platform/testing/FakePlatform.h"
#include "portscan/frmPort.h"
#include "setup/frmConfig.h"

using namespace quellon;

TEST(Captions, EveryWindowCarriesItsOwnCaption) {
    QTemporaryDir tmp;
    ModGlobal g;
    g.SettingsPath = tmp.filePath("Quellon.ini").toStdString();
    g.ProgramDir = tmp.path().toStdString();
    FakePlatform p;
    frmMain main(p, g);
    main.Form_Load();

    std::vector<std::pair<std::string, QString>> seen = {{"frmMain", main.windowTitle()}};
    for (const char* mode : {"0", "1", "2", "3", "4"})
        seen.emplace_back(std::string("mode ") + mode,
                          createDisplayWindow(mode, main)->widget()->windowTitle());
    seen.emplace_back("frmCommand", frmCommand(p, g).windowTitle());
    seen.emplace_back("frmConfig", frmConfig(p, g).windowTitle());
    seen.emplace_back("frmPort", frmPort(g, p).windowTitle());

    const std::vector<std::pair<std::string, QString>> want = {
        {"frmMain", "Quellon by WEXLO"}, {"mode 0", "Power & SWR"},
        {"mode 1", "Power & SWR"},       {"mode 2", "WattMeter"},
        {"mode 3", "Voltage"},           {"mode 4", "Test"},
        {"frmCommand", "Send Command "}, {"frmConfig", "Quellon by WEXLO v1.10 - Setting"},
        {"frmPort", "COM Port Detect"},
    };
    EXPECT_EQ(seen, want);
}

TEST(Captions, TheApplicationNameIsNotAddedToCaptions) {
    // X11 window managers show " — <display name>" after every caption once
    // a display name is set; the program sets none, so the display name keeps
    // following the application name.
    const QString before = QApplication::applicationName();
    setApplicationTitle();
    EXPECT_EQ(QApplication::applicationName(), "Quellon by WEXLO");
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QApplication::applicationDisplayName(), "probe");
    QApplication::setApplicationName(before);
}
