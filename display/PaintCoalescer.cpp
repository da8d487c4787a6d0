#include "display/PaintCoalescer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quellon {

void PaintCoalescer::install(QWidget* window, int intervalMs) {
    window->installEventFilter(new PaintCoalescer(window, intervalMs));
}

PaintCoalescer::PaintCoalescer(QWidget* window, int intervalMs)
    : QObject(window), window_(window), intervalMs_(intervalMs) {}

bool PaintCoalescer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest || replaying_)
        return QObject::eventFilter(watched, event);
    if (!lastPaint_.isValid() || lastPaint_.elapsed() >= intervalMs_) {
        lastPaint_.restart();
        return false;  // paint now
    }
    // Too soon: the dirty region stays with the window; ask again later.
    if (!replayPending_) {
        replayPending_ = true;
        const int wait = intervalMs_ - static_cast<int>(lastPaint_.elapsed());
        QPointer<QWidget> w = window_;
        QTimer::singleShot(wait < 1 ? 1 : wait, this, [this, w] {
            replayPending_ = false;
            if (!w) return;
            lastPaint_.restart();
            replaying_ = true;
            QEvent request(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(w, &request);
            replaying_ = false;
        });
    }
    return true;
}

}  // namespace quellon
