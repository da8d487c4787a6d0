#include "display/DialArea.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "display/DisplayFrame.h"

namespace quellon {

DialArea::DialArea(DialKind kind, QSize logicalSize, QWidget* parent)
    : QWidget(parent), kind_(kind) {
    setFixedSize(logicalSize);
    drawnRegion_ = rect();  // before the first needle, the whole dial
    // The face pixmap covers every pixel of a paint: the window beneath need
    // not be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRegion DialArea::needleRegion() const {
    // The line's own neighbourhood, as the bounding boxes of a few pieces of it
    // widened by the pen and a pixel of antialiasing: a slanted needle's one
    // bounding box would be most of the dial, and every pixel painted is also
    // a pixel sent to the screen.
    constexpr int kPieces = 4;
    const double tpp = winpos::twipsPerPixel();
    const QPointF pivot(needle_.pivotX / tpp, needle_.pivotY / tpp);
    const QPointF step = (QPointF(needle_.tipX / tpp, needle_.tipY / tpp) - pivot) / kPieces;
    const int margin = static_cast<int>(std::ceil(width_ * 1.5)) + 2;
    QRegion region;
    for (int i = 0; i < kPieces; ++i) {
        const QRectF piece = QRectF(pivot + step * i, pivot + step * (i + 1)).normalized();
        const QRect r = piece.toAlignedRect().adjusted(-margin, -margin, margin, margin) & rect();
        if (!r.isEmpty()) region += r;
    }
    return region;
}

void DialArea::setNeedle(const NeedleGeometry& g, QColor color, int width) {
    if (hasNeedle_ && g.pivotX == needle_.pivotX && g.pivotY == needle_.pivotY &&
        g.tipX == needle_.tipX && g.tipY == needle_.tipY && color == color_ &&
        std::max(1, width) == width_) {
        needle_ = g;
        return;  // drawn the same: nothing to paint
    }
    // Only the dial under the old and the new needle is painted again.
    const QRegion before = drawnRegion_;
    needle_ = g;
    color_ = color;
    width_ = std::max(1, width);
    hasNeedle_ = true;
    drawnRegion_ = needleRegion();
    update(before | drawnRegion_);
}

void DialArea::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    const double tpp = winpos::twipsPerPixel();
    if (face_.isNull() || face_.devicePixelRatio() != dpr ||
        face_.size() != QSize(static_cast<int>(std::ceil(width() * dpr)),
                              static_cast<int>(std::ceil(height() * dpr)))) {
        // The face over the colour of what lies beneath it, so that its
        // antialiased corners too are opaque (the widget paints without its
        // background being painted first).
        const QPixmap face = dialFace(kind_, size(), dpr, tpp);
        face_ = QPixmap(face.size());
        face_.setDevicePixelRatio(dpr);
        const QWidget* under = parentWidget() ? parentWidget() : this;
        face_.fill(under->palette().color(under->backgroundRole()));
        QPainter(&face_).drawPixmap(0, 0, face);
    }
    QPainter p(this);
    // The face is drawn once into a pixmap; a paint copies back only the part
    // the needle left or entered, then draws the needle over it.
    for (const QRect& area : event->region()) {
        const QRect dirty = area & rect();
        p.drawPixmap(
            dirty, face_,
            QRectF(dirty.x() * dpr, dirty.y() * dpr, dirty.width() * dpr, dirty.height() * dpr)
                .toAlignedRect());
    }
    if (!hasNeedle_) return;
    p.setRenderHint(QPainter::Antialiasing);
    // The painter is already clipped to the paint's region.
    const QPointF pivot(needle_.pivotX / tpp, needle_.pivotY / tpp);
    const QPointF tip(needle_.tipX / tpp, needle_.tipY / tpp);
    // A needle 1.5 pixels wide as two one-pixel lines half a pixel apart:
    // one-pixel lines take the painter's fast line path, while a wider pen
    // is outlined and filled as a path, several times the cost per paint.
    if (width_ == 1) {
        const QPointF d = tip - pivot;
        const double len = std::hypot(d.x(), d.y());
        const QPointF half = len > 0 ? QPointF(-d.y() / len, d.x() / len) * 0.25 : QPointF(0.25, 0);
        p.setPen(QPen(color_, 1));
        p.drawLine(pivot + half, tip + half);
        p.drawLine(pivot - half, tip - half);
        return;
    }
    p.setPen(QPen(color_, width_ * 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, tip);
}

}  // namespace quellon
