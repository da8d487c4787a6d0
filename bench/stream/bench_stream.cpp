// End-to-end stream figures: the program connects to the simulator at the
// line's full rate (576 frames/s) and runs one display mode for a while.
//
//   bench_stream --mode M --seconds S [--rate N] [--log] [--pattern live|sweep]
//                [--overspeed] [--fault NAME]
//
// Prints connect time, frames sent vs accepted, resyncs, CPU share, resident
// memory, the paint bursts of every window, the time from a frame's read to
// the next paint of its window, with --log the CSV check, and in mode 4 the
// mean of the A-frame intervals the window showed against the simulator's real
// one. Beside the program a bare reader of a second simulator's stream runs
// over the same time: the program's CPU per frame is printed against that
// floor, and a third simulator's stream is read by the toolkit alone (Qt's
// event loop and serial port, nothing done with the frames): what the toolkit
// takes of the program's figure before any of its own work. The simulators
// send counts that change on every frame unless --pattern sweep asks for the
// slow sweep. Exits non-zero when the program did not connect or frames were
// lost. --overspeed lets the simulators send up to four times the line's rate
// (--rate 2304); --fault gives the program's simulator a fault (garbage:
// resyncs now and then, each with its command exchange).

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench/stream/BenchRig.h"
#include "bench/stream/DisplayProbe.h"
#include "bench/stream/FloorReader.h"
#include "bench/stream/PaintMonitor.h"
#include "bench/stream/ToolkitReader.h"
#include "link/CommandExchange.h"
#include "sim/SimProcess.h"

using namespace quellon;
using namespace quellon::bench;

int main(int argc, char** argv) {
    int mode = 0;
    int seconds = 10;
    bool log = false;
    int rate = 576;
    std::string pattern = "live";
    std::vector<std::string> extra, fault;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--mode" && i + 1 < argc) mode = std::atoi(argv[++i]);
        else if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (a == "--rate" && i + 1 < argc) rate = std::atoi(argv[++i]);
        else if (a == "--log") log = true;
        else if (a == "--pattern" && i + 1 < argc) pattern = argv[++i];
        else if (a == "--overspeed") extra.push_back(a);
        else if (a == "--fault" && i + 1 < argc) fault = {a, argv[++i]};
        else {
            std::fprintf(stderr,
                         "usage: bench_stream --mode M --seconds S [--rate N] [--log] "
                         "[--pattern live|sweep] [--overspeed] [--fault NAME]\n");
            return 2;
        }
    }
    if (mode < 0 || mode > 4 || seconds <= 0 || rate <= 0) {
        std::fprintf(stderr, "mode 0..4, seconds > 0, rate > 0\n");
        return 2;
    }

    // The same event dispatcher as the program itself uses.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    try {
        std::vector<std::string> args{"--rate", std::to_string(rate), "--pattern", pattern};
        args.insert(args.end(), extra.begin(), extra.end());
        SimProcess floorSim(args);
        SimProcess toolkitSim(args);
        args.insert(args.end(), fault.begin(), fault.end());
        const std::string sentLog =
            QDir::tempPath().toStdString() + "/quellon-bench-sent-" + std::to_string(getpid());
        args.insert(args.end(), {"--sent-log", sentLog});
        SimProcess sim(args);
        RigFolder folder;
        if (!folder.ok()) {
            std::fprintf(stderr, "no temporary folder\n");
            return 1;
        }
        folder.write(mode, sim.linkPath());

        ModGlobal& g = modGlobal;
        g.SettingsPath = folder.settings();
        g.ProgramDir = folder.dir();
        RigPlatform platform([&g] { return g.SettingsPath; });

        ProbeCounters probe;
        PaintMonitor monitor;
        probe.monitor = &monitor;
        FloorReader floor;
        ToolkitReader toolkit;
        int rc = 0;
        {
            frmMain w(platform, g);
            installProbe(w, probe);
            QElapsedTimer clock;
            clock.start();
            w.Form_Load();
            if (!runUntil([&] { return connected(w); }, 60000)) {
                std::printf("connect: FAILED (status \"%s\")\n",
                            w.statusLabel()->text().toUtf8().constData());
                return 1;
            }
            const qint64 connectMs = clock.elapsed();
            // The protocol's own pauses in a connect: the identification's
            // 100 ms before its reply is read, and the stream start's
            // acknowledgement read 100 ms after ":11".
            const long long pausesMs = 2LL * kAckPauseMs;
            if (log) {
                w.setDataLogActive(true);
            }
            if (!floor.start(floorSim.slavePath())) {
                std::printf("floor reader: FAILED to open %s\n", floorSim.slavePath().c_str());
                return 1;
            }
            if (!toolkit.start(toolkitSim.slavePath())) {
                std::printf("toolkit reader: FAILED to start on %s\n",
                            toolkitSim.slavePath().c_str());
                return 1;
            }
            // Let the first frames settle so the window counts only the stream.
            runFor(300);

            const auto s0 = sim.readStats();
            const uint64_t acc0 = w.framesAccepted();
            const uint64_t res0 = w.resyncs();
            const long long pairs0 = probe.pairsLogged;
            // Room for every frame of the run, taken now: the samples must not
            // make the memory figure grow.
            monitor.reset(static_cast<std::size_t>(rate) * static_cast<std::size_t>(seconds + 10));
            const uint64_t floorFrames0 = floor.frames();
            const double floorCpu0 = floor.cpuSeconds();
            const long long toolkitFrames0 = toolkit.frames();
            const double toolkitCpu0 = toolkit.cpuSeconds();
            const long long shown0 = probe.intervalShown;
            const double shownSum0 = probe.intervalSumMs;
            probe.intervalMinMs = 1e9;
            probe.intervalMaxMs = 0;
            const double cpu0 = cpuSeconds();
            const long long sw0 = voluntarySwitches();
            const double rss0 = residentMB();
            QElapsedTimer window;
            window.start();

            runFor(seconds * 1000);

            const int64_t sentUntil = PaintMonitor::monoNs();  // the stats flush the log
            const auto s1 = sim.readStats();
            const double elapsed = static_cast<double>(window.elapsed()) / 1000.0;
            const double cpu1 = cpuSeconds();
            const long long sw1 = voluntarySwitches();
            const uint64_t acc1 = w.framesAccepted();
            const long long pairs1 = probe.pairsLogged;
            const uint64_t floorFrames1 = floor.frames();
            const double floorCpu1 = floor.cpuSeconds();
            const long long toolkitFrames1 = toolkit.frames();
            const double toolkitCpu1 = toolkit.cpuSeconds();
            const auto windows = monitor.windows();
            const double latP50 = monitor.latencyQuantile(0.50);
            const double latP95 = monitor.latencyQuantile(0.95);
            const double latMax = monitor.latencyQuantile(1.0);
            const std::size_t latN = monitor.latencySamples();
            const long long shown1 = probe.intervalShown;
            const double shownSum1 = probe.intervalSumMs;
            const double rss1 = residentMB();
            const uint64_t res1 = w.resyncs();
            // After the figures above: reading the simulator's log takes time and memory.
            std::size_t lineN = 0;
            const std::vector<double> line =
                monitor.lineToPaint(sentLog, {0.50, 0.95, 1.0}, sentUntil, lineN);
            std::remove(sentLog.c_str());

            floor.stop();
            toolkit.stop();
            w.stopRxDati();
            runFor(200);
            const long long pairsAll = probe.pairsLogged;

            const uint64_t sent = (s0 && s1) ? s1->sent - s0->sent : 0;
            const uint64_t accepted = acc1 - acc0;
            const double pct =
                sent ? 100.0 * static_cast<double>(accepted) / static_cast<double>(sent) : 0.0;

            std::printf("mode                 %d\n", mode);
            std::printf("connect_ms           %lld\n", static_cast<long long>(connectMs));
            std::printf("fixed_pauses_ms      %lld\n", pausesMs);
            std::printf("stream_seconds       %.2f\n", elapsed);
            std::printf("frames_sent          %llu\n", static_cast<unsigned long long>(sent));
            std::printf("frames_accepted      %llu\n", static_cast<unsigned long long>(accepted));
            std::printf("accepted_pct         %.2f\n", pct);
            std::printf("frames_per_s         %.1f\n", static_cast<double>(accepted) / elapsed);
            std::printf("resyncs              %llu\n",
                        static_cast<unsigned long long>(res1 - res0));
            std::printf("cpu_pct_of_core      %.2f\n", 100.0 * (cpu1 - cpu0) / elapsed);
            std::printf(
                "wakeups_per_frame    %.2f\n",
                accepted ? static_cast<double>(sw1 - sw0) / static_cast<double>(accepted) : 0.0);
            std::printf("rss_mb_start         %.1f\n", rss0);
            std::printf("rss_mb               %.1f\n", rss1);
            // The floor runs in a process of its own.
            const double floorCpu = floorCpu1 - floorCpu0;
            const uint64_t floorFrames = floorFrames1 - floorFrames0;
            const double progUs =
                accepted ? 1e6 * (cpu1 - cpu0) / static_cast<double>(accepted) : 0.0;
            const double floorUs =
                floorFrames ? 1e6 * floorCpu / static_cast<double>(floorFrames) : 0.0;
            std::printf("platform             %s\n", qPrintable(QGuiApplication::platformName()));
            std::printf("pattern              %s\n", pattern.c_str());
            std::printf("program_us_per_frame %.1f\n", progUs);
            std::printf("floor_frames         %llu\n",
                        static_cast<unsigned long long>(floorFrames));
            std::printf("floor_us_per_frame   %.1f\n", floorUs);
            std::printf("ratio_to_floor       %.2f\n", floorUs > 0 ? progUs / floorUs : 0.0);
            const long long toolkitFrames =
                toolkitFrames0 >= 0 && toolkitFrames1 >= 0 ? toolkitFrames1 - toolkitFrames0 : 0;
            const double toolkitUs = toolkitFrames > 0 ? 1e6 * (toolkitCpu1 - toolkitCpu0) /
                                                             static_cast<double>(toolkitFrames)
                                                       : 0.0;
            std::printf("toolkit_frames       %lld\n", toolkitFrames);
            std::printf("toolkit_us_per_frame %.1f\n", toolkitUs);
            std::printf("toolkit_to_floor     %.2f\n", floorUs > 0 ? toolkitUs / floorUs : 0.0);
            // What the program adds to the toolkit's reading, per frame, in floors.
            std::printf("own_work_in_floors   %.2f\n",
                        floorUs > 0 && toolkitUs > 0 ? (progUs - toolkitUs) / floorUs : 0.0);
            long long paints = 0;
            std::string bursts;
            for (const auto& [win, e] : windows) {
                paints += e.paints;
                if (!bursts.empty()) bursts += ',';
                char v[32];
                std::snprintf(v, sizeof v, "%.1f", static_cast<double>(e.bursts) / elapsed);
                bursts += e.name + "=" + v;
            }
            std::printf("repaints_per_s       %.1f\n", static_cast<double>(paints) / elapsed);
            std::printf("paint_bursts_per_s   %s\n", bursts.empty() ? "-" : bursts.c_str());
            std::printf("latency_samples      %zu\n", latN);
            std::printf("latency_p50_ms       %.2f\n", latP50);
            std::printf("latency_p95_ms       %.2f\n", latP95);
            std::printf("latency_max_ms       %.2f\n", latMax);
            // The same from the moment the frame was on the line: what the user sees.
            std::printf("line_to_paint_n      %zu\n", lineN);
            std::printf("line_to_paint_p50_ms %.2f\n", line[0]);
            std::printf("line_to_paint_p95_ms %.2f\n", line[1]);
            std::printf("line_to_paint_max_ms %.2f\n", line[2]);
            std::printf("messages             %lld\n", platform.messages);
            if (mode == 4) {
                // The simulator sends A and B in turn, so an A frame leaves
                // every other slot: its real interval is twice the frame period.
                const double realMs = sent ? 2000.0 * elapsed / static_cast<double>(sent) : 0.0;
                const long long shown = shown1 - shown0;
                const double meanMs =
                    shown ? (shownSum1 - shownSum0) / static_cast<double>(shown) : 0.0;
                const double errPct = realMs > 0 ? 100.0 * (meanMs - realMs) / realMs : 0.0;
                std::printf("interval_real_ms     %.3f\n", realMs);
                std::printf("interval_shown_n     %lld\n", shown);
                std::printf("interval_shown_mean  %.3f\n", meanMs);
                std::printf("interval_shown_min   %.1f\n", shown ? probe.intervalMinMs : 0.0);
                std::printf("interval_shown_max   %.1f\n", shown ? probe.intervalMaxMs : 0.0);
                std::printf("interval_error_pct   %.2f\n", errPct);
                if (!shown) rc = 1;
            }
            if (!s0 || !s1) {
                std::printf("simulator stats: UNAVAILABLE\n");
                rc = 1;
            }
            if (pct < 99.0) rc = 1;
            if (log) {
                w.logger().flush();  // records reach the file in batches
                const LogCheck c = checkLog(w.logger().path());
                const bool parses = c.badLines == 0 && c.headers == 1 && c.crlf;
                std::printf("log_records          %lld\n", c.records);
                std::printf("log_pairs            %lld\n", pairsAll);
                std::printf("log_pairs_window     %lld\n", pairs1 - pairs0);
                std::printf("log_headers          %lld\n", c.headers);
                std::printf("log_bad_lines        %lld\n", c.badLines);
                std::printf("log_parses           %s\n", parses ? "yes" : "no");
                if (c.records != pairsAll || !parses) rc = 1;
            }
            std::fflush(stdout);
        }
        sim.stop();
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_stream: %s\n", e.what());
        return 1;
    }
}
