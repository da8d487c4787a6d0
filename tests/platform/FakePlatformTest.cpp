// The fake stands in for the real port and event loop in every other test, so
// it has to keep the real one's delivery rules.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;
using test::errorOf;

// The hang-up itself is in SerialPortContractTest.cpp; here what only the fake adds.
TEST(FakePorts, HangupDropsWaitingDataAndAReopenedLineHoldsItsNumber) {
    FakePlatform p;
    auto owned = p.newSerialPort();
    FakeSerialPort& port = *p.lastPort();
    std::vector<std::string> events;
    port.setPortNumber(2);
    port.open();
    port.setBytesHandler([&] { events.push_back("bytes"); });
    port.setHangupHandler([&] { events.push_back("hangup"); });
    port.feed("abc");
    port.hangup();
    p.advance(5);
    EXPECT_EQ(events, std::vector<std::string>{"hangup"});
    auto other = p.newSerialPort();  // a second open port on one number is in use
    other->setPortNumber(2);
    port.open();
    EXPECT_EQ(port.read(), "");  // a fresh line
    EXPECT_EQ(errorOf([&] { other->open(); }), serr::PortInUse);
}

TEST(FakePorts, PortsAndTimersMayBeDestroyedInTheirHandlers) {
    FakePlatform p;
    auto port = p.newSerialPort();
    auto* fake = p.lastPort();
    fake->open();
    port->setBytesHandler([&] { port.reset(); });  // owner unloads in the handler
    fake->feed("x");
    fake->feedAfter(5, "late");  // arrives after the port is gone: ignored
    auto t = p.newTimer();
    t->onTimeout = [&] { t.reset(); };
    t->setInterval(3);
    t->start();
    p.advance(10);
    EXPECT_EQ(port, nullptr);
    EXPECT_EQ(t, nullptr);
    EXPECT_TRUE(p.ports().empty());
    EXPECT_TRUE(p.timers().empty());
}

TEST(FakeClock, TimerIsNotReenteredFromANestedLoop) {
    FakePlatform p;
    auto t = p.newTimer();
    auto other = p.newTimer();
    int ticks = 0, otherTicks = 0;
    t->onTimeout = [&] {
        ++ticks;
        p.advance(100);  // a wait inside the tick, as the connect sequence does
    };
    other->onTimeout = [&] { ++otherTicks; };
    t->setInterval(1);
    other->setInterval(10);
    t->start();
    other->start();
    p.processEvents();
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(otherTicks, 9);  // other timers go on meanwhile
}

TEST(FakeClock, ScheduledActionsRunInOrderAcrossTheTickWrap) {
    FakePlatform p;
    std::vector<int> order;
    p.after(20, [&] { order.push_back(2); });
    p.at(p.now + 10, [&] { order.push_back(1); });
    p.after(0, [&] { p.after(0, [&] { order.push_back(3); }); });
    p.advance(1);
    EXPECT_TRUE(order.empty());  // the nested one waits for the next round
    p.advance(30);
    EXPECT_EQ(order, (std::vector<int>{3, 1, 2}));
    p.now = 0xFFFFFFF0u;
    p.after(32, [&] { order.push_back(4); });
    p.advance(31);
    EXPECT_EQ(order.size(), 3u);
    p.advance(1);
    EXPECT_EQ(order.size(), 4u);
}
