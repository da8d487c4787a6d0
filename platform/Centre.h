#pragma once
// Centring a window on the primary screen, shared by the start-up window, the
// dialogs and the channel windows' default places.

#include <QGuiApplication>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QWidget>

namespace quellon {

// Start of a length centred on an area's length: half of each, taken in the
// type given, so whole pixels drop the odd half pixel as the windows always did.
template <class T>
constexpr T centredStart(T area, T length) {
    return area / 2 - length / 2;
}

// Top-left corner that centres a size on an area (in the area's coordinates,
// its own origin included).
inline QPoint centredIn(const QRect& area, const QSize& size) {
    return {area.x() + centredStart(area.width(), size.width()),
            area.y() + centredStart(area.height(), size.height())};
}

enum class ScreenArea {
    Whole,      // the whole screen
    Available,  // without the desktop's panels and task bars
};

// Moves the window (its size without the frame) to the centre of the primary
// screen's area; without a screen it stays where it is.
inline void centreOnScreen(QWidget& w, ScreenArea area) {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return;
    w.move(centredIn(area == ScreenArea::Available ? s->availableGeometry() : s->geometry(),
                     w.size()));
}

}  // namespace quellon
