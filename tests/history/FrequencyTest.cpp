// The rig's frequency and mode in the history: the log's two optional
// columns, the store's samples and buckets, and the one-band filter.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>

#include "history/HistoryStore.h"
#include "history/LogHistory.h"

using namespace quellon::history;

namespace {

const std::string kBase = "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0";

TEST(LogFrequency, RecordsAreReadWithAndWithoutTheFrequencyColumns) {
    const struct {
        std::string tail;
        bool ok;
        int64_t hz;
        const char* mode;
    } cases[] = {
        {"", true, 0, ""},
        {",14074000,\"USB\"", true, 14074000, "USB"},
        {",,\"\"", true, 0, ""},  // the rig not known then
        {",432100000,\"PKTUSB\"", true, 432100000, "PKTUSB"},
        {",14074000", false, 0, ""},      // the mode missing
        {",14074000,USB", false, 0, ""},  // unquoted
        {",-5,\"USB\"", false, 0, ""},
        {",14074000,\"USB\",1", false, 0, ""},
        {",1234567890123,\"USB\"", false, 0, ""},  // more digits than any band
        {",1,\"ABCDEFGHIJKLMNOPQRSTUVWXYZ\"", false, 0, ""},
    };
    for (const auto& c : cases) {
        const std::string line = kBase + c.tail;
        LogRecord r;
        ASSERT_EQ(parseRecord(line.data(), line.data() + line.size(), r), c.ok) << line;
        if (!c.ok) continue;
        EXPECT_EQ(r.hz, c.hz) << line;
        EXPECT_STREQ(r.mode, c.mode) << line;
    }
    const std::string header =
        "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
        "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"";
    for (const std::string& h : {header, header + ",\"FrequencyHz\",\"Mode\""})
        EXPECT_TRUE(isHeader(h.data(), h.data() + h.size())) << h;
    const std::string other = header + ",\"Other\"";
    EXPECT_FALSE(isHeader(other.data(), other.data() + other.size()));
}

Sample at(int64_t t, uint32_t hz, float swr) {
    Sample s;
    s.t = t;
    s.v[Fwd] = 10;
    s.v[Swr] = swr;
    s.hz = hz;
    s.mode = quellon::modeCode("USB");
    return s;
}

TEST(LogFrequency, BucketsKeepTheLatestFrequencyAndTheFilterKeepsOneBand) {
    HistoryStore store;
    const int64_t t0 = 1'700'000'000'000;
    // 20 m, then 40 m, then the rig unknown; one sample every 10 ms.
    const uint32_t hz[] = {14'074'000, 7'030'000, 0};
    for (int i = 0; i < 300; ++i) store.add(0, at(t0 + i * 10, hz[i / 100], i < 100 ? 1.5f : 2.5f));
    Columns all(t0, t0 + 3000, 3);
    store.decimate(all);
    // Nothing known in the last column: no frequency.
    EXPECT_EQ((std::vector<uint32_t>{all.at(0, 0).hz, all.at(0, 1).hz, all.at(0, 2).hz}),
              (std::vector<uint32_t>{14'074'000, 7'030'000, 0}));
    EXPECT_EQ(quellon::modeName(all.at(0, 0).mode), "USB");
    // Both the raw tier and the buckets (a span of a day uses the 1 s tier).
    for (int64_t span : {int64_t(3000), int64_t(86'400'000)}) {
        Columns band(t0, t0 + span, 1);
        band.setBand(14'000'000, 14'350'000);
        store.decimate(band);
        EXPECT_EQ(band.at(0, 0).n[Swr], 100u) << span;
        EXPECT_FLOAT_EQ(band.at(0, 0).mx[Swr], 1.5f) << span;
    }
}

TEST(LogFrequency, TheFilterAppliesToALogSampleBySample) {
    std::vector<Sample> a;
    const int64_t t0 = 1'700'000'000'000;
    for (int i = 0; i < 1000; ++i)
        a.push_back(at(t0 + i, i % 3 == 0 ? 14'074'000 : 7'030'000, i % 3 == 0 ? 1.2f : 3.0f));
    const LogHistory log(a, {}, 0, 0);
    Columns band(t0, t0 + 1000, 1);
    band.setBand(14'000'000, 14'350'000);
    log.decimate(band);
    EXPECT_EQ(band.at(0, 0).n[Swr], 334u);
    EXPECT_FLOAT_EQ(band.at(0, 0).mx[Swr], 1.2f);
}

}  // namespace
