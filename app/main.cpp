// Quellon: front end of the two-channel RF power and SWR bridge.

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "alarm/AlarmMonitor.h"
#include "alarm/AlarmSettings.h"
#include "app/frmMain.h"
#include "core/modGlobal.h"
#include "history/HistoryStore.h"
#include "history/ui/frmHistory.h"
#include "network/MqttPublisher.h"
#include "platform/QtPlatform.h"
#include "platform/SingleInstance.h"
#include "settings/Settings.h"

namespace {

// Ending the program is immediate; what must still happen first (the network's
// goodbye) hangs on here.
class ProgramPlatform : public quellon::QtPlatform {
public:
    using QtPlatform::QtPlatform;
    std::function<void()> beforeEnd;
    void endProgram(int code) override {
        if (beforeEnd) beforeEnd();
        QtPlatform::endProgram(code);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Qt's own event dispatcher: the stream runs the event loop up to ~1000
    // times a second, and the GLib dispatcher's locking costs a large share of a
    // core at that rate.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    quellon::setApplicationTitle();

    quellon::ModGlobal& g = quellon::modGlobal;
    ProgramPlatform platform([&g] { return g.SettingsPath; });

    // One instance only: two programs on one port would fight over the bridge.
    quellon::SingleInstance instance;
    if (!instance.tryAcquire("quellon")) {
        platform.beep();
        g.StatusMessage =
            instance.problem().empty() ? "The program is already running" : instance.problem();
        platform.messageBox(g.StatusMessage, quellon::mb::Exclamation, quellon::kAppTitle);
        return 0;
    }

    const std::string exeDir =
        QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString();
    const quellon::SettingsLocation loc = quellon::locateSettings(exeDir);
    g.SettingsPath = loc.path;
    g.ProgramDir = loc.dir;

    // The history listens to every frame from the start, window open or not.
    quellon::history::HistoryStore history;
    std::unique_ptr<quellon::history::frmHistory> historyWin;
    quellon::frmMain w(platform, g);
    w.readings().subscribe(&history);
    w.historyWindow = [&](QWidget*) {
        if (!historyWin)
            historyWin =
                std::make_unique<quellon::history::frmHistory>(history, platform, g.SettingsPath);
        historyWin->show();
        historyWin->raise();
        historyWin->activateWindow();
    };
    w.Form_Load();

    // The SWR alarm listens to every frame, whatever window is open. Read after
    // the version check, which may start a new settings file. The timer decides
    // an alarm's start or end when the frames stop coming.
    const quellon::alarm::AlarmSettings alarmSettings =
        quellon::alarm::readAlarmSettings(g.SettingsPath);
    quellon::alarm::AlarmMonitor alarms(alarmSettings.condition);
    w.readings().subscribe(&alarms);
    QTimer alarmPoll;
    QObject::connect(&alarmPoll, &QTimer::timeout, [&alarms] { alarms.poll(); });
    alarmPoll.start(50);

    // Readings to an MQTT broker, when enabled. Read after the version check,
    // which may start a new settings file.
    std::unique_ptr<quellon::MqttPublisher> publisher;
    const quellon::MqttSettings mqtt = quellon::readMqttSettings(g.SettingsPath);
    if (mqtt.enabled) {
        publisher = std::make_unique<quellon::MqttPublisher>(mqtt, g.SettingsPath);
        publisher->start();
        w.readings().subscribe(publisher.get());
        w.networkStatusSource = [&publisher] { return publisher->statusText(); };
    }
    // The end is immediate: the log's last records (handed to its writer within
    // the last batch) reach the file first, the network says goodbye.
    platform.beforeEnd = [&publisher, &w] {
        w.logger().flush(quellon::DataLogger::kExitWaitMs);
        if (publisher) publisher->stop();
    };
    const int rc = app.exec();
    w.readings().unsubscribe(&alarms);
    if (publisher) {
        w.readings().unsubscribe(publisher.get());
        publisher->stop();
    }
    return rc;
}
