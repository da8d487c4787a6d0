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

PaintCoalescer* PaintCoalescer::of(QWidget* window) {
    if (!window) return nullptr;
    for (QObject* child : window->children())
        if (auto* c = dynamic_cast<PaintCoalescer*>(child)) return c;
    return nullptr;
}

bool PaintCoalescer::holdsPaint() const {
    return lastPaint_.isValid() && lastPaint_.elapsed() < intervalMs_;
}

void PaintCoalescer::scheduleReplay() {
    if (replayPending_) return;
    replayPending_ = true;
    const int wait =
        lastPaint_.isValid() ? intervalMs_ - static_cast<int>(lastPaint_.elapsed()) : 0;
    QPointer<QWidget> w = window_;
    QTimer::singleShot(wait < 1 ? 1 : wait, this, [this, w] {
        replayPending_ = false;
        if (!w) return;
        lastPaint_.restart();
        if (beforePaint_) beforePaint_();
        replaying_ = true;
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(w, &request);
        replaying_ = false;
    });
}

bool PaintCoalescer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest || replaying_)
        return QObject::eventFilter(watched, event);
    if (!holdsPaint()) {
        lastPaint_.restart();
        if (beforePaint_) beforePaint_();
        return false;  // paint now
    }
    // Too soon: the dirty region stays with the window; ask again later.
    scheduleReplay();
    return true;
}

}  // namespace quellon
