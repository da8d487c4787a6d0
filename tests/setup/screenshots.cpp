// Renders the setup dialog (both frames) and the command window to PNG files
// for a look by eye: setup_screenshots <output directory>.
#include "link/command/frmCommand.h"
#include "setup/frmConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>

#include "SetupFakes.h"

using namespace quellon;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string out = argc > 1 ? argv[1] : ".";
    const testing_setup::TempIni ini;
    ModGlobal g;
    g.SettingsPath = ini.path;
    g.ProgramDir = "/opt/quellon";
    g.BridgeFirmwareVersion = "2.3";
    g.params = {25, 32, 128, 300, 300, 75, 90, 75, 90, 32, 512, 0};
    g.ScaleTextA = {"100W", "1KW"};
    g.ScaleTextB = {"200W", "2KW"};
    testing_setup::TestPlatform platform;
    auto save = [&](QWidget&& w, const char* name, bool advanced = false) {
        if (advanced) w.findChild<QCheckBox*>("chkAdvanced")->setChecked(true);
        w.show();
        QCoreApplication::processEvents();
        w.grab().save(QString::fromStdString(out + "/" + name));
    };
    save(frmConfig(platform, g), "setup_basic.png");
    save(frmConfig(platform, g), "setup_advanced.png", true);
    save(frmCommand(platform, g), "command.png");
    platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
    save(frmConfig(platform, g), "setup_noport.png");
    save(frmCommand(platform, g), "command_noport.png");
    return 0;
}
