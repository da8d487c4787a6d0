#pragma once
// The program's own pictures, painted at run time so they stay sharp at any
// device pixel ratio: indicator lamps, port icons, gauge dial faces and the logo.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace quellon {

// Indicator lamps, 28 x 28 logical pixels: 101 green lit, 102 green dark,
// 105 red lit, 106 red dark, 107 yellow lit, 108 yellow dark. Any other id gives
// a grey, unlit lamp.
QPixmap lampPixmap(int id, qreal dpr);

enum class DialKind { Power, Swr };

// Dial face of a gauge drawing area of logicalSize pixels. The scale follows the
// needle of the gauge windows (pivot 50 units below the area, 7.8 .. 21.8 in
// sixths of a degree); unitsPerPixel converts the area's pixels to those units.
// Power: 0 .. 100 with a "W"; SWR: marks 1, 1.5, 2, 3, 5 over SWR x 10 = 0 .. 60.
QPixmap dialFace(DialKind kind, QSize logicalSize, qreal dpr, double unitsPerPixel = 15.0);

// The start-up logo: a bridge meter with its needle and the name "Quellon".
QPixmap logoPixmap(QSize logicalSize, qreal dpr);

// Port detection icons: 101 serial port, 103 port in use, 104 port error, 105 bridge.
QIcon portIcon(int id);

}  // namespace quellon
