#include <gtest/gtest.h>

#include "platform/Centre.h"

using namespace quellon;

TEST(Centre, HalvesOfEachAndTheAreasOwnOrigin) {
    // Whole pixels drop the odd half of each length; an area that does not start
    // at the desktop's origin (a primary screen right of another) keeps its offset.
    const std::tuple<QRect, QSize, QPoint> rows[] = {
        {QRect(0, 0, 1024, 768), QSize(400, 300), QPoint(312, 234)},
        {QRect(0, 0, 1023, 767), QSize(401, 301), QPoint(311, 233)},
        {QRect(1920, 0, 1280, 1024), QSize(400, 300), QPoint(2360, 362)},
        {QRect(0, 28, 1024, 740), QSize(400, 300), QPoint(312, 248)},
        {QRect(0, 0, 300, 200), QSize(400, 300), QPoint(-50, -50)},
    };
    for (const auto& [area, size, want] : rows) EXPECT_EQ(centredIn(area, size), want) << area.x();
    // In twips the half twip stays.
    EXPECT_DOUBLE_EQ(centredStart(1024 * 15.0, 301 * 15.0), 5422.5);
}
