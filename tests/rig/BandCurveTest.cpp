// SWR across a band from a history: bins, median and spread against a sort of
// each bin's values, the older span apart from the recent one, the CSV.

#include "rig/BandCurve.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "history/LogHistory.h"

namespace quellon::rig {
namespace {

using history::Sample;

history::Sample sample(int64_t t, uint32_t hz, float swr, float fwd) {
    Sample s;
    s.t = t;
    s.hz = hz;
    s.v[history::Fwd] = fwd;
    s.v[history::Swr] = swr;
    return s;
}

TEST(BandCurve, BinsHoldTheMedianAndQuartilesOfTheirReadings) {
    const Band band{"20m", 14'000'000, 14'350'000};
    std::mt19937 rng(4);
    std::vector<Sample> a;
    std::map<int64_t, std::vector<float>> recent;  // bin -> values in the recent span
    const int64_t t0 = 1'700'000'000'000, week = 7 * 86'400'000LL;
    for (int i = 0; i < 5000; ++i) {
        const bool old = i % 2 == 0;
        const int64_t t = t0 + (old ? 0 : week) + i;
        const uint32_t hz = 13'990'000 + static_cast<uint32_t>(rng() % 380'000);
        const float swr = 1.0f + static_cast<float>(rng() % 300) / 100.0f + (old ? 0.5f : 0.0f);
        const float fwd = static_cast<float>(rng() % 100);
        a.push_back(sample(t, hz, swr, fwd));
        if (!old && band.contains(hz) && fwd >= 10) recent[(hz - band.lowHz) / 5000].push_back(swr);
    }
    const history::LogHistory log(a, {}, 0, 0);
    const BandCurve c = buildCurve(log, 0, band, 5000, 10, t0 + week, t0 + 2 * week);
    ASSERT_EQ(c.bins.size(), 71u);  // 350 kHz in 5 kHz bins, the top edge a bin of its own
    uint64_t used = 0;
    for (size_t i = 0; i < c.bins.size(); ++i) {
        std::vector<float> v = recent[static_cast<int64_t>(i)];
        ASSERT_EQ(c.bins[i].n, v.size()) << i;
        used += v.size();
        if (v.empty()) {
            EXPECT_TRUE(std::isnan(c.bins[i].median));
            continue;
        }
        std::sort(v.begin(), v.end());
        const double mid = (v.size() - 1) / 2.0;
        EXPECT_NEAR(c.bins[i].median, (v[size_t(std::floor(mid))] + v[size_t(std::ceil(mid))]) / 2,
                    1e-5)
            << i;
        EXPECT_LE(c.bins[i].p25, c.bins[i].median);
        EXPECT_GE(c.bins[i].p75, c.bins[i].median);
    }
    EXPECT_EQ(c.used, used);
    // The older span: every SWR was half a point higher.
    const BandCurve older = buildCurve(log, 0, band, 5000, 10, t0, t0 + week);
    double drift = 0;
    int bins = 0;
    for (size_t i = 0; i < c.bins.size(); ++i)
        if (c.bins[i].n > 20 && older.bins[i].n > 20)
            drift += older.bins[i].median - c.bins[i].median, ++bins;
    ASSERT_GT(bins, 10);
    EXPECT_NEAR(drift / bins, 0.5, 0.2);
    const std::string csv = curvesCsv(c, older);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 72);
    EXPECT_EQ(csv.substr(csv.find("\r\n") + 2, 24), "\"20m\",14000000,14004999,");
}

TEST(BandCurve, AFileIsWrittenWholeOrNotAtAll) {
    const QTemporaryDir tmp;
    const std::filesystem::path dir = tmp.path().toStdString();
    const std::string good = (dir / "curve.csv").string();
    EXPECT_EQ(writeFileWhole(good, "x\r\n"), "");
    std::ifstream in(good);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x\r\n");
    const std::string bad = (dir / "no-such-dir" / "curve.csv").string();
    EXPECT_NE(writeFileWhole(bad, "x"), "");
}

}  // namespace
}  // namespace quellon::rig
