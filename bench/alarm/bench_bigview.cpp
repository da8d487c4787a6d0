// The big view's cost and the alarm banner's delay: the program against the
// simulator at the line's full rate, in each display mode, first without the
// big view and then with it open (and the alarm station wired as in the
// program), on the simulator's live pattern (every value changes with every
// frame), then with a high SWR switched on.
//
//   bench_bigview [--mode M] [--seconds S] [--rate N]
//
// Prints per mode: the CPU share of a core without and with the big view and
// the difference (target: at most 1 point), the big view's paints per second
// (target: at most 25), and the time from the first alarm frame to the first
// paint of the banner (target: the hold time + 100 ms).

#include <QEvent>
#include <QObject>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "alarm/ui/AlarmStation.h"
#include "alarm/ui/frmBigView.h"
#include "bench/stream/BenchRig.h"
#include "sim/SimProcess.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Counts the big view's paints, and notes the first paint with a channel in alarm.
struct PaintWatch : QObject {
    alarm::BigReadouts* r = nullptr;
    long long paints = 0;
    int64_t bannerAt = -1;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            if (bannerAt < 0 && (r->channels[0].alarm || r->channels[1].alarm))
                bannerAt = steadyMs();
        }
        return false;
    }
};

struct FirstStart : alarm::AlarmSubscriber {
    int64_t since = -1;
    void onAlarm(const alarm::AlarmEvent& e, int64_t) override {
        if (e.edge == alarm::AlarmEdge::Start && since < 0) since = e.sinceMs;
    }
};

int runMode(int mode, int seconds, int rate) {
    SimProcess sim({"--rate", std::to_string(rate), "--pattern", "live"});
    RigFolder folder;
    if (!folder.ok()) return 1;
    folder.write(mode, sim.linkPath());
    ModGlobal& g = modGlobal;
    g = ModGlobal{};
    g.SettingsPath = folder.settings();
    g.ProgramDir = folder.dir();
    WriteIni("Alarm", "Sound", "0", g.SettingsPath);  // the sound's cost is the server's
    RigPlatform platform([&g] { return g.SettingsPath; });
    frmMain w(platform, g);
    w.Form_Load();
    if (!runUntil([&] { return connected(w); }, 60000)) {
        std::printf("mode %d: connect FAILED\n", mode);
        return 1;
    }
    alarm::AlarmStation station(w.readings(), g.SettingsPath, g.ProgramDir);
    runFor(500);

    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    runFor(seconds * 1000);
    const double without = 100.0 * (cpuSeconds() - cpu0) / (t.elapsed() / 1000.0);

    station.showBigView();
    PaintWatch watch;
    watch.r = station.bigView()->readouts();
    watch.r->installEventFilter(&watch);
    runFor(500);
    watch.paints = 0;
    const uint64_t frames0 = w.framesAccepted();
    const double cpu1 = cpuSeconds();
    t.restart();
    runFor(seconds * 1000);
    const double secs = t.elapsed() / 1000.0;
    const double with = 100.0 * (cpuSeconds() - cpu1) / secs;
    const double paintsPerS = static_cast<double>(watch.paints) / secs;
    const double fps = static_cast<double>(w.framesAccepted() - frames0) / secs;

    // The live pattern's SWR crosses the thresholds now and then: from a quiet
    // start, one alarm.
    sim.send("counts 700,100,720,110");
    runUntil([&] { return !station.monitor().anyActive(); }, 5000);
    runFor(500);
    watch.bannerAt = -1;
    FirstStart first;
    station.monitor().subscribe(&first);
    sim.send("counts 700,500,720,510");  // SWR 5.8 against the bridge's 3.00
    runUntil([&] { return watch.bannerAt >= 0; }, 5000);
    station.monitor().unsubscribe(&first);
    const long long hold = station.settings().condition.holdMs;
    const long long bannerMs =
        watch.bannerAt >= 0 && first.since >= 0 ? watch.bannerAt - first.since : -1;

    std::printf(
        "mode %d  frames/s %.0f  cpu without %.2f %%  with %.2f %%  added %+.2f points (<= 1)  "
        "paints/s %.1f (<= 25)  banner %lld ms after the first alarm frame (<= %lld)\n",
        mode, fps, without, with, with - without, paintsPerS, bannerMs, hold + 100);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int mode = -1, seconds = 10, rate = 576;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc) mode = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (a == "--rate" && i + 1 < argc) rate = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_bigview [--mode M] [--seconds S] [--rate N]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    int rc = 0;
    for (int m = 0; m <= 4; ++m)
        if (mode < 0 || mode == m) rc |= runMode(m, seconds, rate);
    return rc;
}
