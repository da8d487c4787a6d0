// The alarm heard for real: the program against the bridge simulator, its tone
// through Qt Multimedia into a private PulseAudio server's null sink, and the
// sink's monitor recorded with parec. The recording must hold nothing while the
// SWR is good, the tone's frequency once the alarm has started, nothing after the
// alarm's end, and nothing while muted.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "alarm/ui/AlarmStation.h"
#include "app/frmMain.h"
#include "sim/SimProcess.h"
#include "tests/SimProgram.h"

using namespace quellon;

namespace {

constexpr int kRate = 48000;

using quellon::test::pumpUntil;

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// parec on the sink's monitor: mono 16-bit samples.
struct Recorder {
    QProcess parec;
    std::vector<int16_t> samples;
    QByteArray carry;
    Recorder() {
        QObject::connect(&parec, &QProcess::readyReadStandardOutput, [this] {
            carry += parec.readAllStandardOutput();
            const size_t n = static_cast<size_t>(carry.size()) / 2;
            samples.resize(samples.size() + n);
            std::memcpy(samples.data() + samples.size() - n, carry.constData(), n * 2);
            carry.remove(0, static_cast<qsizetype>(n * 2));
        });
        parec.start("parec", {"-d", "quellon_test.monitor", "--raw", "--format=s16le",
                              "--rate=48000", "--channels=1", "--latency-msec=10"});
    }
    int peak(size_t from, size_t to = SIZE_MAX) const {
        int p = 0;
        for (size_t i = from; i < std::min(to, samples.size()); ++i)
            p = std::max(p, std::abs(int(samples[i])));
        return p;
    }
    // From the upward zero crossings of n samples from `from`.
    double frequency(size_t from, size_t n) const {
        size_t first = 0, last = 0, count = 0;
        for (size_t i = from + 1; i < std::min(from + n, samples.size()); ++i)
            if (samples[i - 1] < 0 && samples[i] >= 0) {
                if (count++ == 0) first = i;
                last = i;
            }
        return count > 1 ? double(count - 1) * kRate / double(last - first) : 0;
    }
};

TEST(AlarmTone, HeardOnlyInAnAlarmAndNotWhenMuted) {
    // A sound server of the test's own, reached through PULSE_SERVER by Qt
    // Multimedia (not used before in this process) and by parec.
    QTemporaryDir dir;
    const QString pulseDir = dir.filePath("pulse");
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
    qputenv("PULSE_RUNTIME_PATH", pulseDir.toUtf8());
    qputenv("PULSE_SERVER", ("unix:" + pulseDir + "/native").toUtf8());
    QProcess pulse;
    pulse.setStandardOutputFile(QProcess::nullDevice());
    pulse.setStandardErrorFile(QProcess::nullDevice());  // its warnings about root are not ours
    pulse.start("pulseaudio",
                {"--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                 "--load=module-null-sink sink_name=quellon_test rate=48000 channels=1",
                 "--load=module-native-protocol-unix"});
    const bool up = pulse.waitForStarted(5000) &&
                    pumpUntil([] { return QProcess::execute("pactl", {"info"}) == 0; }, 5000);
    if (!up) GTEST_SKIP() << "pulseaudio could not start a private server with a null sink";

    const char* low = "counts 600,60,600,60";     // SWR 1.2
    const char* high = "counts 600,400,600,400";  // SWR 5.0, above the bridge's 3.00
    SimProcess sim({"--rate", "400", "--pattern", "fixed", "--counts", "600,60,600,60"});
    test::programSettings(dir.path().toStdString(), sim.linkPath());
    QtPlatform platform([] { return modGlobal.SettingsPath; });
    auto w = std::make_unique<frmMain>(platform, modGlobal);
    w->Form_Load();
    alarm::AlarmStation station(w->readings(), modGlobal.SettingsPath, modGlobal.ProgramDir);
    ASSERT_TRUE(pumpUntil([&] { return w->framesAccepted() > 50; }, 10000));
    Recorder rec;
    ASSERT_TRUE(pumpUntil([&] { return rec.samples.size() > kRate / 2; }, 5000)) << "no recording";

    // 1. The alarm: no tone while the SWR was good, the tone once the alarm has started.
    const size_t quietUntil = rec.samples.size();
    ASSERT_TRUE(sim.send(high));
    ASSERT_TRUE(pumpUntil([&] { return station.monitor().anyActive(); }, 3000));
    pumpFor(1200);
    EXPECT_LT(rec.peak(0, quietUntil), 200) << "a tone before the alarm";
    size_t loud = quietUntil;
    while (loud < rec.samples.size() && std::abs(rec.samples[loud]) < 8000) ++loud;
    ASSERT_LT(loud, rec.samples.size()) << "no tone in the recording";
    EXPECT_NEAR(rec.frequency(loud + kRate / 100, kRate * 15 / 100), 880, 5);

    // 2. The alarm ends: the tone stops. 3. Muted: a new alarm is seen, not heard.
    ASSERT_TRUE(sim.send(low));
    ASSERT_TRUE(pumpUntil([&] { return !station.monitor().anyActive(); }, 3000));
    pumpFor(300);
    const size_t endedAt = rec.samples.size();
    station.sound().mute();
    ASSERT_TRUE(sim.send(high));
    ASSERT_TRUE(pumpUntil([&] { return station.monitor().anyActive(); }, 3000));
    pumpFor(1000);
    EXPECT_LT(rec.peak(endedAt), 200);
    EXPECT_GT(station.sound().muteLeftMs(), 9 * 60 * 1000);
    w.reset();
    rec.parec.kill();
    rec.parec.waitForFinished();
    pulse.terminate();
    pulse.waitForFinished(3000);
}

}  // namespace
