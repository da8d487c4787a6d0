#include "display/LevelBar.h"

#include <QPainter>
#include <algorithm>

namespace quellon {

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelBar::setRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    setValue(value_);
}

void LevelBar::setValue(int v) {
    v = std::clamp(v, min_, max_);
    if (v == value_) return;
    value_ = v;
    update();
}

QSize LevelBar::sizeHint() const { return QSize(200, std::max(18, fontMetrics().height() + 6)); }

void LevelBar::paintEvent(QPaintEvent*) {
    // Plain rectangles, painted by hand: the style's rounded, shaded progress
    // bar costs far more per paint, and this bar repaints with every frame.
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    p.fillRect(r, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const QRect inside = r.adjusted(2, 2, -2, -2);
    if (max_ <= min_ || inside.width() <= 0) return;
    const int filled =
        static_cast<int>(static_cast<long long>(value_ - min_) * inside.width() / (max_ - min_));
    if (filled > 0)
        p.fillRect(QRect(inside.left(), inside.top(), filled, inside.height()),
                   pal.color(QPalette::Highlight));
}

}  // namespace quellon
