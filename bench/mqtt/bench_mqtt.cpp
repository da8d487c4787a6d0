// MQTT publishing beside the stream: the program connects to the simulator at
// the line's full rate (576 frames/s) and runs, in turn, without a publisher,
// with one at the default interval (1000 ms), with one at 10 ms and with one at
// 1000 ms and the viewers' live feed at 10 messages a second, each for
// the given seconds against a real Mosquitto broker on a loopback port. Then
// the broker is killed and the stream runs on for the given minutes, with the
// resident memory printed every 10 s.
//
// Then, N times in turn, the 1000 ms publisher without and with the live feed
// (S/2 each), and the median of the live feed's added CPU.
//
//   bench_mqtt [--seconds S] [--away-minutes M] [--live-rounds N]
//
// The CPU figures include the publisher's own thread (the process's CPU time).

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/stream/BenchRig.h"
#include "network/MqttPublisher.h"
#include "sim/SimProcess.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

MqttSettings settingsFor(int port, int intervalMs, int liveHz = 0) {
    MqttSettings s;
    s.enabled = true;
    s.host = "127.0.0.1";
    s.portText = std::to_string(port);
    s.node = "bench";
    s.intervalText = std::to_string(intervalMs);
    s.liveHzText = std::to_string(liveHz);
    return s;
}

struct Phase {
    double cpuPct = 0;
    double framesPerS = 0;
};

Phase measure(frmMain& w, int seconds) {
    const uint64_t acc0 = w.framesAccepted();
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    runFor(seconds * 1000);
    const double elapsed = static_cast<double>(t.elapsed()) / 1000.0;
    return {100.0 * (cpuSeconds() - cpu0) / elapsed,
            static_cast<double>(w.framesAccepted() - acc0) / elapsed};
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    double awayMinutes = 1;
    int liveRounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (a == "--away-minutes" && i + 1 < argc) awayMinutes = std::atof(argv[++i]);
        else if (a == "--live-rounds" && i + 1 < argc) liveRounds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr,
                         "usage: bench_mqtt [--seconds S] [--away-minutes M] [--live-rounds N]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    try {
        testing::TestBroker broker;
        if (!broker.start()) {
            std::fprintf(stderr, "broker did not start: %s\n", broker.log().c_str());
            return 1;
        }
        SimProcess sim({"--rate", "576"});
        RigFolder folder;
        folder.write(2, sim.linkPath());
        ModGlobal& g = modGlobal;
        g.SettingsPath = folder.settings();
        g.ProgramDir = folder.dir();
        RigPlatform platform([&g] { return g.SettingsPath; });
        frmMain w(platform, g);
        w.Form_Load();
        if (!runUntil([&] { return connected(w); }, 60000)) {
            std::printf("connect: FAILED\n");
            return 1;
        }
        runFor(500);

        int rc = 0;
        const Phase off = measure(w, seconds);
        constexpr int kRuns = 3;
        Phase on[kRuns];
        uint64_t sent[kRuns] = {};
        const int intervals[kRuns] = {1000, 10, 1000};
        const int liveHz[kRuns] = {0, 0, 10};
        auto run = [&](int interval, int hz, int secs, uint64_t* messages) {
            MqttPublisher p(settingsFor(broker.port(), interval, hz), folder.settings());
            p.start();
            w.readings().subscribe(&p);
            if (!runUntil([&] { return p.status() == MqttStatus::Connected; }, 20000)) {
                std::printf("publisher: NOT CONNECTED (%s)\n", p.statusText().c_str());
                rc = 1;
            }
            const Phase ph = measure(w, secs);
            if (messages) *messages = p.messagesSent();
            w.readings().unsubscribe(&p);
            return ph;
        };
        for (int i = 0; i < kRuns; ++i) on[i] = run(intervals[i], liveHz[i], seconds, &sent[i]);
        std::printf("frames_per_s_without       %.1f\n", off.framesPerS);
        std::printf("cpu_pct_without            %.2f\n", off.cpuPct);
        for (int i = 0; i < kRuns; ++i) {
            const std::string name = std::to_string(intervals[i]) +
                                     (liveHz[i] ? "_live" + std::to_string(liveHz[i]) : "");
            std::printf("cpu_pct_interval_%-10s %.2f\n", name.c_str(), on[i].cpuPct);
            std::printf("added_pct_interval_%-8s %.2f\n", name.c_str(), on[i].cpuPct - off.cpuPct);
            std::printf("messages_interval_%-9s %llu\n", name.c_str(),
                        static_cast<unsigned long long>(sent[i]));
        }
        // The live feed's own share, a fraction of a point, drowns in the
        // machine's noise in one pair of runs: the same publisher without and
        // with it, in turn, liveRounds times; the median of the differences.
        std::vector<double> added;
        for (int r = 0; r < liveRounds; ++r) {
            const double without = run(1000, 0, seconds / 2, nullptr).cpuPct;
            const double with = run(1000, 10, seconds / 2, nullptr).cpuPct;
            std::printf("live_round_%d_pct          %.2f -> %.2f\n", r + 1, without, with);
            added.push_back(with - without);
        }
        std::sort(added.begin(), added.end());
        if (!added.empty())
            std::printf("added_pct_by_live10_median %.2f  (target <= 0.5)\n",
                        added[added.size() / 2]);
        std::fflush(stdout);

        // The broker goes away; the stream and the publisher go on.
        MqttPublisher p(settingsFor(broker.port(), 1000), folder.settings());
        p.start();
        w.readings().subscribe(&p);
        runUntil([&] { return p.status() == MqttStatus::Connected; }, 20000);
        broker.kill();
        const int samples = std::max(1, static_cast<int>(awayMinutes * 6));
        const uint64_t acc0 = w.framesAccepted();
        std::printf("rss_mb_broker_away_t0      %.2f\n", residentMB());
        for (int i = 1; i <= samples; ++i) {
            runFor(10000);
            std::printf("rss_mb_broker_away_t%-5d  %.2f  (%s)\n", i * 10, residentMB(),
                        p.statusText().c_str());
            std::fflush(stdout);
        }
        std::printf("frames_while_away          %llu\n",
                    static_cast<unsigned long long>(w.framesAccepted() - acc0));
        w.readings().unsubscribe(&p);
        w.stopRxDati();
        sim.stop();
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mqtt: %s\n", e.what());
        return 1;
    }
}
