#pragma once
// Frames arrive up to 576 times a second and each one changes a text or a bar.
// Painting every one of them costs far more than decoding it, and nobody sees
// more than the screen's rate. This filter lets a window paint at most once per
// interval: an update request that comes too soon is held back and replayed
// when the interval is over, so what is shown is always the latest state.

#include <QElapsedTimer>
#include <QObject>

class QWidget;

namespace quellon {

class PaintCoalescer : public QObject {
public:
    // Installs itself on window; owned by it.
    static void install(QWidget* window, int intervalMs = 20);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PaintCoalescer(QWidget* window, int intervalMs);
    QWidget* window_;
    int intervalMs_;
    QElapsedTimer lastPaint_;
    bool replayPending_ = false;
    bool replaying_ = false;
};

}  // namespace quellon
