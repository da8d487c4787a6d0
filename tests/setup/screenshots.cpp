// Renders the setup dialog (both frames) and the command window to PNG files
// for a look by eye: setup_screenshots <output directory>.
#include "link/command/frmCommand.h"
#include "setup/frmConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>

#include <filesystem>

#include "SetupFakes.h"

using namespace quellon;
using namespace quellon::testing_setup;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string out = argc > 1 ? argv[1] : ".";
    const auto ini = std::filesystem::temp_directory_path() / "quellon_screenshot.ini";
    std::filesystem::remove(ini);

    ModGlobal g;
    g.SettingsPath = ini.string();
    g.ProgramDir = "/opt/quellon";
    g.BridgeFirmwareVersion = "2.3";
    g.params = {25, 32, 128, 300, 300, 75, 90, 75, 90, 32, 512, 0};
    g.ScaleTextA = {"100W", "1KW"};
    g.ScaleTextB = {"200W", "2KW"};
    TestPlatform platform;

    auto save = [&](QWidget& w, const std::string& name) {
        w.show();
        QCoreApplication::processEvents();
        w.grab().save(QString::fromStdString(out + "/" + name));
    };
    {
        frmConfig d(platform, g);
        save(d, "setup_basic.png");
        d.findChild<QCheckBox*>("chkAdvanced")->setChecked(true);
        save(d, "setup_advanced.png");
    }
    {
        platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
        frmConfig d(platform, g);
        save(d, "setup_noport.png");
    }
    {
        platform.openError.reset();
        frmCommand w(platform, g);
        save(w, "command.png");
        platform.openError = SerialError(serr::InvalidPortNumber, "Invalid Port Number");
        frmCommand w2(platform, g);
        save(w2, "command_noport.png");
    }
    std::filesystem::remove(ini);
    return 0;
}
