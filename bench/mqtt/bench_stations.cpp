// The Stations window watching many stations: a generator process publishes the
// live feed of N nodes (default 50) at R messages a second each (default 10)
// to a real Mosquitto broker on a loopback port, with their status, link and
// bridge messages; this process shows the window (offscreen) and prints its own
// CPU (the window and the watcher's thread) and resident memory over the run.
//
//   bench_stations [--nodes N] [--hz R] [--seconds S]
//
// Targets: at most 5 % of a core; memory flat after the first seconds.

#include <mosquitto.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTableWidget>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/stream/BenchRig.h"
#include "network/ui/frmStations.h"
#include "tests/network/TestBroker.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

// The generator: one client for all nodes, each node's reading changing every message.
[[noreturn]] void generate(int port, int nodes, int hz, int seconds) {
    mosquitto_lib_init();
    mosquitto* m = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(m, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) _exit(1);
    mosquitto_loop_start(m);
    auto topic = [](int n, const char* kind) {
        return "quellon/node" + std::to_string(n) + "/" + kind;
    };
    for (int n = 0; n < nodes; ++n) {
        mosquitto_publish(m, nullptr, topic(n, "status").c_str(), 6, "online", 1, true);
        mosquitto_publish(m, nullptr, topic(n, "link").c_str(), 2, "up", 1, true);
        const std::string b = bridgePayload(BridgeInfo{});
        mosquitto_publish(m, nullptr, topic(n, "bridge").c_str(), int(b.size()), b.data(), 1, true);
    }
    LiveMessage live;
    for (size_t i = 0; i < 2; ++i) {
        live.ch[i].reading.swrKind = SwrKind::Value;
        live.ch[i].reading.swrTenths = 13;
        live.ch[i].scaleText = "100W";
    }
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t tick = 1;; ++tick) {
        const auto due = start + std::chrono::microseconds(tick * 1000000 / hz);
        if (due > start + std::chrono::seconds(seconds)) break;
        std::this_thread::sleep_until(due);
        for (int n = 0; n < nodes; ++n) {
            for (auto& c : live.ch) {
                c.count = tick;
                c.epochMs = 1709647629250 + int64_t(tick) * 1000 / hz;
                c.reading.pwrDir = static_cast<int16_t>((tick * 7 + n) % 1000);
            }
            const std::string p = livePayload(live);
            mosquitto_publish(m, nullptr, topic(n, "live").c_str(), int(p.size()), p.data(), 0,
                              false);
        }
    }
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    int nodes = 50, hz = 10, seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--nodes") nodes = std::atoi(argv[i + 1]);
        else if (a == "--hz") hz = std::atoi(argv[i + 1]);
        else if (a == "--seconds") seconds = std::atoi(argv[i + 1]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::TestBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "broker did not start: %s\n", broker.log().c_str());
        return 1;
    }
    MqttSettings s;
    s.enabled = true;
    s.host = "127.0.0.1";
    s.portText = std::to_string(broker.port());
    s.node = "viewer";
    frmStations w(s);
    w.show();
    if (!runUntil([&] { return w.watcher().connected(); }, 20000)) {
        std::printf("watcher: NOT CONNECTED (%s)\n", w.watcher().statusText().c_str());
        return 1;
    }
    const pid_t child = fork();
    if (child == 0) generate(broker.port(), nodes, hz, seconds + 5);
    runUntil([&] { return w.table()->rowCount() == nodes; }, 20000);
    runFor(2000);  // settled: every node seen, the table full
    const double cpu0 = cpuSeconds();
    const uint64_t got0 = w.watcher().accepted();
    QElapsedTimer t;
    t.start();
    std::printf("rss_mb_t0            %.2f\n", residentMB());
    for (int left = seconds; left > 0; left -= 10) {
        runFor(std::min(left, 10) * 1000);
        std::printf("rss_mb_t%-12lld %.2f\n", static_cast<long long>(t.elapsed() / 1000),
                    residentMB());
        std::fflush(stdout);
    }
    const double elapsed = static_cast<double>(t.elapsed()) / 1000.0;
    std::printf("nodes                %d\n", w.table()->rowCount());
    std::printf("messages_per_s       %.1f\n",
                static_cast<double>(w.watcher().accepted() - got0) / elapsed);
    std::printf("dropped              %llu\n",
                static_cast<unsigned long long>(w.watcher().dropped()));
    std::printf("cpu_pct              %.2f  (target <= 5)\n",
                100.0 * (cpuSeconds() - cpu0) / elapsed);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return w.table()->rowCount() == nodes ? 0 : 1;
}
