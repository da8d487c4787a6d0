#include <gtest/gtest.h>

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

// Twice subscribed is once; a repeated link state is not news; unsubscribing from
// inside a call skips nobody else.
TEST(ReadingBus, ListenersHearReadingsAndOnlyRealStateChanges) {
    ReadingBus bus;
    Recorder a, b, c;
    a.during = [&] { bus.unsubscribe(&a), bus.unsubscribe(&b); };
    for (Recorder* r : {&a, &a, &b, &c}) bus.subscribe(r);
    ModGlobal g;
    ChannelReading rd;
    rd.channel = "B";
    rd.swrText = "HIG";
    for (int i = 0; i < 2; ++i) bus.publishLinkState(LinkState::Streaming);
    bus.publishReading(ReadingEvent{rd, g, 0});
    EXPECT_EQ(a.heard, (std::vector<std::string>{"streaming", "B!"}));
    EXPECT_EQ(b.heard, std::vector<std::string>{"streaming"});
    EXPECT_EQ(c.heard, a.heard);
    EXPECT_EQ(bus.listenerCount(), 1u);
    bus.publishReading(ReadingEvent{rd, g, 0});
    EXPECT_EQ(c.heard.size(), 3u);
}

}  // namespace
