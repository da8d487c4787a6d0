#pragma once

#include <QColor>
#include <QPixmap>
#include <QRegion>
#include <QWidget>

#include "resources/Images.h"
#include "resources/NeedleGeometry.h"

namespace quellon {

// One needle instrument: a dial face with the needle drawn over it. The needle's
// geometry is computed in twips, like the window's sizes, and drawn in pixels.
class DialArea : public QWidget {
    Q_OBJECT
public:
    DialArea(DialKind kind, QSize logicalSize, QWidget* parent);
    void setNeedle(const NeedleGeometry& g, QColor color, int width);
    const NeedleGeometry& needle() const { return needle_; }
    bool hasNeedle() const { return hasNeedle_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRegion needleRegion() const;
    DialKind kind_;
    QPixmap face_;
    NeedleGeometry needle_;
    // Where the needle was last drawn: what the next move paints over.
    QRegion drawnRegion_;
    QColor color_ = Qt::blue;
    int width_ = 1;
    bool hasNeedle_ = false;
};

}  // namespace quellon
