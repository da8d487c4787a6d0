// The silence watchdog on the fake clock: its handler runs exactly the timeout
// after the last kick, and kicks do not touch the timer.

#include <gtest/gtest.h>

#include "platform/Watchdog.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;

TEST(Watchdog, ExpiresTheTimeoutAfterTheLastKick) {
    // Kick times (ms after start), timeout, when the handler must run, the tick at start.
    const std::tuple<std::vector<int>, int, int, uint32_t> rows[] = {
        {{}, 3000, 3000, 1000},                          // nothing arrives at all
        {{2999}, 3000, 5999, 1000},                      // a kick just before the deadline
        {{3000}, 3000, 3000, 1000},                      // too late: the deadline came first
        {{10, 20, 1500, 2999, 4000}, 3000, 7000, 1000},  // a stream that stops
        {{100, 6000}, 5000, 5100, 1000},                 // a gap longer than the timeout
        {{2000}, 5000, 7000, 0xFFFFFFFFu - 1000},        // the tick counter wraps
    };
    for (const auto& [kicks, timeout, expires, start] : rows) {
        FakePlatform p;
        p.pumpStepMs = 1;
        p.now = start;
        auto timer = p.newTimer();
        std::vector<uint32_t> fired;
        Watchdog dog(p, *timer, timeout, [&] {
            fired.push_back(p.now);
            timer->stop();
        });
        const uint32_t t0 = p.now;
        dog.start();
        for (int k : kicks) {
            p.advance(static_cast<int>(t0 + k - p.now));
            if (fired.empty()) dog.kick();
        }
        p.advance(static_cast<int>(t0 + 20000 - p.now));
        ASSERT_EQ(fired.size(), 1u) << expires;
        EXPECT_EQ(fired[0] - t0, static_cast<uint32_t>(expires));
        EXPECT_FALSE(dog.isActive());
    }
}

TEST(Watchdog, KicksLeaveTheTimerAloneStopAndRestart) {
    FakePlatform p;
    auto timer = p.newTimer();
    auto* fake = static_cast<FakeTimer*>(timer.get());
    int fired = 0;
    Watchdog dog(p, *timer, 5000, [&] { ++fired; });  // a handler that leaves it running
    // A kick on a stopped watchdog starts it.
    dog.kick();
    EXPECT_TRUE(dog.isActive());
    const uint32_t due = fake->dueAt();
    for (int i = 0; i < 500; ++i) {  // frames every 3 ms for 1.5 s
        p.advance(3);
        dog.kick();
    }
    EXPECT_EQ(fake->dueAt(), due);  // one deadline check, not one per frame
    EXPECT_EQ(fake->fired(), 0);
    // Stopped from outside: nothing fires, however long; a kick starts it afresh.
    timer->stop();
    p.advance(20000);
    EXPECT_EQ(fired, 0);
    dog.kick();
    p.advance(4999);
    EXPECT_EQ(fired, 0);
    p.advance(1);
    EXPECT_EQ(fired, 1);
    // Left running by the handler, it repeats every whole timeout.
    p.advance(5000);
    EXPECT_EQ(fired, 2);
}
