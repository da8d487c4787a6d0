// The alarm heard for real: the program against the bridge simulator, its tone
// through Qt Multimedia into a private PulseAudio server's null sink, and the
// sink's monitor recorded with parec. The recording must hold the tone's
// frequency, starting no later than 200 ms after the hold time, nothing after
// the alarm's end, and nothing while muted.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

#include "alarm/ui/AlarmStation.h"
#include "app/frmMain.h"
#include "platform/QtPlatform.h"
#include "settings/Ini.h"
#include "sim/SimProcess.h"

using namespace quellon;

namespace {

constexpr int kRate = 48000;

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

pid_t spawn(const std::vector<std::string>& argv, int outFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (outFd >= 0) dup2(outFd, 1);
        // The sound server's complaints about running as root are not ours.
        if (argv[0] == "pulseaudio" && outFd >= 0) dup2(outFd, 2);
        std::vector<char*> a;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    return pid;
}

void end(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) usleep(20000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A sound server of the test's own, with one null sink, reached through
// PULSE_SERVER by this process (Qt Multimedia) and by parec.
struct PulseServer {
    std::string dir;
    pid_t pid = -1;
    bool up = false;
    PulseServer() {
        char tmpl[] = "/tmp/quellon-pulse-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir + "/pulse").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir + "/pulse/native").c_str(), 1);
        const int devnull = ::open("/dev/null", O_WRONLY);
        pid =
            spawn({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                   "--load=module-null-sink sink_name=quellon_test rate=48000 channels=1",
                   "--load=module-native-protocol-unix", "--log-target=stderr", "--log-level=0"},
                  devnull);
        ::close(devnull);
        for (int i = 0; i < 100 && !up; ++i) {
            usleep(50000);
            up = std::filesystem::exists(dir + "/pulse/native") &&
                 std::system("pactl info >/dev/null 2>&1") == 0;
        }
    }
    ~PulseServer() {
        end(pid);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// parec on the sink's monitor: mono 16-bit samples, each read stamped with
// the steady clock when it arrived (so a sample's time is known to within
// parec's latency, and never early).
struct Recorder {
    pid_t pid = -1;
    int fd = -1;
    std::thread reader;
    std::mutex m;
    std::vector<int16_t> samples;
    std::vector<std::pair<size_t, int64_t>> stamps;  // samples so far, arrival ms
    Recorder() {
        int p[2];
        if (pipe(p) != 0) return;
        pid = spawn({"parec", "-d", "quellon_test.monitor", "--raw", "--format=s16le",
                     "--rate=48000", "--channels=1", "--latency-msec=10"},
                    p[1]);
        ::close(p[1]);
        fd = p[0];
        reader = std::thread([this] {
            char buf[4096];
            std::string carry;
            for (;;) {
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n <= 0) break;
                const int64_t t = steadyMs();
                carry.append(buf, static_cast<size_t>(n));
                std::lock_guard l(m);
                for (size_t i = 0; i + 1 < carry.size(); i += 2)
                    samples.push_back(static_cast<int16_t>(uint16_t(uint8_t(carry[i])) |
                                                           uint16_t(uint8_t(carry[i + 1])) << 8));
                carry.erase(0, carry.size() & ~size_t{1});
                stamps.emplace_back(samples.size(), t);
            }
        });
    }
    ~Recorder() {
        end(pid);
        if (reader.joinable()) reader.join();
        if (fd >= 0) ::close(fd);
    }
    size_t size() {
        std::lock_guard l(m);
        return samples.size();
    }
    // The steady time of sample i: its read's arrival less the samples after it.
    int64_t timeOf(size_t i) {
        std::lock_guard l(m);
        for (auto [count, t] : stamps)
            if (count > i) return t - static_cast<int64_t>((count - i) * 1000 / kRate);
        return -1;
    }
    // The first sample from `from` on louder than a quarter of full scale.
    std::optional<size_t> firstLoud(size_t from) {
        std::lock_guard l(m);
        for (size_t i = from; i < samples.size(); ++i)
            if (std::abs(samples[i]) > 8000) return i;
        return std::nullopt;
    }
    int peak(size_t from, size_t to) {
        std::lock_guard l(m);
        int p = 0;
        for (size_t i = from; i < std::min(to, samples.size()); ++i)
            p = std::max(p, std::abs(int(samples[i])));
        return p;
    }
    // Frequency from the upward zero crossings of n samples from `from`.
    double frequency(size_t from, size_t n) {
        std::lock_guard l(m);
        int first = -1, last = -1, count = 0;
        for (size_t i = from + 1; i < std::min(from + n, samples.size()); ++i)
            if (samples[i - 1] < 0 && samples[i] >= 0) {
                if (first < 0) first = static_cast<int>(i);
                last = static_cast<int>(i);
                ++count;
            }
        return count > 1 ? (count - 1) * double(kRate) / (last - first) : 0;
    }
};

bool pumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred() && !t.hasExpired(timeoutMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return pred();
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

struct Starts : alarm::AlarmSubscriber {
    std::vector<alarm::AlarmEvent> events;
    void onAlarm(const alarm::AlarmEvent& e, int64_t) override { events.push_back(e); }
};

TEST(AlarmTone, HeardWithinTheHoldTimeAndSilentWhenEndedOrMuted) {
    PulseServer pulse;
    if (!pulse.up) GTEST_SKIP() << "pulseaudio could not start a private server with a null sink";
    char tmpl[] = "/tmp/quellon-tone-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    modGlobal = ModGlobal{};
    modGlobal.ProgramDir = dir;
    modGlobal.SettingsPath = dir + "/Quellon.ini";
    const char* low = "counts 600,60,600,60";     // SWR 1.2
    const char* high = "counts 600,400,600,400";  // SWR 5.0, above the bridge's 3.00
    SimProcess sim({"--rate", "400", "--pattern", "fixed", "--counts", "600,60,600,60"});
    WriteIni("Bridge", "Version", kProgramVersion, modGlobal.SettingsPath);
    WriteIni("Bridge", "GUI", "0", modGlobal.SettingsPath);
    WriteIni("Bridge", "Port", "1", modGlobal.SettingsPath);
    WriteIni("Ports", "1", sim.linkPath(), modGlobal.SettingsPath);
    QtPlatform platform([] { return modGlobal.SettingsPath; });
    auto w = std::make_unique<frmMain>(platform, modGlobal);
    w->Form_Load();
    alarm::AlarmStation station(w->readings(), modGlobal.SettingsPath, dir);
    Starts starts;
    station.monitor().subscribe(&starts);
    ASSERT_TRUE(pumpUntil([&] { return w->framesAccepted() > 50; }, 10000));

    Recorder rec;
    ASSERT_TRUE(pumpUntil([&] { return rec.size() > kRate / 2; }, 5000)) << "parec records nothing";
    const size_t quietFrom = rec.size();

    // 1. The alarm: the tone starts within 200 ms after the hold time.
    ASSERT_TRUE(sim.send(high));
    ASSERT_TRUE(pumpUntil([&] { return station.monitor().anyActive(); }, 3000));
    pumpFor(1200);
    ASSERT_FALSE(starts.events.empty());
    const int64_t holdOver = starts.events[0].sinceMs + station.settings().condition.holdMs;
    const auto loud = rec.firstLoud(quietFrom);
    ASSERT_TRUE(loud) << "no tone in the recording";
    const int64_t toneAt = rec.timeOf(*loud);
    EXPECT_GE(toneAt, holdOver - 20) << "the tone came before the hold time was over";
    EXPECT_LE(toneAt, holdOver + 200) << "the tone came late";
    const double hz = rec.frequency(*loud + kRate / 100, kRate * 15 / 100);
    EXPECT_NEAR(hz, 880, 5);
    std::printf("tone: %.1f Hz, heard %lld ms after the hold time\n", hz,
                static_cast<long long>(toneAt - holdOver));

    // 2. The alarm ends: the tone stops.
    ASSERT_TRUE(sim.send(low));
    ASSERT_TRUE(pumpUntil([&] { return !station.monitor().anyActive(); }, 3000));
    pumpFor(300);
    const size_t endedAt = rec.size();
    pumpFor(800);
    EXPECT_LT(rec.peak(endedAt, rec.size()), 200);

    // 3. Muted: a new alarm is seen but not heard.
    station.sound().mute();
    const size_t mutedAt = rec.size();
    ASSERT_TRUE(sim.send(high));
    ASSERT_TRUE(pumpUntil([&] { return station.monitor().anyActive(); }, 3000));
    pumpFor(1000);
    EXPECT_LT(rec.peak(mutedAt, rec.size()), 200);
    EXPECT_GT(station.sound().muteLeftMs(), 9 * 60 * 1000);

    station.monitor().unsubscribe(&starts);
    w.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
