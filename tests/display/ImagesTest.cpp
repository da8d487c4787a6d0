#include <gtest/gtest.h>
#include <QImage>

#include "resources/Images.h"

using namespace quellon;

TEST(Images, LampsArePaintedAtTheDevicePixelRatio) {
    for (int id : {101, 102, 107, 108}) {
        QPixmap pm = lampPixmap(id, 2.0);
        EXPECT_EQ(pm.size(), QSize(56, 56)) << id;
        EXPECT_EQ(pm.deviceIndependentSize().toSize(), QSize(28, 28)) << id;
    }
    auto centre = [](int id) { return lampPixmap(id, 1).toImage().pixelColor(14, 14); };
    auto brightness = [&](int id) {
        return centre(id).red() + centre(id).green() + centre(id).blue();
    };
    EXPECT_GT(brightness(101), brightness(102));      // lit green over dark green
    EXPECT_GT(brightness(107), brightness(108));      // lit yellow over dark yellow
    EXPECT_GT(centre(107).red(), centre(101).red());  // yellow differs from green by its red part
    EXPECT_FALSE(lampPixmap(0, 0).isNull());          // a bad ratio still gives a picture
}

TEST(Images, DialsLogoAndIcons) {
    for (DialKind k : {DialKind::Power, DialKind::Swr})
        EXPECT_EQ(dialFace(k, QSize(240, 150), 1.5).size(), QSize(360, 225));
    EXPECT_EQ(logoPixmap(QSize(300, 80), 1).size(), QSize(300, 80));
    for (int id : {101, 103, 104, 105}) EXPECT_FALSE(portIcon(id).pixmap(32, 32).isNull()) << id;
}
