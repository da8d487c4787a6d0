// The band plan's edges and the per-band statistics against a brute-force
// computation over the same readings.

#include "rig/BandStats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace quellon::rig {
namespace {

TEST(BandPlan, EdgesAreOnTheBandAndTheHertzBesideThemAreNot) {
    const struct {
        int64_t hz;
        const char* band;
    } cases[] = {
        {1'800'000, "160m"}, {1'799'999, ""},       {2'000'000, "160m"},
        {2'000'001, ""},     {3'650'000, "80m"},    {5'351'500, "60m"},
        {5'366'501, ""},     {7'300'000, "40m"},    {10'150'001, ""},
        {14'074'000, "20m"}, {14'350'001, ""},      {18'100'000, "17m"},
        {21'450'000, "15m"}, {24'890'000, "12m"},   {29'700'000, "10m"},
        {29'700'001, ""},    {50'313'000, "6m"},    {144'000'000, "2m"},
        {148'000'001, ""},   {432'100'000, "70cm"}, {0, ""},
        {-14'074'000, ""},   {27'000'000, ""},      {1'296'000'000, ""},
    };
    const BandPlan plan;
    for (const auto& c : cases) EXPECT_EQ(plan.nameOf(c.hz), c.band) << c.hz;
}

TEST(BandPlan, ASettingsListReplacesThePlanAndABadOneKeepsTheDefault) {
    std::string problem;
    const BandPlan own = BandPlan::parse(" 20m:14000-14350 , 4m:70000.5-70500", &problem);
    EXPECT_EQ(problem, "");
    ASSERT_EQ(own.bands().size(), 2u);
    EXPECT_EQ(own.nameOf(70'000'500), "4m");
    EXPECT_EQ(own.nameOf(70'000'499), "");
    EXPECT_EQ(own.nameOf(7'100'000), "") << "the default bands are gone";
    for (const char* bad : {"20m:14350-14000", "20m:14000", ":1-2", "20m:1x-2", "20m:1.0001-2"}) {
        problem.clear();
        EXPECT_EQ(BandPlan::parse(bad, &problem).bands().size(), BandPlan().bands().size()) << bad;
        EXPECT_NE(problem, "") << bad;
    }
}

TEST(BandStats, MatchesABruteForceComputation) {
    const BandPlan plan;
    const double minPower = 5.0;
    BandStats stats(plan, minPower);
    struct R {
        int ch;
        int64_t t, hz;
        double swr, fwd;
    };
    std::vector<R> rs;
    std::mt19937 rng(29);
    const int64_t freqs[] = {0, 1'850'000, 7'100'000, 14'074'000, 14'350'001, 144'300'000};
    int64_t t = 1'700'000'000'000;
    for (int i = 0; i < 20000; ++i) {
        t += std::uniform_int_distribution<int>(0, 3000)(rng) < 2950 ? 2 : 2500;  // some gaps
        R r{static_cast<int>(rng() % 2), t, freqs[(i / 500) % 6],
            1.0 + std::uniform_real_distribution<double>(0, 3)(rng),
            std::uniform_real_distribution<double>(0, 100)(rng)};
        if (i % 97 == 0) r.swr = std::numeric_limits<double>::infinity();
        if (i % 89 == 0) r.swr = 25.0;
        rs.push_back(r);
        stats.add(r.ch, r.t, r.hz, r.swr, r.fwd);
    }
    for (size_t b = 0; b < plan.bands().size(); ++b) {
        for (int ch = 0; ch < 2; ++ch) {
            std::vector<double> swrs, quantized;
            double fwd = 0;
            int64_t time = 0, last = 0, prevT = 0;
            int prevBand = -2;
            for (const R& r : rs) {
                if (r.ch != ch) continue;
                const int band = plan.bandOf(r.hz);
                if (band == static_cast<int>(b) && prevBand == band && r.t - prevT <= 2000)
                    time += r.t - prevT;
                prevT = r.t;
                prevBand = band;
                if (band != static_cast<int>(b) || r.fwd < minPower) continue;
                swrs.push_back(r.swr);
                quantized.push_back(r.swr > 20.005 ? INFINITY : std::round(r.swr * 100) / 100);
                fwd += r.fwd;
                last = r.t;
            }
            const BandCell& c = stats.cell(static_cast<int>(b), ch);
            ASSERT_EQ(c.n, swrs.size()) << plan.bands()[b].name;
            EXPECT_EQ(c.timeMs, time) << plan.bands()[b].name;
            if (swrs.empty()) continue;
            std::sort(swrs.begin(), swrs.end());
            std::sort(quantized.begin(), quantized.end());
            EXPECT_EQ(c.minSwr, swrs.front());
            EXPECT_EQ(c.maxSwr, swrs.back());
            EXPECT_DOUBLE_EQ(c.medianSwr(), quantized[(quantized.size() - 1) / 2]);
            EXPECT_NEAR(c.meanFwdW(), fwd / static_cast<double>(swrs.size()), 1e-9);
            EXPECT_EQ(c.lastSeenMs, last);
        }
    }
    const std::string csv = stats.csv();
    EXPECT_EQ(csv.find("\"40m\""), csv.find("\"40m\",\"A\"")) << "bands in plan order, A first";
}

}  // namespace
}  // namespace quellon::rig
