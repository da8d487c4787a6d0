#include "display/PaintCoalescer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace quellon {

namespace {
// The coalescers of the open windows (a handful): replayDue looks at each.
std::vector<PaintCoalescer*>& live() {
    static std::vector<PaintCoalescer*> all;
    return all;
}
}  // namespace

void PaintCoalescer::install(QWidget* window, int intervalMs) {
    window->installEventFilter(new PaintCoalescer(window, intervalMs));
}

PaintCoalescer::PaintCoalescer(QWidget* window, int intervalMs)
    : QObject(window), window_(window), fallback_(new QTimer(this)), intervalMs_(intervalMs) {
    fallback_->setSingleShot(true);
    fallback_->setTimerType(Qt::PreciseTimer);
    connect(fallback_, &QTimer::timeout, this, [this] { replay(); });
    live().push_back(this);
}

PaintCoalescer::~PaintCoalescer() { std::erase(live(), this); }

PaintCoalescer* PaintCoalescer::of(QWidget* window) {
    if (!window) return nullptr;
    for (QObject* child : window->children())
        if (auto* c = dynamic_cast<PaintCoalescer*>(child)) return c;
    return nullptr;
}

bool PaintCoalescer::holdsPaint() const {
    return lastPaint_.isValid() && lastPaint_.elapsed() < intervalMs_;
}

void PaintCoalescer::replayDue() {
    for (PaintCoalescer* c : live())
        if (c->replayPending_ && !c->holdsPaint()) c->replay();
}

void PaintCoalescer::paintAllNow() {
    for (PaintCoalescer* c : live()) {
        c->replayPending_ = true;
        c->replay();
    }
}

void PaintCoalescer::scheduleReplay() {
    if (replayPending_) return;
    replayPending_ = true;
    const int wait =
        lastPaint_.isValid() ? intervalMs_ - static_cast<int>(lastPaint_.elapsed()) : 0;
    fallback_->start(std::max(1, wait + kFallbackSlackMs));
}

void PaintCoalescer::requestPaint() {
    // Every frame asks: once a paint is on its way, that is all (and the
    // clock is not read for the rest of the batch).
    if (requestPosted_ || replayPending_) return;
    if (holdsPaint()) return scheduleReplay();
    requestPosted_ = true;
    // The same request the toolkit posts for a widget's update().
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

void PaintCoalescer::beforePaint() {
    lastPaint_.restart();
    if (beforePaint_) beforePaint_();
    // The texts just set asked for a paint of their own; this one paints
    // them. Left queued, that request would come in right after this paint,
    // find the interval not over and wake the program once more for a paint
    // of nothing, and a batch arriving meanwhile would have to wait for it.
    QCoreApplication::removePostedEvents(window_, QEvent::UpdateRequest);
    requestPosted_ = false;
}

void PaintCoalescer::replay() {
    fallback_->stop();
    if (!replayPending_) return;
    replayPending_ = false;
    beforePaint();
    replaying_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    replaying_ = false;
}

bool PaintCoalescer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest || replaying_)
        return QObject::eventFilter(watched, event);
    if (!holdsPaint()) {
        beforePaint();
        return false;  // paint now
    }
    requestPosted_ = false;
    // Too soon: the dirty region stays with the window; ask again later.
    scheduleReplay();
    return true;
}

}  // namespace quellon
