// Spans, pause, zoom and the mapping between times and pixel columns.

#include <gtest/gtest.h>

#include "history/HistoryData.h"
#include "history/HistoryView.h"

using namespace quellon::history;

TEST(TimeAxis, TimesAndPixelsAgree) {
    const std::tuple<int64_t, int64_t, int, int64_t, double> rows[] = {
        {0, 60'000, 600, 0, 0},        {0, 60'000, 600, 30'000, 300},
        {0, 60'000, 600, 59'900, 599}, {1000, 86'401'000, 864, 43'201'000, 432},
        {-500, 500, 1000, 0, 500},
    };
    for (const auto& [t0, t1, width, t, x] : rows) {
        const TimeAxis ax({t0, t1}, width);
        EXPECT_DOUBLE_EQ(ax.xOf(t), x) << t;
        EXPECT_EQ(ax.tOf(x), t) << x;
        // The column that decimation puts t into is the pixel the axis gives.
        const Columns c(t0, t1, width);
        EXPECT_EQ(c.column(t), static_cast<int>(x)) << t;
        EXPECT_EQ(c.columnStart(c.column(t)), t) << t;
    }
    const Columns c(0, 1000, 3);  // uneven columns: starts at 0, 334, 667
    EXPECT_EQ(c.columnStart(1), 334);
    EXPECT_EQ((std::vector<int>{c.column(333), c.column(334), c.column(1000), c.column(-1)}),
              (std::vector<int>{0, 1, -1, -1}));
}

TEST(ViewState, SpansFollowTheClockUntilPaused) {
    ViewState v;
    const int64_t now = 10'000'000'000;
    const int64_t want[] = {60'000, 600'000, 3'600'000, 28'800'000, 86'400'000};
    for (int i = 0; i < 5; ++i) {
        v.setSpan(i);
        EXPECT_EQ(v.range(now), (TimeRange{now - want[i], now})) << i;
    }
    v.setSpan(0);
    v.setFollow(false, now);
    EXPECT_EQ(v.range(now + 5000), (TimeRange{now - 60'000, now}));  // stays
    v.setSpan(1);  // a new span while paused keeps the end
    EXPECT_EQ(v.range(now + 5000), (TimeRange{now - 600'000, now}));
    v.setFollow(true, now + 5000);
    EXPECT_EQ(v.range(now + 5000), (TimeRange{now + 5000 - 600'000, now + 5000}));
}

TEST(ViewState, ZoomInAndBack) {
    ViewState v;
    const int64_t now = 1'000'000;
    v.setSpan(0);                               // [940000, 1000000) on 600 columns: 100 ms each
    ASSERT_TRUE(v.zoomTo(300, 150, 600, now));  // either drag direction
    EXPECT_EQ(v.range(now), (TimeRange{955'000, 970'000}));
    EXPECT_FALSE(v.follow());
    EXPECT_EQ(v.range(now + 99'000), (TimeRange{955'000, 970'000}));  // zoom does not move
    ASSERT_TRUE(v.zoomTo(0, 60, 600, now));                           // 25 ms a column now
    EXPECT_EQ(v.range(now), (TimeRange{955'000, 956'500}));
    EXPECT_FALSE(v.zoomTo(10, 11, 600, now) || v.zoomTo(10, 10.5, 600, now));  // too narrow
    EXPECT_EQ(v.zoomDepth(), 2u);
    EXPECT_TRUE(v.back());
    EXPECT_EQ(v.range(now), (TimeRange{955'000, 970'000}));
    EXPECT_TRUE(v.back());
    // Back from the last zoom: the paused span where the zoom began.
    EXPECT_EQ(v.range(now + 99'000), (TimeRange{940'000, 1'000'000}));
    EXPECT_FALSE(v.back());
    ASSERT_TRUE(v.zoomTo(-50, 2000, 600, now));  // beyond the edges: clamped
    EXPECT_EQ(v.range(now), (TimeRange{940'000, 1'000'000}));
    v.setFollow(true, now);
    EXPECT_EQ(v.zoomDepth(), 0u);
}
