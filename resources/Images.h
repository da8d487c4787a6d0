#pragma once
// The program's own pictures, painted at run time so they stay sharp at any
// device pixel ratio: indicator lamps, port icons, gauge dial faces and the logo.

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include "core/ImageIds.h"

namespace quellon {

// Indicator lamps (lamp::...), 28 x 28 logical pixels. Any other id gives a
// grey, unlit lamp.
QPixmap lampPixmap(int id, qreal dpr);

enum class DialKind { Power, Swr };

// Dial face of a gauge drawing area of logicalSize pixels. The scale follows the
// needle of the gauge windows (pivot 50 units below the area, 7.8 .. 21.8 in
// sixths of a degree); unitsPerPixel converts the area's pixels to those units.
// Power: 0 .. 100 with a "W"; SWR: marks 1, 1.5, 2, 3, 5 over SWR x 10 = 0 .. 60.
QPixmap dialFace(DialKind kind, QSize logicalSize, qreal dpr, double unitsPerPixel = 15.0);

// The start-up logo: a bridge meter with its needle and the name "Quellon".
QPixmap logoPixmap(QSize logicalSize, qreal dpr);

// Port detection icons (porticon::...).
QIcon portIcon(int id);

}  // namespace quellon
