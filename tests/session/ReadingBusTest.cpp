// The listener list: who hears what, and changes to the list from inside a call.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "session/ReadingBus.h"

using namespace quellon;

namespace {

struct Recorder : ReadingListener {
    std::function<void()> during;
    std::vector<std::string> heard;
    void onReading(const ReadingEvent& e) override {
        heard.push_back(e.reading.channel + (e.alarm() ? "!" : ""));
        if (during) during();
    }
    void onLinkState(LinkState s) override { heard.push_back(linkStateName(s)); }
};

TEST(ReadingBus, ListenersHearReadingsAndOnlyRealStateChanges) {
    ReadingBus bus;
    Recorder a, b;
    bus.subscribe(&a);
    bus.subscribe(&a);  // twice is once
    bus.subscribe(&b);
    ModGlobal g;
    g.reading.channel = "B";
    g.reading.swrText = "HIG";
    bus.publishLinkState(LinkState::Streaming);
    bus.publishLinkState(LinkState::Streaming);
    bus.publishReading(ReadingEvent{g.reading, g, 0});
    EXPECT_EQ(a.heard, (std::vector<std::string>{"streaming", "B!"}));
    EXPECT_EQ(b.heard, a.heard);
}

TEST(ReadingBus, UnsubscribingFromInsideACallSkipsNobodyElse) {
    ReadingBus bus;
    Recorder first, second, third;
    first.during = [&] { bus.unsubscribe(&first), bus.unsubscribe(&second); };
    bus.subscribe(&first);
    bus.subscribe(&second);
    bus.subscribe(&third);
    ModGlobal g;
    g.reading.channel = "A";
    bus.publishReading(ReadingEvent{g.reading, g, 0});
    EXPECT_EQ(first.heard.size(), 1u);
    EXPECT_TRUE(second.heard.empty());
    EXPECT_EQ(third.heard.size(), 1u);
    EXPECT_EQ(bus.listenerCount(), 1u);
    bus.publishReading(ReadingEvent{g.reading, g, 0});
    EXPECT_EQ(third.heard.size(), 2u);
}

}  // namespace
