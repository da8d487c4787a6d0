// The program against the simulator at the line's full rate (576 frames/s),
// with the history listening throughout: its CPU share without the history
// window, with it open on the 1 min span and on the 24 h span (following), and
// without it again once closed. Prints each phase's figures and what the
// window adds.
//
//   bench_history_cpu [--mode M] [--seconds S]

#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "bench/stream/BenchRig.h"
#include "history/HistoryStore.h"
#include "history/ui/frmHistory.h"
#include "sim/SimProcess.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

struct Phase {
    double cpuPct = 0, acceptedPct = 0, framesPerS = 0, redrawsPerS = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int mode = 2;
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc) mode = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_history_cpu [--mode M] [--seconds S]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    try {
        SimProcess sim({"--rate", "576"});
        RigFolder folder;
        if (!folder.ok()) return 1;
        folder.write(mode, sim.linkPath());
        ModGlobal& g = modGlobal;
        g.SettingsPath = folder.settings();
        g.ProgramDir = folder.dir();
        RigPlatform platform([&g] { return g.SettingsPath; });

        history::HistoryStore store;
        std::unique_ptr<history::frmHistory> win;
        int rc = 0;
        {
            frmMain w(platform, g);
            w.readings().subscribe(&store);
            w.historyWindow = [&](QWidget*) {
                if (!win)
                    win = std::make_unique<history::frmHistory>(store, platform, g.SettingsPath);
                win->show();
                win->raise();
            };
            w.Form_Load();
            if (!runUntil([&] { return connected(w); }, 60000)) {
                std::printf("connect: FAILED\n");
                return 1;
            }
            runFor(300);

            const auto measure = [&]() {
                Phase p;
                const auto s0 = sim.readStats();
                const uint64_t acc0 = w.framesAccepted();
                const long long r0 = win ? win->redraws() : 0;
                const double cpu0 = cpuSeconds();
                QElapsedTimer t;
                t.start();
                runFor(seconds * 1000);
                const double el = static_cast<double>(t.elapsed()) / 1000.0;
                const auto s1 = sim.readStats();
                const uint64_t sent = (s0 && s1) ? s1->sent - s0->sent : 0;
                const uint64_t acc = w.framesAccepted() - acc0;
                p.cpuPct = 100.0 * (cpuSeconds() - cpu0) / el;
                p.acceptedPct =
                    sent ? 100.0 * static_cast<double>(acc) / static_cast<double>(sent) : 0;
                p.framesPerS = static_cast<double>(acc) / el;
                p.redrawsPerS =
                    win && win->isVisible() ? static_cast<double>(win->redraws() - r0) / el : 0;
                return p;
            };
            const auto print = [](const char* name, const Phase& p) {
                std::printf(
                    "%-22s cpu %6.2f %%  frames/s %6.1f  accepted %6.2f %%  redraws/s %5.1f\n",
                    name, p.cpuPct, p.framesPerS, p.acceptedPct, p.redrawsPerS);
            };

            const Phase without1 = measure();
            print("without_window", without1);
            w.showHistory(nullptr);
            runFor(500);
            const Phase with1 = measure();
            print("with_window_1min", with1);
            win->setSpan(4);
            runFor(500);
            const Phase with24 = measure();
            print("with_window_24h", with24);
            win->hide();
            runFor(500);
            const Phase without2 = measure();
            print("without_window_again", without2);

            const double base = (without1.cpuPct + without2.cpuPct) / 2;
            std::printf("cpu_pct_without      %.2f\n", base);
            std::printf("cpu_pct_with_1min    %.2f\n", with1.cpuPct);
            std::printf("cpu_pct_with_24h     %.2f\n", with24.cpuPct);
            std::printf("added_pts_1min       %.2f\n", with1.cpuPct - base);
            std::printf("added_pts_24h        %.2f\n", with24.cpuPct - base);
            std::printf("store_samples        %llu\n",
                        static_cast<unsigned long long>(store.samplesAdded()));
            std::printf("rss_mb               %.1f\n", residentMB());
            for (const Phase* p : {&without1, &with1, &with24, &without2})
                if (p->acceptedPct < 99.0) rc = 1;
            w.stopRxDati();
            runFor(200);
            win.reset();
            std::fflush(stdout);
        }
        sim.stop();
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_history_cpu: %s\n", e.what());
        return 1;
    }
}
