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

void PaintCoalescer::scheduleReplay() {
    if (replayPending_) return;
    replayPending_ = true;
    const int wait =
        lastPaint_.isValid() ? intervalMs_ - static_cast<int>(lastPaint_.elapsed()) : 0;
    fallback_->start(std::max(1, wait + kFallbackSlackMs));
}

void PaintCoalescer::replay() {
    fallback_->stop();
    if (!replayPending_) return;
    replayPending_ = false;
    lastPaint_.restart();
    if (beforePaint_) beforePaint_();
    replaying_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    replaying_ = false;
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
