// SWR across a band from a history: bins, median and spread, the older span apart
// from the recent one, the CSV.

#include "rig/BandCurve.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>

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

// A bin's median and quartiles interpolate between its sorted readings; too little
// power, another band or another span leave a reading out; the band's top edge is a
// bin of its own; the CSV puts the older span beside the recent one.
TEST(BandCurve, BinsHoldTheMedianAndQuartilesOfTheirReadings) {
    const Band band{"20m", 14'000'000, 14'350'000};
    const int64_t t0 = 1'700'000'000'000, week = 7 * 86'400'000LL, t = t0 + week;
    const Sample rows[] = {
        sample(t0, 14'000'000, 1.8f, 50),  // the older span
        sample(t, 14'000'000, 2.0f, 50),     sample(t + 1, 14'004'999, 1.0f, 50),
        sample(t + 2, 14'001'000, 1.4f, 50), sample(t + 3, 14'002'000, 1.2f, 50),
        sample(t + 4, 14'074'000, 1.6f, 50), sample(t + 5, 14'074'000, 9.0f, 5),
        sample(t + 6, 14'350'000, 3.0f, 50), sample(t + 7, 13'999'999, 9.0f, 50),
    };
    const history::LogHistory log({std::begin(rows), std::end(rows)}, {}, 0, 0);
    const BandCurve c = buildCurve(log, 0, band, 5000, 10, t, t + week);
    ASSERT_EQ(c.bins.size(), 71u);  // 350 kHz in 5 kHz bins, the top edge a bin of its own
    EXPECT_EQ(std::tuple(c.used, c.bins[14].n, c.bins[70].n), std::tuple(6u, 1u, 1u));
    const std::string csv = curvesCsv(c, buildCurve(log, 0, band, 5000, 10, t0, t));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 72);
    EXPECT_NE(csv.find("\r\n\"20m\",14000000,14004999,4,1.300,1.150,1.550,1,1.800,1.800,1.800\r\n"
                       "\"20m\",14005000,14009999,0,,,,0,,,\r\n"),
              std::string::npos)
        << csv.substr(0, 300);
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
