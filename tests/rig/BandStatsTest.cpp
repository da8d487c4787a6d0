// The band plan's edges and the per-band statistics.

#include "rig/BandStats.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quellon::rig {
namespace {

TEST(BandPlan, EdgesAreOnTheBandAndTheHertzBesideThemAreNot) {
    const std::pair<int64_t, const char*> cases[] = {
        {1'800'000, "160m"},   {1'799'999, ""},
        {2'000'000, "160m"},   {2'000'001, ""},
        {5'366'501, ""},       {7'300'000, "40m"},
        {10'150'001, ""},      {14'074'000, "20m"},
        {14'350'001, ""},      {29'700'000, "10m"},
        {29'700'001, ""},      {148'000'001, ""},
        {432'100'000, "70cm"}, {0, ""},
        {-14'074'000, ""},     {27'000'000, ""},
        {1'296'000'000, ""},
    };
    const BandPlan plan;
    for (const auto& [hz, band] : cases) EXPECT_EQ(plan.nameOf(hz), band) << hz;
}

TEST(BandPlan, ASettingsListReplacesThePlanAndABadOneKeepsTheDefault) {
    std::string problem;
    const BandPlan own = BandPlan::parse(" 20m:14000-14350 , 4m:70000.5-70500", &problem);
    EXPECT_EQ(problem, "");
    ASSERT_EQ(own.bands().size(), 2u);
    EXPECT_EQ(std::tuple(own.nameOf(70'000'500), own.nameOf(70'000'499)), std::tuple("4m", ""));
    EXPECT_EQ(own.nameOf(7'100'000), "") << "the default bands are gone";
    for (const char* bad : {"20m:14350-14000", "20m:14000", ":1-2", "20m:1x-2", "20m:1.0001-2"}) {
        problem.clear();
        EXPECT_EQ(BandPlan::parse(bad, &problem).bands().size(), BandPlan().bands().size()) << bad;
        EXPECT_NE(problem, "") << bad;
    }
}

// Time on a band adds the steps of one channel's readings on it up to kMaxGapMs;
// SWR counts only with enough power and is kept in hundredths, the median the
// lower one, anything above the top infinite.
TEST(BandStats, CellsFollowTheReadings) {
    const BandPlan plan;
    BandStats stats(plan, 5.0);
    const int64_t t = 1'700'000'000'000;
    const std::tuple<int, int64_t, int64_t, double, double> rows[] = {
        {0, 0, 14'074'000, 1.504, 50},  {0, 1000, 14'074'000, 9.0, 4},   // too little power
        {0, 3000, 14'074'000, 1.2, 10}, {0, 5001, 14'074'000, 30, 10},   // after a gap
        {0, 5500, 7'100'000, 1.1, 10},  {0, 6000, 14'074'000, 1.3, 10},  // back from 40 m
        {0, 6500, 27'000'000, 1.0, 10}, {1, 6000, 14'074'000, NAN, 10},
        {1, 7000, 14'074'000, 1.0, 10},
    };
    for (const auto& [ch, ms, hz, swr, fwd] : rows) stats.add(ch, t + ms, hz, swr, fwd);
    const int b20 = plan.bandOf(14'074'000), b40 = plan.bandOf(7'100'000);
    const BandCell& a = stats.cell(b20, 0);
    EXPECT_EQ((std::vector<double>{double(a.n), double(a.timeMs), a.minSwr, a.maxSwr, a.medianSwr(),
                                   a.meanFwdW(), double(a.lastSeenMs - t)}),
              (std::vector<double>{4, 3000, 1.2, 30, 1.3, 20, 6000}));
    EXPECT_EQ(BandCell::binValue(BandCell::bin(30)), INFINITY);
    EXPECT_EQ(BandCell::binValue(BandCell::bin(1.504)), 1.5);
    // B's and 40 m's: readings, time.
    EXPECT_EQ((std::vector<int64_t>{int64_t(stats.cell(b40, 0).n), stats.cell(b40, 0).timeMs,
                                    int64_t(stats.cell(b20, 1).n), stats.cell(b20, 1).timeMs}),
              (std::vector<int64_t>{1, 0, 1, 1000}));
    const std::string csv = stats.csv();
    EXPECT_EQ(csv.find("\"40m\""), csv.find("\"40m\",\"A\"")) << "bands in plan order, A first";
}

}  // namespace
}  // namespace quellon::rig
