// A viewer's delay: the real program (a child process, offscreen) reads the
// simulator at the line's full rate (576 frames/s) and publishes its live feed
// at LiveHz=10 to a real Mosquitto broker on a loopback port; this process is
// a viewer of it ([Remote] Node) with its display open. For every reading the
// viewer shows, the time from the station's read of that frame (the reading's
// time stamp, same machine and clock) to the viewer's display update is taken.
// Printed: p50, p95 and the largest, the readings shown a second, and the
// viewer's CPU.
//
//   bench_viewer [--seconds S]
//
// Target: p95 at most 150 ms.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/stream/BenchRig.h"
#include "sim/SimProcess.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

// Listens after the display: a reading counts once the display has taken it.
struct Delays : ReadingListener {
    std::vector<double> ms;
    void onReading(const ReadingEvent& e) override {
        using namespace std::chrono;
        const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch());
        ms.push_back(static_cast<double>(now.count()) / 1000.0 - static_cast<double>(e.epochMs));
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--seconds") seconds = std::atoi(argv[i + 1]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    testing::TestBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "broker did not start: %s\n", broker.log().c_str());
        return 1;
    }
    SimProcess sim({"--rate", "576"});
    RigFolder station, viewerDir;
    station.write(2, sim.linkPath());
    for (const RigFolder* f : {&station, &viewerDir}) {
        WriteIni("Mqtt", "Host", "127.0.0.1", f->settings());
        WriteIni("Mqtt", "Port", std::to_string(broker.port()), f->settings());
    }
    WriteIni("Mqtt", "Enabled", "1", station.settings());
    WriteIni("Mqtt", "Node", "bench", station.settings());
    WriteIni("Mqtt", "LiveHz", "10", station.settings());
    WriteIni("Bridge", "Version", kProgramVersion, viewerDir.settings());
    WriteIni("Bridge", "GUI", "2", viewerDir.settings());
    WriteIni("Remote", "Node", "bench", viewerDir.settings());

    // The station: the real program beside its settings file.
    const std::string exe = station.dir() + "/quellon";
    std::filesystem::copy_file(QUELLON_EXE, exe);
    std::filesystem::create_directories(station.dir() + "/run");
    std::filesystem::permissions(station.dir() + "/run", std::filesystem::perms::owner_all);
    const pid_t child = fork();
    if (child == 0) {
        setenv("XDG_RUNTIME_DIR", (station.dir() + "/run").c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    ModGlobal& g = modGlobal;
    g.SettingsPath = viewerDir.settings();
    g.ProgramDir = viewerDir.dir();
    RigPlatform platform([&g] { return g.SettingsPath; });
    int rc = 0;
    {
        frmMain w(platform, g);
        w.Form_Load();
        Delays delays;
        w.readings().subscribe(&delays);
        if (!runUntil([&] { return w.displayWindow() != nullptr; }, 60000)) {
            std::printf("viewer: NO FEED (%s)\n", w.remote()->statusText().c_str());
            rc = 1;
        } else {
            runFor(2000);  // settled
            delays.ms.clear();
            const double cpu0 = cpuSeconds();
            runFor(seconds * 1000);
            std::printf("readings_shown_per_s  %.1f\n",
                        static_cast<double>(delays.ms.size()) / seconds);
            std::printf("delay_ms_p50          %.1f\n", percentile(delays.ms, 0.50));
            std::printf("delay_ms_p95          %.1f  (target <= 150)\n",
                        percentile(delays.ms, 0.95));
            std::printf("delay_ms_max          %.1f\n", percentile(delays.ms, 1.0));
            std::printf("viewer_cpu_pct        %.2f\n", 100.0 * (cpuSeconds() - cpu0) / seconds);
            if (percentile(delays.ms, 0.95) > 150) rc = 1;
        }
        w.readings().unsubscribe(&delays);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return rc;
}
