// Every window caption exactly as set, with nothing a window manager would add.

#include <QApplication>

#include "command/frmCommand.h"
#include "portscan/frmPort.h"
#include "setup/frmConfig.h"
#include "tests/app/AppRig.h"

using namespace quellon;

using Captions = test::AppTest;

TEST_F(Captions, EveryWindowCarriesItsOwnCaption) {
    makeWindow(false);
    std::vector<std::pair<std::string, QString>> seen = {{"frmMain", w->windowTitle()}};
    for (const char* mode : {"0", "1", "2", "3", "4"})
        seen.emplace_back(std::string("mode ") + mode,
                          createDisplayWindow(mode, *w)->widget()->windowTitle());
    seen.emplace_back("frmCommand", frmCommand(p, modGlobal, w->session()).windowTitle());
    seen.emplace_back("frmConfig", frmConfig(p, modGlobal, w->session()).windowTitle());
    seen.emplace_back("frmPort", frmPort(modGlobal, p).windowTitle());
    const std::vector<std::pair<std::string, QString>> want = {
        {"frmMain", "Quellon by WEXLO"}, {"mode 0", "Power & SWR"},
        {"mode 1", "Power & SWR"},       {"mode 2", "WattMeter"},
        {"mode 3", "Voltage"},           {"mode 4", "Test"},
        {"frmCommand", "Send Command "}, {"frmConfig", "Quellon by WEXLO v1.10 - Setting"},
        {"frmPort", "COM Port Detect"},
    };
    EXPECT_EQ(seen, want);
}

// X11 window managers add " — <display name>" to every caption once a display name
// is set; the program sets none, so the display name follows the application name.
TEST_F(Captions, TheApplicationNameIsNotAddedToCaptions) {
    const QString before = QApplication::applicationName();
    setApplicationTitle();
    EXPECT_EQ(QApplication::applicationName(), "Quellon by WEXLO");
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QApplication::applicationDisplayName(), "probe");
    QApplication::setApplicationName(before);
}
