#pragma once
// Frames arrive up to 576 times a second and each one changes a text or a bar.
// Painting every one of them costs far more than decoding it, and nobody sees
// more than the screen's rate. This filter lets a window paint at most once per
// interval: an update request that comes too soon is held back and replayed
// when the interval is over, so what is shown is always the latest state.
//
// While frames keep coming, the replay is done by the first frame after the
// interval (replayDue, from the frame path): a paint then costs no wake-up of
// its own. A timer a little later replays it when no frame follows.

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QTimer;
class QWidget;

namespace quellon {

class PaintCoalescer : public QObject {
public:
    // Installs itself on window; owned by it.
    static void install(QWidget* window, int intervalMs = kIntervalMs);
    // A frame waits at most about this long for its paint (plus the time to
    // the next frame, or the fallback's slack). Shorter than the port's batch
    // gap (25 ms), so while the stream runs every batch paints at once: a
    // longer interval would hold every other batch's paint for a timer of its
    // own, a wake-up and up to a batch more on the screen.
    static constexpr int kIntervalMs = 12;
    static constexpr int kFallbackSlackMs = 2;
    // The filter installed on window, or null.
    static PaintCoalescer* of(QWidget* window);
    // Replays every held paint whose interval is over. Called after each
    // frame has been handed to the display.
    static void replayDue();
    // Paints every window now, with the work put off until its paint, whether
    // or not its interval is over: for a caller that must see the latest
    // frame on the screen before it goes on (the display tests).
    static void paintAllNow();
    ~PaintCoalescer() override;

    // True when a paint asked for now would be held back (the window painted
    // less than an interval ago).
    bool holdsPaint() const;
    // Makes sure the window paints: after the events now queued when its
    // interval is over, else once it is.
    void requestPaint();
    // Run right before each paint it lets through: work put off until the
    // window shows it (texts of the latest frame) is done there.
    void setBeforePaint(std::function<void()> f) { beforePaint_ = std::move(f); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PaintCoalescer(QWidget* window, int intervalMs);
    void replay();
    // Makes sure the window paints once the interval is over.
    void scheduleReplay();
    // Runs the work put off until the paint that is about to happen.
    void beforePaint();
    QWidget* window_;
    QTimer* fallback_;
    int intervalMs_;
    QElapsedTimer lastPaint_;
    bool replayPending_ = false;
    bool replaying_ = false;
    bool requestPosted_ = false;
    std::function<void()> beforePaint_;
};

}  // namespace quellon
