// Feeds each display mode a second's worth of frames (576, channels A and B in
// turn, readings changing every frame) with window events processed as a real
// event loop would, and prints the time spent per frame and the share of one
// second of frames that the display takes.
#include "DisplayFakes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "display/Modes.h"

using namespace quellon;
using quellon::testing::FakeHost;

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = 5;
    const int framesPerSecond = 576;
    std::printf("mode  frames  us/frame  share of 1 s of frames\n");
    for (int m = 0; m < 5; ++m) {
        FakeHost h;
        h.g.params.nFwdMin = 12;
        h.g.ScaleTextA = {"100W", "1KW"};
        h.g.ScaleTextB = {"100W", "1KW"};
        auto w = createDisplayWindow(std::to_string(m), h);
        w->showDisplay();
        app.processEvents();
        QElapsedTimer t;
        t.start();
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
            // Painting coalesces: the event loop gets a turn about 60 times a second.
            if (k % (framesPerSecond / 60) == 0) app.processEvents();
        }
        app.processEvents();
        const double us = t.nsecsElapsed() / 1000.0 / total;
        std::printf("%4d  %6d  %8.1f  %5.1f %%\n", m, total, us, us * framesPerSecond / 1e4);
    }
    return 0;
}
