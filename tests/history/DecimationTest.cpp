// Each pixel column must show the extremes of every sample it covers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "history/HistoryStore.h"
#include "history/LogHistory.h"

using namespace quellon::history;

namespace {

// Bursty data: mostly small values with rare spikes, gaps, and no-SWR stretches.
std::vector<Sample> randomSamples(std::mt19937& rng, int n, int64_t t0, int maxStepMs) {
    std::uniform_int_distribution<int> step(0, maxStepMs);
    std::uniform_real_distribution<float> val(0, 10);
    std::uniform_int_distribution<int> pct(0, 999);
    std::vector<Sample> out;
    int64_t t = t0;
    for (int i = 0; i < n; ++i) {
        t += step(rng);
        if (pct(rng) == 0) t += 5000;  // a gap
        Sample s;
        s.t = t;
        for (int tr = 0; tr < kTraces; ++tr) s.v[tr] = val(rng) + (pct(rng) < 2 ? 500.0f : 0.0f);
        if (pct(rng) < 50) s.v[Swr] = std::nanf("");
        s.alarm = pct(rng) < 3;
        out.push_back(s);
    }
    return out;
}

// Brute force: the aggregate of every sample whose time falls into the column.
std::vector<Agg> bruteColumns(const std::vector<Sample>& v, const Columns& c) {
    std::vector<Agg> out(static_cast<size_t>(c.width()));
    for (const Sample& s : v)
        if (const int col = c.column(s.t); col >= 0) out[static_cast<size_t>(col)].add(s);
    return out;
}

void expectSame(const Agg& got, const Agg& want, const std::string& where) {
    for (int tr = 0; tr < kTraces; ++tr) {
        ASSERT_EQ(got.n[tr], want.n[tr]) << where << " trace " << tr;
        if (!want.n[tr]) continue;
        ASSERT_EQ(got.mn[tr], want.mn[tr]) << where << " trace " << tr;
        ASSERT_EQ(got.mx[tr], want.mx[tr]) << where << " trace " << tr;
        ASSERT_NEAR(got.sum[tr], want.sum[tr], 1e-6 * std::abs(want.sum[tr]) + 1e-6) << where;
    }
    ASSERT_EQ(got.alarms, want.alarms) << where;
}

void expectColumns(const Columns& c, int ch, const std::vector<Sample>& v) {
    const auto want = bruteColumns(v, c);
    for (int col = 0; col < c.width(); ++col)
        expectSame(c.at(ch, col), want[static_cast<size_t>(col)],
                   "channel " + std::to_string(ch) + " col " + std::to_string(col));
}

}  // namespace

// The log keeps every sample and sums whole blocks: columns of any width,
// placed anywhere, must equal the brute-force aggregate exactly.
TEST(Decimation, LogColumnsEqualBruteForce) {
    std::mt19937 rng(7);
    // Samples, the longest step between them, columns.
    const std::tuple<int, int, int> cases[] = {
        {5000, 3, 700}, {20000, 40, 1000}, {3000, 2000, 50}, {200, 5, 1999}, {1, 0, 3}};
    for (const auto& [samples, maxStepMs, width] : cases) {
        auto a = randomSamples(rng, samples, 1'700'000'000'000, maxStepMs);
        auto b = randomSamples(rng, samples / 2 + 1, 1'700'000'000'000, maxStepMs * 2);
        const LogHistory log(a, b, 3.0, 2.0);
        const int64_t first = log.firstMs(), last = log.lastMs();
        std::uniform_int_distribution<int64_t> pick(first - 100, last + 100);
        for (int q = 0; q < 20; ++q) {
            int64_t t0 = pick(rng), t1 = pick(rng);
            if (q == 0) t0 = first, t1 = last + 1;
            if (t1 < t0) std::swap(t0, t1);
            Columns c(t0, t1 + 1, width);
            log.decimate(c);
            expectColumns(c, 0, a);
            expectColumns(c, 1, b);
        }
    }
}

// The store's full-rate tier is exact; its buckets place all of their samples at
// the bucket's start: every spike still shows, at most one bucket early, and the
// span's totals are exact.
TEST(Decimation, StoreTiersKeepEverySpike) {
    std::mt19937 rng(3);
    HistoryStore store({.rawPerChannel = 1000});  // the raw ring forgets early, the buckets keep it
    auto a = randomSamples(rng, 60000, 1'700'000'000'000, 60);  // about an hour
    for (const Sample& s : a) store.add(0, s);
    const int64_t t1 = store.lastMs() + 1;
    // The span (0: all), columns, the tier that answers and its bucket.
    const std::tuple<int64_t, int, int, int64_t> queries[] = {
        {5000, 700, 0, 1}, {0, 4000, 1, 100}, {0, 300, 2, 1000}};
    for (const auto& [span, width, tier, bucketMs] : queries) {
        const int64_t t0 = span ? t1 - span : store.firstMs() - store.firstMs() % bucketMs;
        Columns c(t0, t1, width);
        ASSERT_EQ(store.tierFor(t0, c.msPerColumn()), tier) << width;
        store.decimate(c);
        std::vector<Sample> moved = a;  // each sample at its bucket's start
        for (Sample& s : moved) s.t -= ((s.t % bucketMs) + bucketMs) % bucketMs;
        expectColumns(c, 0, moved);
        Agg all;
        for (const Sample& s : a)
            if (s.t >= t0) all.add(s);
        EXPECT_EQ(c.total(0).mx[Fwd], all.mx[Fwd]);
        EXPECT_EQ(c.total(0).n[Fwd], all.n[Fwd]);
    }
}

// The store never folds a backwards clock step into the past, and its size
// does not depend on how much went in.
TEST(HistoryStore, ClockStepBackAndBoundedSize) {
    HistoryStore store({.rawPerChannel = 16, .fineSlots = 8, .coarseSlots = 4});
    store.add(1, Sample{.t = 100'000});
    Sample s{.t = 50'000, .v = {7}};  // clock stepped back
    store.add(1, s);
    EXPECT_EQ(store.lastMs(), 100'000);
    Columns c(99'000, 101'000, 10);
    store.decimate(c);
    EXPECT_EQ(c.at(1, 5).mx[Fwd], 7.0f);
    const size_t bytes = store.memoryBytes();
    for (int i = 0; i < 10000; ++i) {
        s.t += 37;
        store.add(i % 2, s);
    }
    EXPECT_EQ(store.memoryBytes(), bytes);
    // Long after, the full-rate ring has forgotten the start; a query there
    // falls to the tier that reaches back furthest.
    EXPECT_EQ(store.tierFor(100'000, 1.0), 2);
}

TEST(HistoryStore, EachChannelTakesItsOwnThresholdFromTheFrames) {
    HistoryStore store;
    quellon::ModGlobal g;
    quellon::ChannelReading rd;
    g.params.MaxSwrA = 250;
    g.params.MaxSwrB = 180;
    for (const char* ch : {"A", "B"}) {
        rd.channel = ch;
        store.onReading(quellon::ReadingEvent{rd, g, 1'700'000'000'000});
    }
    EXPECT_EQ(std::tuple(store.threshold(0), store.threshold(1)), std::tuple(2.5, 1.8));
}

TEST(HistoryStore, DefaultBoundHoldsADayUnder50MB) {
    EXPECT_LT(HistoryStore::memoryBound(HistoryStore::Limits{}), 50u * 1000 * 1000);
}

TEST(SwrFromPowers, Table) {
    const std::tuple<double, double, float> rows[] = {
        {100, 0, 1.0f},   // matched
        {100, 25, 3.0f},  // rho = 1/2
        {49.9, 49.9, kSwrNoMatch},
        {10, 20, kSwrNoMatch},
    };
    for (const auto& [fwd, ref, want] : rows)
        EXPECT_NEAR(swrFromPowers(fwd, ref), want, 1e-3) << fwd << " " << ref;
    EXPECT_TRUE(std::isnan(swrFromPowers(0, 0)) && std::isnan(swrFromPowers(0, 5)));
}
