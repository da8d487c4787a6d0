#include <gtest/gtest.h>
#include <cmath>

#include "resources/NeedleGeometry.h"

using namespace quellon;

// Worked by hand for the gauge's 2265 x 930 area, pivot below the face.
TEST(NeedleGeometry, WorkedExampleOfTheGaugeArea) {
    auto at = [](double lo, double hi, double v) {
        return needleGeometry(2265, 930, 3, lo, hi, 7.8, 21.8, -0.4, v);
    };
    auto degrees = [](double rad) { return rad * 180 / 3.141592654; };
    const NeedleGeometry s = at(0, 100, 0);
    EXPECT_EQ(s.pivotX, 1132);  // 1132.5 rounds to even
    EXPECT_FLOAT_EQ(s.r, 975);
    EXPECT_NEAR(degrees(s.theta), 223.2, 1e-9);
    EXPECT_NEAR(s.tipX, 197.6, 0.05);
    EXPECT_NEAR(s.tipY, -15.0, 0.05);
    const NeedleGeometry e = at(0, 100, 100);
    EXPECT_NEAR(degrees(e.theta), 139.2, 1e-9);
    EXPECT_NEAR(e.tipX, 2023.9, 0.05);
    EXPECT_NEAR(e.tipY, -53.3, 0.05);
    EXPECT_LT(at(0, 100, 150).theta, e.theta);  // beyond the range it turns on: no clamping
    // An empty range stays at the start instead of dividing by zero.
    const NeedleGeometry z = at(5, 5, 3);
    EXPECT_TRUE(std::isfinite(z.tipX) && std::isfinite(z.tipY));
    EXPECT_DOUBLE_EQ(z.theta, needleTheta(3, 0, 100, 7.8, 21.8, 0));
}
