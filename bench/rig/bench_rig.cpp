// The transceiver's cost. The program against the simulator at the line's
// full rate (576 frames/s), three phases: no rig, a rigctld (dummy rig) polled
// every 500 ms, and a rig that accepts the connection but never answers. Per
// phase: CPU share, frames accepted, the gap between readings (p95, max) and
// the time each frame spends getting its tag (p95, max). Then the PTT-off
// round trip, and the Bands window's work over a 1,000,000-record log with
// frequency (read, statistics, one band's curve).
//
//   bench_rig [--seconds S]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/stream/BenchRig.h"
#include "history/LogHistory.h"
#include "rig/BandCurve.h"
#include "rig/RigClient.h"
#include "sim/SimProcess.h"
#include "tests/rig/Rigctld.h"

using namespace quellon;
using namespace quellon::bench;
using Clock = std::chrono::steady_clock;

namespace {

double pct(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

// Accepts connections on a loopback port and never says a word.
class SilentRig {
public:
    SilentRig() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        listen(fd_, 16);  // the kernel completes the handshakes; nobody reads
    }
    ~SilentRig() { ::close(fd_); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    int port_ = 0;
};

struct Gaps : ReadingListener {
    void onReading(const ReadingEvent& e) override {
        const auto now = Clock::now();
        if (have) gapsMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        have = true;
        (void)e;
    }
    Clock::time_point last;
    bool have = false;
    std::vector<double> gapsMs;
};

void writeLog(const std::string& path, int records) {
    std::ofstream f(path, std::ios::binary);
    f << "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
         "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\",\"FrequencyHz\",\"Mode\"\r\n";
    const int64_t freqs[] = {3'650'000, 7'074'000, 14'074'000, 14'250'000, 21'074'000, 0};
    char line[160];
    for (int i = 0; i < records; ++i) {
        const int s = i / 100;  // 100 records a second
        const int64_t hz = freqs[(i / 20000) % 6] + (i % 70) * 1000;
        std::snprintf(line, sizeof line,
                      "\"2026-11-%02d\",\"%02d:%02d:%02d.%03d\",%d,%d,%d,%d,%d,%d,%d,%d,",
                      1 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60, i % 100 * 10,
                      900 + i % 200, 20 + i % 37, 950 + i % 200, 25 + i % 37, 400, 5, 420, 6);
        f << line;
        if (freqs[(i / 20000) % 6]) f << hz;
        f << (hz && freqs[(i / 20000) % 6] ? ",\"USB\"\r\n" : ",\"\"\r\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_rig [--seconds S]\n");
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    int rc = 0;
    try {
        testing::Rigctld rigctld;
        if (!rigctld.start()) {
            std::printf("rigctld: FAILED\n");
            return 1;
        }
        rigctld.rigctl("F 14074000 M USB 2400");
        SilentRig silent;
        SimProcess sim({"--rate", "576"});
        RigFolder folder;
        if (!folder.ok()) return 1;
        folder.write(2, sim.linkPath());
        ModGlobal& g = modGlobal;
        g.SettingsPath = folder.settings();
        g.ProgramDir = folder.dir();
        RigPlatform platform([&g] { return g.SettingsPath; });
        {
            frmMain w(platform, g);
            Gaps gaps;
            w.readings().subscribe(&gaps);
            w.Form_Load();
            if (!runUntil([&] { return connected(w); }, 60000)) {
                std::printf("connect: FAILED\n");
                return 1;
            }
            runFor(300);
            std::unique_ptr<rig::RigClient> client;
            std::vector<double> tagUs;
            const auto phase = [&](const char* name, const std::string& device) {
                client.reset();
                tagUs.clear();
                if (!device.empty()) {
                    rig::RigSettings s;
                    s.device = device;
                    s.pollMs = 500;
                    client = std::make_unique<rig::RigClient>(s);
                    client->start();
                    w.session().tagSource = [&] {
                        const auto t0 = Clock::now();
                        RigTag t = client->tag();
                        tagUs.push_back(
                            std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
                        return t;
                    };
                } else {
                    w.session().tagSource = nullptr;
                }
                runFor(1000);
                gaps.gapsMs.clear();
                tagUs.clear();
                const auto s0 = sim.readStats();
                const uint64_t acc0 = w.framesAccepted();
                const double cpu0 = cpuSeconds();
                QElapsedTimer t;
                t.start();
                runFor(seconds * 1000);
                const double el = static_cast<double>(t.elapsed()) / 1000.0;
                const auto s1 = sim.readStats();
                const uint64_t sent = (s0 && s1) ? s1->sent - s0->sent : 0;
                const uint64_t acc = w.framesAccepted() - acc0;
                const double cpu = 100.0 * (cpuSeconds() - cpu0) / el;
                const double accepted = sent ? 100.0 * static_cast<double>(acc) / sent : 0;
                std::printf(
                    "%-10s cpu %6.2f %%  accepted %6.2f %%  gap p95 %.2f max %.1f ms  tag p95 %.2f "
                    "max %.1f us  %s\n",
                    name, cpu, accepted, pct(gaps.gapsMs, 0.95), pct(gaps.gapsMs, 1.0),
                    pct(tagUs, 0.95), pct(tagUs, 1.0), client ? client->statusText().c_str() : "");
                std::printf("cpu_pct_%s %.2f\n", name, cpu);
                std::printf("gap_p95_ms_%s %.2f\n", name, pct(gaps.gapsMs, 0.95));
                std::printf("gap_max_ms_%s %.1f\n", name, pct(gaps.gapsMs, 1.0));
                std::printf("tag_p95_us_%s %.2f\n", name, pct(tagUs, 0.95));
                if (accepted < 99.0) rc = 1;
                return cpu;
            };
            const double none = phase("none", "");
            const double polled = phase("polled", rigctld.address());
            const double silentCpu = phase("silent", silent.address());
            std::printf("added_pts_polled %.2f\n", polled - none);
            std::printf("added_pts_silent %.2f\n", silentCpu - none);
            w.session().tagSource = nullptr;
            client.reset();
            w.stopRxDati();
            runFor(200);
        }
        sim.stop();

        // PTT off through rigctld, keyed again before each try.
        {
            rig::RigSettings s;
            s.device = rigctld.address();
            rig::RigClient c(s);
            c.start();
            runUntil([&] { return c.status().connected; }, 5000);
            std::vector<double> ms;
            for (int i = 0; i < 20; ++i) {
                rigctld.rigctl("T 1");
                std::atomic<bool> done{false};
                int64_t took = 0;
                c.requestPttOff([&](const rig::PttResult& r) {
                    took = r.ok ? r.elapsedMs : -1;
                    done = true;
                });
                runUntil([&] { return done.load(); }, 5000);
                ms.push_back(static_cast<double>(took));
            }
            std::printf("ptt_off_p50_ms %.0f\nptt_off_max_ms %.0f\n", pct(ms, 0.5), pct(ms, 1.0));
        }

        // The Bands window over a log of a million records with frequency.
        const std::string log = folder.dir() + "/bands.csv";
        writeLog(log, 1'000'000);
        const auto t0 = Clock::now();
        history::LogLoad load = history::loadLog(log, 0, 0);
        const auto t1 = Clock::now();
        rig::BandStats stats(rig::BandPlan(), 1.0);
        if (load.ok) rig::addHistory(stats, *load.history);
        const auto t2 = Clock::now();
        const rig::Band band = rig::BandPlan().bands()[5];
        rig::BandCurve curve;
        if (load.ok)
            curve = rig::buildCurve(*load.history, 0, band, 5000, 1.0, load.history->firstMs(),
                                    load.history->lastMs() + 1);
        const auto t3 = Clock::now();
        const auto ms = [](auto a, auto b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        std::printf("bands_log_records %llu\n", static_cast<unsigned long long>(load.records));
        std::printf("bands_load_ms %.0f\nbands_stats_ms %.0f\nbands_curve_ms %.0f\n", ms(t0, t1),
                    ms(t1, t2), ms(t2, t3));
        std::printf("bands_total_ms %.0f\n", ms(t0, t3));
        std::printf("curve_readings %llu\n", static_cast<unsigned long long>(curve.used));
        std::remove(log.c_str());
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_rig: %s\n", e.what());
        return 1;
    }
    return rc;
}
