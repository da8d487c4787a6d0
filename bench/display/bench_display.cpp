// Feeds each display mode five seconds' worth of frames (576 a second,
// channels A and B in turn, readings changing every frame) in the batches the
// port hands over (14 frames), with the window's events processed after each
// batch once the paint interval is over, as the program's event loop does.
// Prints the UI thread's CPU time per frame, paints included, and the share
// of one second of frames that the display takes. No port and no other
// process is involved, but each batch finds the caches cold after its pause,
// so the figure moves from run to run with the machine (seen: up to three
// times in one mode): compare two versions of a window's drawing over
// several runs.
#include "DisplayFakes.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/Process.h"
#include "display/Modes.h"

using namespace quellon;
using quellon::testing::FakeHost;

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = 5;
    const int framesPerSecond = 576;
    constexpr int kBatch = 14;       // frames per 25 ms at 576 a second
    constexpr int kPaintGapMs = 13;  // just over the windows' paint interval
    std::printf("mode  frames  us/frame  share of 1 s of frames\n");
    for (int m = 0; m < 5; ++m) {
        FakeHost h;
        h.g.params.nFwdMin = 12;
        h.g.ScaleTextA = {"100W", "1KW"};
        h.g.ScaleTextB = {"100W", "1KW"};
        auto w = createDisplayWindow(std::to_string(m), h);
        w->showDisplay();
        app.processEvents();
        const double cpu0 = bench::threadCpuSeconds();
        const int total = seconds * framesPerSecond;
        ChannelReading r;
        for (int k = 0; k < total; ++k) {
            r.channel = (k & 1) ? "B" : "A";
            r.nDir = static_cast<int16_t>(300 + (k * 7) % 700);
            r.nDirMax = r.nDir;
            r.pwrDir = static_cast<int16_t>(r.nDir / 2);
            r.pwrDirMax = r.nDir;
            r.pwrDirText = std::to_string(r.pwrDir / 10);
            r.pwrDirMaxText = std::to_string(r.pwrDirMax / 10);
            r.swrValue = 1.0f + (k % 30) / 10.0f;
            r.swrText = (k % 50 == 0) ? "HIG" : std::to_string(10 + k % 30).insert(1, ".");
            r.voltDirText = std::to_string(r.nDir / 3);
            r.fullScalePower = 1000;
            h.p.now += 2;
            w->aggiornaDati(r);
            if (k % kBatch == kBatch - 1) {
                // Asleep until the paint interval is over, as between two batches.
                std::this_thread::sleep_for(std::chrono::milliseconds(kPaintGapMs));
                app.processEvents();
            }
        }
        app.processEvents();
        const double us = 1e6 * (bench::threadCpuSeconds() - cpu0) / total;
        std::printf("%4d  %6d  %8.1f  %5.1f %%\n", m, total, us, us * framesPerSecond / 1e4);
    }
    return 0;
}
