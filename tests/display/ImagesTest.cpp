#include <gtest/gtest.h>
#include <QImage>

#include "resources/Images.h"

using namespace quellon;

namespace {
int brightness(const QPixmap& pm) {
    QImage img = pm.toImage();
    QColor c = img.pixelColor(img.width() / 2, img.height() / 2);
    return c.red() + c.green() + c.blue();
}
}  // namespace

TEST(Images, LampsArePaintedAtTheDevicePixelRatio) {
    for (int id : {101, 102, 107, 108}) {
        QPixmap pm = lampPixmap(id, 2.0);
        EXPECT_EQ(pm.size(), QSize(56, 56)) << id;
        EXPECT_DOUBLE_EQ(pm.devicePixelRatio(), 2.0);
        EXPECT_EQ(pm.deviceIndependentSize().toSize(), QSize(28, 28));
    }
    EXPECT_GT(brightness(lampPixmap(101, 1)), brightness(lampPixmap(102, 1)));
    EXPECT_GT(brightness(lampPixmap(107, 1)), brightness(lampPixmap(108, 1)));
    // Yellow differs from green by its red part.
    EXPECT_GT(lampPixmap(107, 1).toImage().pixelColor(14, 14).red(),
              lampPixmap(101, 1).toImage().pixelColor(14, 14).red());
    EXPECT_FALSE(lampPixmap(0, 0).isNull());  // a bad ratio still gives a picture
}

TEST(Images, DialsLogoAndIcons) {
    for (DialKind k : {DialKind::Power, DialKind::Swr}) {
        QPixmap pm = dialFace(k, QSize(240, 150), 1.5);
        EXPECT_EQ(pm.size(), QSize(360, 225));
    }
    EXPECT_EQ(logoPixmap(QSize(300, 80), 1).size(), QSize(300, 80));
    for (int id : {101, 103, 104, 105}) EXPECT_FALSE(portIcon(id).pixmap(32, 32).isNull()) << id;
}
