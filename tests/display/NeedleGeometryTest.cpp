#include <gtest/gtest.h>
#include <cmath>

#include "resources/NeedleGeometry.h"

using namespace quellon;

TEST(NeedleGeometry, WorkedExampleOfTheGaugeArea) {
    const NeedleGeometry s = needleGeometry(2265, 930, 3, 0, 100, 7.8, 21.8, -0.4, 0);
    EXPECT_EQ(s.pivotX, 1132);  // 1132.5 rounds to even
    EXPECT_EQ(s.pivotY, 980);
    EXPECT_FLOAT_EQ(s.r, 975);
    EXPECT_EQ(s.i, -390);
    EXPECT_DOUBLE_EQ(s.L, 1365);
    EXPECT_NEAR(s.theta * 180 / 3.141592654, 223.2, 1e-9);
    EXPECT_NEAR(s.tipX, 197.6, 0.05);
    EXPECT_NEAR(s.tipY, -15.0, 0.05);

    const NeedleGeometry e = needleGeometry(2265, 930, 3, 0, 100, 7.8, 21.8, -0.4, 100);
    EXPECT_NEAR(e.theta * 180 / 3.141592654, 139.2, 1e-9);
    EXPECT_NEAR(e.tipX, 2023.9, 0.05);
    EXPECT_NEAR(e.tipY, -53.3, 0.05);

    // Beyond the range the needle turns further: no clamping here.
    const NeedleGeometry over = needleGeometry(2265, 930, 3, 0, 100, 7.8, 21.8, -0.4, 150);
    EXPECT_LT(over.theta, e.theta);
}

TEST(NeedleGeometry, MeterTypesAndRadius) {
    // Pivot in the centre: a wide area takes its radius from the height.
    const NeedleGeometry c = needleGeometry(1000, 400, 1, 0, 10, 0, 10, 0, 0);
    EXPECT_EQ(c.pivotX, 500);
    EXPECT_EQ(c.pivotY, 200);
    EXPECT_FLOAT_EQ(c.r, 195);
    EXPECT_DOUBLE_EQ(c.theta, 0);
    EXPECT_NEAR(c.tipY, 200 + 195, 1e-9);  // base angle 0 points down
    // Bottom edge pivot; a narrow area takes its radius from the width.
    const NeedleGeometry b = needleGeometry(300, 900, 2, 0, 10, 0, 10, 0.5, 0);
    EXPECT_EQ(b.pivotY, 898);
    EXPECT_FLOAT_EQ(b.r, 145);
    EXPECT_EQ(b.i, 72);  // 72.5 rounds to even
    EXPECT_DOUBLE_EQ(b.L, 73);
}

TEST(NeedleGeometry, EmptyRangeStaysAtStart) {
    const NeedleGeometry g = needleGeometry(2265, 930, 3, 5, 5, 7.8, 21.8, -0.4, 3);
    EXPECT_TRUE(std::isfinite(g.tipX));
    EXPECT_TRUE(std::isfinite(g.tipY));
    EXPECT_DOUBLE_EQ(g.theta, needleTheta(3, 0, 100, 7.8, 21.8, 0));
}
