// Soak run: the program against the simulator with logging on, while faults
// come and go: garbage, truncated frames, frames without CR, a silence longer
// than the display's lost-connection timeout, hang-ups (the simulator brings
// its port back) and replugs (the device's link is removed and created again
// seconds later, as a USB adapter's by-id name). Between faults the stream runs
// clean, and on every clean stretch each A/B pair must have given exactly one
// CSV line. Message boxes are shown for real and nobody answers them; nothing
// here clicks Retry.
//
//   soak --seconds S [--seed N] [--verbose]
//
// Exits non-zero on lost records, a failed reconnection, a reconnection that
// waited for a click, a blocking message box, a log that stopped, unparsable
// log lines or resident memory growing by more than 20 MB.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <random>
#include <string>

#include "bench/stream/BenchRig.h"
#include "bench/stream/DisplayProbe.h"
#include "sim/SimProcess.h"

using namespace quellon;
using namespace quellon::bench;

namespace {

constexpr double kMaxGrowthMB = 20.0;

struct Totals {
    long long faults = 0;
    long long failedRecoveries = 0;
    long long retries = 0;
    long long stretches = 0;
    long long stretchesSkipped = 0;
    long long stretchRecords = 0;
    long long stretchPairs = 0;
    long long stretchMismatches = 0;
    long long logStopped = 0;
    double maxRecoverS = 0;
};

// Waits for a running display window with frames coming in again. Nobody
// clicks: a start-up window that shows Retry without counting down to a retry
// of its own for more than 1.5 s needs a click, and that fails the run.
bool recover(frmMain& w, ProbeCounters& probe, Totals& t, int ms, long long minOpened) {
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer idleRetry;
    idleRetry.start();
    while (clock.elapsed() < ms) {
        if (connected(w) && probe.opened >= minOpened) {
            const long long f0 = probe.frames;
            runFor(300);
            if (probe.frames > f0 && connected(w)) return true;
            continue;
        }
        if (w.displayWindow() == nullptr && w.retryButton()->isVisible()) {
            if (w.retryCountdown() > 0) {
                idleRetry.restart();
            } else if (idleRetry.elapsed() > 1500) {
                ++t.retries;
                return false;
            }
        } else {
            idleRetry.restart();
        }
        runFor(20);
    }
    return false;
}

// A filesystem that fills up within seconds: a 64 KB tmpfs where mounting is
// allowed (root), else /dev/full, which takes the file but refuses every write.
class FullFileSystem {
public:
    explicit FullFileSystem(std::string dir) : dir_(std::move(dir)) {
        mounted_ = ::mkdir(dir_.c_str(), 0700) == 0 &&
                   ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~FullFileSystem() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;
    std::string logPath() const { return mounted_ ? dir_ + "/log.csv" : "/dev/full"; }
    bool mounted() const { return mounted_; }
    std::string kind() const { return mounted_ ? "tmpfs 64 KB" : "/dev/full"; }

private:
    std::string dir_;
    bool mounted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    unsigned seed = 1;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atoi(argv[++i]);
        else if (a == "--seed" && i + 1 < argc)
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--verbose") verbose = true;
        else {
            std::fprintf(stderr, "usage: soak --seconds S [--seed N] [--verbose]\n");
            return 2;
        }
    }
    if (seconds <= 0) return 2;

    QApplication app(argc, argv);
    try {
        SimProcess sim({"--rate", "576", "--reopen"});
        RigFolder folder;
        if (!folder.ok()) return 1;
        // The program's port is a link of its own to the simulator's line, so
        // the soak can remove it and create it again like a replugged adapter.
        const std::string link = folder.dir() + "/by-id-bridge";
        auto pointLink = [&] {
            const std::string tmpLink = link + ".new";
            unlink(tmpLink.c_str());
            return symlink(sim.slavePath().c_str(), tmpLink.c_str()) == 0 &&
                   rename(tmpLink.c_str(), link.c_str()) == 0;
        };
        if (!pointLink()) return 1;
        folder.write(0, link);

        ModGlobal& g = modGlobal;
        g.SettingsPath = folder.settings();
        g.ProgramDir = folder.dir();
        RigPlatform platform([&g] { return g.SettingsPath; });
        platform.verbose = verbose;

        ProbeCounters probe;
        Totals t;
        std::mt19937 rng(seed);
        // "pause" is a silence short enough to end while the lost-connection message
        // is up: the stream goes on without a new connection.
        static const char* const kFaults[] = {"garbage", "truncated", "nocr",  "silence",
                                              "pause",   "hangup",    "replug"};
        int rc = 0;
        {
            frmMain w(platform, g);
            installProbe(w, probe);
            w.Form_Load();
            if (!runUntil([&] { return connected(w); }, 60000)) {
                std::printf("connect: FAILED\n");
                return 1;
            }
            w.setDataLogActive(true);
            runFor(500);
            const std::string logPath = w.logger().path();
            const double rssStart = residentMB();
            const auto s0 = sim.readStats();
            const uint64_t acc0 = w.framesAccepted();
            const uint64_t res0 = w.resyncs();
            uint64_t sentSum = 0;  // the simulator's counters restart after a hang-up
            uint64_t lastSent = s0 ? s0->sent : 0;

            QElapsedTimer total;
            total.start();
            // Faults and clean stretches until untilMs. With logChecks, every clean
            // stretch compares new log lines with new pairs and the log must stay on.
            auto runFaults = [&](qint64 untilMs, bool logChecks) {
                while (total.elapsed() < untilMs) {
                    // Clean stretch: 2..5 s with no fault; compare new lines to new pairs.
                    const int cleanMs = 2000 + static_cast<int>(rng() % 3000);
                    const long long pairsA = probe.pairsLogged;
                    const uint64_t resA = w.resyncs();
                    const long long opensA = probe.opened;
                    w.logger().flush();  // records reach the file in batches
                    const long long recA = checkLog(logPath).records;
                    runFor(cleanMs);
                    const long long pairsB = probe.pairsLogged;
                    w.logger().flush();
                    const long long recB = checkLog(logPath).records;
                    if (!logChecks) {
                        // The log is off on purpose: only the stream has to go on.
                    } else if (w.resyncs() != resA || probe.opened != opensA) {
                        ++t.stretchesSkipped;  // a late effect of the last fault: not a clean
                                               // stretch
                    } else {
                        ++t.stretches;
                        t.stretchPairs += pairsB - pairsA;
                        t.stretchRecords += recB - recA;
                        if (pairsB - pairsA != recB - recA) {
                            ++t.stretchMismatches;
                            std::printf("stretch %lld: %lld pairs, %lld records\n", t.stretches,
                                        pairsB - pairsA, recB - recA);
                        }
                    }
                    if (logChecks && !w.logger().isOpen()) ++t.logStopped;
                    if (total.elapsed() >= untilMs) break;

                    // One fault.
                    const std::string fault = kFaults[rng() % 7];
                    ++t.faults;
                    const long long opensBefore = probe.opened;
                    if (verbose)
                        std::fprintf(stderr, "[%6.1f s] fault %s\n", total.elapsed() / 1000.0,
                                     fault.c_str());
                    if (auto s = sim.readStats()) {
                        sentSum += s->sent >= lastSent ? s->sent - lastSent : s->sent;
                        lastSent = s->sent;
                    }
                    if (fault == "hangup" || fault == "replug") {
                        sim.send("hangup");
                        if (fault == "replug") {
                            unlink(link.c_str());
                            runFor(3000 + static_cast<int>(rng() % 4000));
                        }
                        if (!sim.waitReady(10000) || !pointLink()) {
                            std::printf("simulator did not come back after %s\n", fault.c_str());
                            return false;
                        }
                    } else {
                        // The fault is lifted by a timer: the program may be inside a
                        // connect sequence that pumps events itself when the time is up.
                        const int ms = fault == "silence" ? 7000
                                       : fault == "pause" ? 4000
                                                          : 1000 + static_cast<int>(rng() % 1500);
                        bool lifted = false;
                        sim.send("fault " + (fault == "pause" ? std::string("silence") : fault));
                        QTimer::singleShot(ms, [&sim, &lifted] {
                            sim.send("fault none");
                            lifted = true;
                        });
                        runUntil([&lifted] { return lifted; }, 600000);
                    }
                    // After a silence or a hang-up the display has to report the lost
                    // connection and the program has to connect again.
                    const bool mustReopen =
                        fault == "silence" || fault == "hangup" || fault == "replug";
                    QElapsedTimer rec;
                    rec.start();
                    const bool back = recover(w, probe, t, 40000, mustReopen ? opensBefore + 1 : 0);
                    const double recS = static_cast<double>(rec.elapsed()) / 1000.0;
                    if (recS > t.maxRecoverS) t.maxRecoverS = recS;
                    if (verbose)
                        std::fprintf(stderr, "[%6.1f s] stream back %s after %.1f s\n",
                                     total.elapsed() / 1000.0, back ? "" : "NOT", recS);
                    if (!back) {
                        ++t.failedRecoveries;
                        std::printf("no recovery after %s (status \"%s\")\n", fault.c_str(),
                                    w.statusLabel()->text().toUtf8().constData());
                    }
                    if (logChecks && !w.logger().isOpen()) ++t.logStopped;
                }
                return true;
            };

            // Three quarters of the run log to a file that can grow; the last
            // quarter logs onto a filesystem that fills up, and the failure's
            // message stays on screen, unanswered, while the faults go on.
            const qint64 allMs = static_cast<qint64>(seconds) * 1000;
            if (!runFaults(allMs - allMs / 4, true)) rc = 1;
            w.logger().flush();
            const LogCheck c = checkLog(logPath);
            const long long pairsMain = probe.pairsLogged;

            FullFileSystem full(folder.dir() + "/full");
            w.setDataLogActive(false);
            WriteIni("Bridge", "DataLog", full.logPath(), g.SettingsPath);
            const long long reportsBefore = platform.logReports;
            w.setDataLogActive(true);
            const bool logFailed = runUntil(
                [&] { return !w.logger().isOpen() && platform.logReports > reportsBefore; }, 30000);
            const double rssFull = residentMB();
            const uint64_t accFull = w.framesAccepted();
            if (rc == 0 && !runFaults(allMs, false)) rc = 1;
            const bool streamedOnFull = w.framesAccepted() > accFull;
            // What reached the full filesystem is whole records only (/dev/full keeps nothing).
            const LogCheck fullLog = full.mounted() ? checkLog(full.logPath()) : LogCheck{};

            if (auto s = sim.readStats())
                sentSum += s->sent >= lastSent ? s->sent - lastSent : s->sent;
            const double rssEnd = residentMB();
            w.stopRxDati();
            runFor(200);

            std::printf("seconds              %d\n", seconds);
            std::printf("seed                 %u\n", seed);
            std::printf("faults               %lld\n", t.faults);
            std::printf("frames_sent          %llu\n", static_cast<unsigned long long>(sentSum));
            std::printf("frames_accepted      %llu\n",
                        static_cast<unsigned long long>(w.framesAccepted() - acc0));
            std::printf("resyncs              %llu\n",
                        static_cast<unsigned long long>(w.resyncs() - res0));
            std::printf("reconnections        %lld\n", probe.opened - 1);
            std::printf("clicks_needed        %lld\n", t.retries);
            std::printf("failed_recoveries    %lld\n", t.failedRecoveries);
            std::printf("max_recovery_s       %.1f\n", t.maxRecoverS);
            std::printf("modal_boxes          %lld\n", platform.messages);
            std::printf("modeless_boxes_shown %lld\n", platform.shownMessages);
            std::printf("clean_stretches      %lld (skipped %lld)\n", t.stretches,
                        t.stretchesSkipped);
            std::printf("clean_pairs          %lld\n", t.stretchPairs);
            std::printf("clean_records        %lld\n", t.stretchRecords);
            std::printf("clean_mismatches     %lld\n", t.stretchMismatches);
            std::printf("log_records_total    %lld\n", c.records);
            std::printf("log_pairs_total      %lld\n", pairsMain);
            std::printf("log_headers          %lld\n", c.headers);
            std::printf("log_bad_lines        %lld\n", c.badLines);
            std::printf("log_stopped_checks   %lld\n", t.logStopped);
            std::printf("rss_mb_start         %.1f\n", rssStart);
            std::printf("full_fs              %s\n", full.kind().c_str());
            std::printf("full_fs_reported     %s\n", logFailed ? "yes" : "NO");
            std::printf("full_fs_log_reports  %lld\n", platform.logReports - reportsBefore);
            std::printf("full_fs_log_records  %lld (bad lines %lld)\n", fullLog.records,
                        fullLog.badLines);
            std::printf("full_fs_streamed     %s\n", streamedOnFull ? "yes" : "NO");
            std::printf("rss_mb_full_start    %.1f\n", rssFull);
            std::printf("rss_mb_end           %.1f\n", rssEnd);
            const bool ok = rc == 0 && t.failedRecoveries == 0 && t.stretchMismatches == 0 &&
                            t.retries == 0 && platform.messages == 0 && t.logStopped == 0 &&
                            c.badLines == 0 && c.headers == 1 && t.stretches > 0 && logFailed &&
                            platform.logReports - reportsBefore == 1 && streamedOnFull &&
                            fullLog.badLines == 0 && rssEnd - rssStart <= kMaxGrowthMB;
            std::printf("result               %s\n", ok ? "PASS" : "FAIL");
            std::fflush(stdout);
            if (!ok) rc = 1;
        }
        sim.stop();
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
}
