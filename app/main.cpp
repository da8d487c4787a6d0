// Quellon: front end of the two-channel RF power and SWR bridge.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "alarm/ui/AlarmStation.h"
#include "app/frmMain.h"
#include "core/modGlobal.h"
#include "history/HistoryStore.h"
#include "history/ui/frmHistory.h"
#include "network/MqttPublisher.h"
#include "network/MqttWatcher.h"
#include "network/ui/frmStations.h"
#include "platform/QtPlatform.h"
#include "platform/SingleInstance.h"
#include "platform/StopSignals.h"
#include "rig/RigClient.h"
#include "rig/RigProtect.h"
#include "rig/ui/frmBands.h"
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

    // "--view <node>": a viewer of that node beside the program, as the
    // Stations window starts it. It opens no port, so it runs beside the
    // program that owns the bridge; one viewer per node.
    std::string viewNode;
    const QStringList args = QApplication::arguments();
    if (const qsizetype at = args.indexOf("--view"); at >= 0 && at + 1 < args.size())
        viewNode = args[at + 1].toStdString();
    // The name goes into the lock's file name and the topics: nothing but a node name.
    if (!viewNode.empty() && !quellon::goodNode(viewNode)) {
        platform.messageBox("\"" + viewNode + "\" is not a node name (a-z A-Z 0-9 _ -)",
                            quellon::mb::Exclamation, quellon::kAppTitle);
        return 2;
    }

    // One instance only: two programs on one port would fight over the bridge.
    quellon::SingleInstance instance;
    if (!instance.tryAcquire(viewNode.empty() ? "quellon" : "quellon-view-" + viewNode)) {
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
    std::unique_ptr<quellon::rig::RigClient> rigClient;
    std::unique_ptr<quellon::rig::BandStats> bandStats;
    std::unique_ptr<quellon::rig::BandStatsListener> bandListener;
    std::unique_ptr<quellon::rig::frmBands> bandsWin;
    quellon::frmMain w(platform, g);
    w.viewNode = viewNode;
    w.historyWindow = [&](QWidget*) {
        if (!historyWin) {
            historyWin =
                std::make_unique<quellon::history::frmHistory>(history, platform, g.SettingsPath);
            if (rigClient) {
                historyWin->rigStatusSource = [&rigClient] { return rigClient->statusText(); };
                historyWin->setBandsWindow([&] {
                    if (!bandsWin)
                        bandsWin = std::make_unique<quellon::rig::frmBands>(*bandStats, history);
                    bandsWin->show();
                    bandsWin->raise();
                    bandsWin->activateWindow();
                });
            }
        }
        historyWin->show();
        historyWin->raise();
        historyWin->activateWindow();
    };
    w.Form_Load();
    // A viewer's readings come from the node it watches: known after the load.
    w.readings().subscribe(&history);
    // A viewer beside the program keeps out of the program's log file:
    // dataLog.csv becomes dataLog-<node>.csv.
    if (!viewNode.empty())
        w.logger().pathFor = [viewNode](const std::string& path) {
            const QFileInfo f(QString::fromStdString(path));
            const QString name = f.completeBaseName() + "-" + QString::fromStdString(viewNode) +
                                 (f.suffix().isEmpty() ? QString() : "." + f.suffix());
            return QDir::toNativeSeparators(f.dir().filePath(name)).toStdString();
        };

    // The SWR alarm listens to every frame, whatever window is open. Read after
    // the version check, which may start a new settings file.
    quellon::alarm::AlarmStation alarms(w.readings(), g.SettingsPath, g.ProgramDir);
    w.bigViewWindow = [&alarms](QWidget*) { alarms.showBigView(); };
    // The transceiver, when enabled: its frequency and mode tag every reading.
    // Read after the version check, like the MQTT settings below.
    const quellon::rig::RigSettings rigSettings = quellon::rig::readRigSettings(g.SettingsPath);
    for (const std::string& problem : rigSettings.problems)
        std::fprintf(stderr, "quellon: %s\n", problem.c_str());
    // [Rig] LogFrequency=1: the log gets the frequency and mode columns (empty
    // while no rig answers).
    if (rigSettings.logFrequency)
        w.logger().frequencySource = [&rigClient] {
            return rigClient ? rigClient->tag() : quellon::RigTag{};
        };
    std::unique_ptr<quellon::rig::RigProtect> protect;
    std::unique_ptr<quellon::ShownMessage> protectReport;
    QTimer protectPoll;
    if (rigSettings.enabled) {
        rigClient = std::make_unique<quellon::rig::RigClient>(rigSettings);
        rigClient->start();
        w.session().tagSource = [&rigClient] { return rigClient->tag(); };
        // SWR per band from every reading, counted from the alarm's minimum power.
        std::string planProblem;
        bandStats = std::make_unique<quellon::rig::BandStats>(
            quellon::rig::BandPlan::parse(rigSettings.bands, &planProblem),
            alarms.settings().condition.minPowerW);
        if (!planProblem.empty()) std::fprintf(stderr, "quellon: %s\n", planProblem.c_str());
        bandListener = std::make_unique<quellon::rig::BandStatsListener>(*bandStats);
        w.readings().subscribe(bandListener.get());
        // [Rig] Protect=1: an alarm's start unkeys the transmitter.
        if (rigSettings.protect) {
            protect = std::make_unique<quellon::rig::RigProtect>(*rigClient, rigSettings.journal);
            alarms.monitor().subscribe(protect.get());
            // A rig that could not be unkeyed is said loudly, in a box that waits
            // for nobody: the stream goes on behind it.
            QObject::connect(&protectPoll, &QTimer::timeout, [&] {
                const std::string failure = protect->takeFailure();
                if (failure.empty()) return;
                platform.beep();
                protectReport =
                    platform.showMessage(failure, quellon::mb::Exclamation, quellon::kAppTitle);
            });
            protectPoll.start(100);
        }
        const auto rigStatus = [&rigClient, &protect] {
            std::string text = rigClient->statusText();
            if (protect && !protect->lastEvent().empty()) text += "\n" + protect->lastEvent();
            return text;
        };
        w.setRigStatusSource(rigStatus);
        alarms.setExtraStatus(rigStatus);
    }

    // Readings to an MQTT broker, when enabled. Read after the version check,
    // which may start a new settings file.
    std::unique_ptr<quellon::MqttPublisher> publisher;
    const quellon::MqttSettings mqtt = quellon::readMqttSettings(g.SettingsPath);
    // A viewer only subscribes: it publishes nothing, not even its presence.
    if (mqtt.enabled && !w.viewing()) {
        publisher = std::make_unique<quellon::MqttPublisher>(mqtt, g.SettingsPath);
        publisher->start();
        w.readings().subscribe(publisher.get());
        w.networkStatusSource = [&publisher] { return publisher->statusText(); };
    }
    // [Remote] Stations=1: the other stations on the same broker, beside the program.
    std::unique_ptr<quellon::frmStations> stations;
    // Not in a viewer started from there: one Stations window is enough.
    if (viewNode.empty() && quellon::readRemoteSettings(g.SettingsPath).stations) {
        stations = std::make_unique<quellon::frmStations>(mqtt);
        // A viewer of its own for the node: this program goes on with its
        // own bridge (or its own node) undisturbed.
        stations->openViewer = [](const std::string& node) {
            QProcess::startDetached(QApplication::applicationFilePath(),
                                    {"--view", QString::fromStdString(node)});
        };
        stations->show();
    }
    // The end is immediate: the log's last records (handed to its writer within
    // the last batch) reach the file first, the network says goodbye.
    platform.beforeEnd = [&publisher, &w] {
        w.saveSettings();  // the setup dialog's mode change ends the program at once
        w.logger().flush(quellon::DataLogger::kExitWaitMs);
        if (publisher) publisher->stop();
    };
    quellon::onStopSignals([&w] { w.exitRequested(); });
    const int rc = app.exec();
    w.session().tagSource = nullptr;
    if (protect) alarms.monitor().unsubscribe(protect.get());
    if (bandListener) w.readings().unsubscribe(bandListener.get());
    bandsWin.reset();
    if (rigClient) rigClient->stop();
    if (publisher) {
        w.readings().unsubscribe(publisher.get());
        publisher->stop();
    }
    return rc;
}
