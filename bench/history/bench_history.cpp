// History figures without a window:
//   - a generated log of N records (default 1,000,000) read back: time, records/s;
//   - a day of frames at the line's rate (576 frames/s) into the live store:
//     time per frame, the store's fixed memory and the resident memory it took;
//   - the cost of one decimation per span, as the window runs it per redraw.
//
//   bench_history [--records N] [--hours H]

#include <sys/resource.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/Process.h"
#include "history/HistoryStore.h"
#include "history/HistoryView.h"
#include "history/LogHistory.h"

using namespace quellon::history;
using Clock = std::chrono::steady_clock;

using quellon::bench::residentMB;

namespace {

double since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    long records = 1'000'000;
    double hours = 24;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--records" && i + 1 < argc) records = std::atol(argv[++i]);
        else if (a == "--hours" && i + 1 < argc) hours = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_history [--records N] [--hours H]\n");
            return 2;
        }
    }

    // 1. A log as the program writes it: one record per A/B pair, 288 a second.
    char path[] = "/tmp/quellon-bench-log-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    close(fd);
    {
        std::FILE* f = std::fopen(path, "wb");
        std::fputs(
            "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
            "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n",
            f);
        for (long i = 0; i < records; ++i) {
            const long ms = i * 1000 / 288;
            const int h = static_cast<int>(ms / 3'600'000) % 24,
                      m = static_cast<int>(ms / 60'000 % 60), s = static_cast<int>(ms / 1000 % 60);
            std::fprintf(
                f, "\"2026-03-%02d\",\"%02d:%02d:%02d.%03d\",%ld,%ld,%d,%d,%d,%d,%d,%d\r\n",
                1 + static_cast<int>(ms / 86'400'000), h, m, s, static_cast<int>(ms % 1000),
                900 + i % 100, 10 + i % 7, 1000, 12, 450, 3, 460, 3);
        }
        std::fclose(f);
    }
    const double rssLog0 = residentMB();
    const auto t0 = Clock::now();
    const LogLoad l = loadLog(path, 2.0, 2.0);
    const double loadMs = since(t0);
    const double rssLog1 = residentMB();
    std::remove(path);
    if (!l.ok) {
        std::fprintf(stderr, "log load failed: %s\n", l.message.c_str());
        return 1;
    }
    std::printf("log_records          %llu\n", static_cast<unsigned long long>(l.records));
    std::printf("log_load_ms          %.0f\n", loadMs);
    std::printf("log_records_per_s    %.0f\n", static_cast<double>(l.records) / loadMs * 1000.0);
    std::printf("log_memory_mb        %.1f\n", rssLog1 - rssLog0);
    {
        Columns c(l.history->firstMs(), l.history->lastMs() + 1, 1200);
        const auto q0 = Clock::now();
        l.history->decimate(c);
        std::printf("log_query_whole_ms   %.2f\n", since(q0));
    }

    // 2. A day of frames at 576 a second, A and B in turn.
    const double rss0 = residentMB();
    HistoryStore store;
    const double rss1 = residentMB();
    const long frames = static_cast<long>(hours * 3600 * 576);
    const int64_t start = 1'770'000'000'000;
    const auto f0 = Clock::now();
    Sample s;
    for (long i = 0; i < frames; ++i) {
        s.t = start + i * 1000 / 576;
        s.v[Fwd] = static_cast<float>(100 + i % 50);
        s.v[Ref] = static_cast<float>(i % 9);
        s.v[Swr] = 1.0f + static_cast<float>(i % 30) / 10.0f;
        s.alarm = i % 100'000 == 0;
        store.add(static_cast<int>(i & 1), s);
    }
    const double fillMs = since(f0);
    const double rss2 = residentMB();
    std::printf("store_frames         %ld\n", frames);
    std::printf("store_ns_per_frame   %.1f\n", fillMs * 1e6 / static_cast<double>(frames));
    std::printf("store_bound_mb       %.1f\n", static_cast<double>(store.memoryBytes()) / 1e6);
    std::printf("store_rss_mb         %.1f\n", rss2 - rss0);
    std::printf("store_rss_empty_mb   %.1f\n", rss1 - rss0);

    // 3. One redraw's decimation per span, 1200 columns, ending now.
    const int64_t now = store.lastMs() + 1;
    for (int64_t span : ViewState::kSpansMs) {
        Columns c(now - span, now, 1200);
        const auto q0 = Clock::now();
        const int reps = 20;
        for (int r = 0; r < reps; ++r) {
            Columns cc(now - span, now, 1200);
            store.decimate(cc);
        }
        std::printf("query_%llds_ms  %.3f (tier %d)\n", static_cast<long long>(span / 1000),
                    since(q0) / reps, store.tierFor(now - span, c.msPerColumn()));
    }
    std::fflush(stdout);
    return 0;
}
