// Held paints: replayed by the next frame once the interval is over (no
// wake-up of their own), or by the fallback timer when no frame follows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include "display/PaintCoalescer.h"

namespace quellon {
namespace {

struct Counting : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

void waitAtLeast(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }

TEST(PaintCoalescer, HeldPaintIsReplayedByTheNextFrameOrByTheFallback) {
    constexpr int kInterval = 200;  // long enough that nothing here outruns it
    Counting w;
    w.resize(50, 20);
    PaintCoalescer::install(&w, kInterval);
    w.show();
    QApplication::processEvents();  // the first paint goes through at once
    ASSERT_GE(w.paints, 1);

    // Too soon after it: held back, and a frame that comes before the
    // interval is over leaves it held.
    int before = w.paints;
    w.update();
    QApplication::processEvents();
    PaintCoalescer::replayDue();
    EXPECT_EQ(w.paints, before);

    // A frame after the interval paints at once, from the frame path.
    waitAtLeast(kInterval + 5);
    PaintCoalescer::replayDue();
    EXPECT_EQ(w.paints, before + 1);

    // No frame follows a held paint: the fallback timer replays it.
    before = w.paints;
    w.update();
    QApplication::processEvents();
    EXPECT_EQ(w.paints, before);
    QElapsedTimer clock;
    clock.start();
    while (w.paints == before && clock.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(w.paints, before + 1);
}

}  // namespace
}  // namespace quellon
