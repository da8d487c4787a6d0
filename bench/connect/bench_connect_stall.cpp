// The user-interface thread during a connect attempt against a bridge that
// never answers (the simulator in its silent fault mode on a pseudo-terminal):
// a 10 ms repeating timer runs beside the attempt and the longest gap between
// two of its events is printed. Every gap above the timer's period is time in
// which the windows could not repaint or take a click.
//
// Output (one figure a line): connect_attempt_ms, timer_events,
// max_timer_gap_ms, gaps_over_50ms.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/frmMain.h"
#include "core/Version.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"

using namespace quellon;

namespace {

// Message boxes are answered at once: a modal one would stop the run.
class AnsweringPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    int messageBox(const std::string&, int, const std::string&) override { return mb::IdOk; }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/quellon-bench-connect-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    modGlobal.ProgramDir = dir;
    modGlobal.SettingsPath = dir + "/Quellon.ini";

    SimProcess sim({"--fault", "silence"});
    WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
    WriteIni("Bridge", "Port", "1", modGlobal.SettingsPath);
    WriteIni("Ports", "1", sim.linkPath(), modGlobal.SettingsPath);
    // One attempt: no retry countdown after it.
    WriteIni("Recovery", "Auto", "0", modGlobal.SettingsPath);

    AnsweringPlatform platform{[] { return modGlobal.SettingsPath; }};
    frmMain w(platform, modGlobal);

    QElapsedTimer clock;
    qint64 last = -1, maxGap = 0;
    long events = 0, over50 = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (last >= 0) {
            maxGap = std::max(maxGap, now - last);
            over50 += now - last > 50;
        }
        last = now;
        ++events;
    });

    const auto failed = [&] {
        const std::string s = w.statusLabel()->text().toStdString();
        return w.retryButton()->isVisible() && !s.empty() &&
               s != "Connecting the SWR BRIDGE, please wait.";
    };
    clock.start();
    probe.start();
    w.Form_Load();
    while (!failed() && !clock.hasExpired(60000))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 took = clock.elapsed();
    probe.stop();

    std::printf("connect_attempt_ms %lld\n", static_cast<long long>(took));
    std::printf("status %s\n", w.statusLabel()->text().toStdString().c_str());
    std::printf("timer_events %ld\n", events);
    std::printf("max_timer_gap_ms %lld\n", static_cast<long long>(maxGap));
    std::printf("gaps_over_50ms %ld\n", over50);
    std::filesystem::remove_all(dir);
    return failed() ? 0 : 1;
}
