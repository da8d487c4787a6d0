// The alarm condition as a table: each case is a run of samples (and clock
// advances without a sample) and the edges it must give, written "A+300" for
// channel A's start decided at 300 ms and "B-900" for B's end at 900 ms.

#include <gtest/gtest.h>

#include "alarm/AlarmMonitor.h"

using namespace quellon;
using namespace quellon::alarm;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Step {
    int64_t t;
    int ch;  // -1: advance the clock only
    double swr = 0, fwdW = 0, threshold = 3.0;
};

// A sample of channel A or B (forward power 50 W, threshold 3.0 unless given), or
// only the clock moving on.
Step A(int64_t t, double swr, double fwd = 50, double thr = 3.0) { return {t, 0, swr, fwd, thr}; }
Step B(int64_t t, double swr, double fwd = 50, double thr = 3.0) { return {t, 1, swr, fwd, thr}; }
Step Tick(int64_t t) { return {t, -1}; }

std::string edges(const std::vector<AlarmEvent>& evs) {
    std::string out;
    for (const AlarmEvent& e : evs)
        out += std::string(out.empty() ? "" : " ") + e.channelName() +
               (e.edge == AlarmEdge::Start ? "+" : "-") + std::to_string(e.atMs);
    return out;
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* expect;
};

// Hold 300 ms, minimum 1 W, threshold 3.0 unless a step says otherwise.
const Case kCases[] = {
    {"a break in the high run restarts the hold",
     {A(0, 3.5), A(200, 2.0), A(250, 3.5), A(500, 3.5), A(550, 3.5)},
     "A+550"},
    {"the hold runs out with no new frame", {A(1000, 3.5), Tick(1299), Tick(1300)}, "A+1300"},
    {"equal to the threshold is not above (as the displays' float compare)",
     {A(0, 3.0), A(400, 3.0), B(0, 3.1, 50, 3.1), B(400, 3.1, 50, 3.1)},
     ""},
    {"reflected at or above forward counts as above any threshold",
     {A(0, kInf, 50, 9.99), A(300, kInf, 50, 9.99)},
     "A+300"},
    {"below the minimum forward power never alarms",
     {A(0, 5.0, 0.9), A(400, 5.0, 0.9), Tick(800)},
     ""},
    {"exactly the minimum forward power alarms", {A(0, 5.0, 1.0), A(300, 5.0, 1.0)}, "A+300"},
    {"end needs the hold time below (hysteresis in time)",
     {A(0, 4), A(300, 4), A(400, 2), A(600, 4), A(700, 2), A(999, 2), A(1000, 2)},
     "A+300 A-1000"},
    {"unkeying ends the alarm after the hold time",
     {A(0, 4), A(300, 4), A(400, 0, 0), Tick(700)},
     "A+300 A-700"},
    {"both channels are independent",
     {A(0, 4), B(5, 2), B(150, 4), A(300, 4), B(310, 4), B(450, 4), A(460, 1.5), Tick(760)},
     "A+300 B+450 A-760"},
    {"a threshold of 0 (channel off) never alarms", {B(0, 9, 50, 0), B(1000, 9, 50, 0)}, ""},
    {"switching the channel off ends its alarm at once",
     {B(0, 4), B(300, 4), B(320, 4, 50, 0)},
     "B+300 B-320"},
    {"a clock stepping back restarts the hold instead of firing early",
     {A(5000, 4), A(100, 4), A(399, 4), A(400, 4)},
     "A+400"},
    {"clock values near zero and negative are ordinary times", {A(-300, 4), A(0, 4)}, "A+0"},
};

TEST(AlarmCondition, Table) {
    for (const Case& c : kCases) {
        AlarmCondition cond;
        std::vector<AlarmEvent> all;
        for (const Step& s : c.steps) {
            auto evs =
                s.ch < 0 ? cond.advance(s.t) : cond.update({s.ch, s.swr, s.fwdW, s.threshold, s.t});
            all.insert(all.end(), evs.begin(), evs.end());
        }
        EXPECT_EQ(edges(all), c.expect) << c.name;
    }
}

TEST(AlarmCondition, EventsCarryThePeaksAndTheThreshold) {
    AlarmCondition cond({100, 5.0});
    cond.update({0, 3.2, 40, 3.0, 0});
    cond.update({0, 4.6, 80, 3.0, 50});
    auto start = cond.update({0, 3.4, 60, 3.0, 100});
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ((std::vector<double>{double(start[0].sinceMs), start[0].swr, start[0].peakSwr,
                                   start[0].peakForwardW, start[0].threshold}),
              (std::vector<double>{0, 3.4, 4.6, 80, 3.0}));
    EXPECT_EQ(cond.nextDueMs(), std::nullopt);
    cond.update({0, 1.2, 60, 3.0, 150});
    EXPECT_EQ(cond.nextDueMs(), 250);
    cond.update({0, 5.1, 90, 3.0, 160});  // still in alarm: a new peak
    auto end = cond.reset(170);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].cause, EndCause::LinkLost);
    EXPECT_DOUBLE_EQ(end[0].peakSwr, 5.1);
    EXPECT_FALSE(cond.active(0));
    // A new alarm starts its peaks afresh.
    cond.update({0, 3.3, 20, 3.0, 200});
    EXPECT_DOUBLE_EQ(cond.update({0, 3.3, 20, 3.0, 300})[0].peakSwr, 3.3);
}

struct Heard : AlarmSubscriber {
    std::vector<std::string> edges;
    std::function<void()> during;
    void onAlarm(const AlarmEvent& e, int64_t epochMs) override {
        edges.push_back(std::string(e.channelName()) + (e.edge == AlarmEdge::Start ? "+" : "-") +
                        std::to_string(e.atMs) + "@" + std::to_string(epochMs));
        if (during) during();
    }
};

// The monitor reads the frame as the displays do and ends alarms with the link.
TEST(AlarmMonitor, FramesBecomeSamplesAndTheLinkEndsAlarms) {
    int64_t now = 7;
    AlarmMonitor mon(
        {300, 1.0}, [&] { return now; }, [&] { return now + 1000; });
    Heard h, quitter;
    quitter.during = [&] { mon.unsubscribe(&quitter); };
    mon.subscribe(&h);
    mon.subscribe(&quitter);
    ModGlobal g;
    ChannelReading rd;
    std::tie(g.params.MaxSwrA, g.params.MaxSwrB) = std::tuple(300, 0);
    auto frame = [&](const char* ch, SwrKind kind, float swr, int16_t fwdTenths) {
        std::tie(rd.channel, rd.swrKind, rd.swrValue, rd.pwrDirMax) =
            std::tuple(ch, kind, swr, fwdTenths);
        mon.onReading(ReadingEvent{rd, g, 0});
    };
    frame("A", SwrKind::High, 3.4f, 10);  // 1.0 W: the minimum
    now = 200;
    frame("B", SwrKind::High, 6.0f, 500);  // channel B off
    now = 307;
    mon.poll();
    now = 400;
    mon.onLinkState(LinkState::Lost);
    EXPECT_EQ(h.edges, (std::vector<std::string>{"A+307@1307", "A-400@1400"}));
    EXPECT_EQ(quitter.edges.size(), 1u);

    // The decoder's kinds as SWR numbers.
    g.params.MaxSwrB = 999;
    rd.channel = "B";
    const std::pair<SwrKind, double> kinds[] = {{SwrKind::NoPower, 0},
                                                {SwrKind::NoReflection, 1},
                                                {SwrKind::Value, 2.5},
                                                {SwrKind::High, kInf}};
    for (auto [kind, swr] : kinds) {
        rd.swrKind = kind;
        rd.swrValue = kind == SwrKind::High ? 6.0f : 2.5f;
        const AlarmSample s = sampleOf(ReadingEvent{rd, g, 0});
        EXPECT_DOUBLE_EQ(s.threshold, 9.99);
        EXPECT_EQ(std::tuple(s.channel, s.swr), std::tuple(1, swr)) << static_cast<int>(kind);
    }
}

}  // namespace
