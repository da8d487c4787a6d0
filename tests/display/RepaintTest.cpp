// Widgets that repaint only part of themselves, or paint by their own rules:
// what is on screen after they change must be exactly a fresh paint of them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include "display/DialArea.h"
#include "display/DisplayFrame.h"
#include "display/ReadoutBox.h"

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

QImage onScreen(QWidget& top, QWidget& w) {
    const QImage all = top.screen()->grabWindow(top.winId()).toImage();
    return all.copy(QRect(w.mapTo(&top, QPoint(0, 0)), w.size()))
        .convertToFormat(QImage::Format_RGB32);
}

TEST(ReadoutBox, ShowsEveryNewTextAndColour) {
    QWidget top;
    auto* box = new ReadoutBox(QStringLiteral("0"), &top);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->resize(90, 28);
    top.resize(100, 40);
    top.show();
    QApplication::processEvents();
    for (const char* text : {"12", "99", "1.0:1", "HIG", "", "12.5"}) {
        SCOPED_TRACE(text);
        box->setText(QString::fromLatin1(text));
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, text[0] == 'H' ? Qt::red : Qt::black);
        box->setPalette(pal);
        QApplication::processEvents();
        EXPECT_EQ(onScreen(top, *box), box->grab().toImage().convertToFormat(QImage::Format_RGB32));
    }
}

}  // namespace
}  // namespace quellon
