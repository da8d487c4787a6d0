// A needle that moves repaints only the dial around its old and new place: what
// is on screen afterwards must be exactly a fresh paint of the new needle, with
// nothing of the old one left behind.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include "display/DialArea.h"
#include "display/DisplayFrame.h"

namespace quellon {
namespace {

NeedleGeometry needleAt(const QSize& size, double value) {
    const double tpp = winpos::twipsPerPixel();
    return needleGeometry(size.width() * tpp, size.height() * tpp, 3, 0, 100, 7.8, 21.8, -0.4,
                          value);
}

TEST(DialArea, MovedNeedleLeavesNothingOfItsOldPlace) {
    const QSize size(240, 150);
    QWidget top;
    auto* dial = new DialArea(DialKind::Power, size, &top);
    top.resize(size);
    top.show();
    const double values[] = {0, 100, 50, 3, 97, 49, 51, 0};
    dial->setNeedle(needleAt(size, values[0]), Qt::blue, 1);
    QApplication::processEvents();
    for (size_t i = 1; i < std::size(values); ++i) {
        SCOPED_TRACE(values[i]);
        dial->setNeedle(needleAt(size, values[i]), Qt::blue, 1);
        QApplication::processEvents();  // paints only what the needle left and entered
        const QImage shown =
            top.screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage fresh = dial->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), fresh.size());
        int differing = 0;
        for (int y = 0; y < fresh.height(); ++y)
            for (int x = 0; x < fresh.width(); ++x)
                differing += shown.pixel(x, y) != fresh.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
}  // namespace quellon
