// The fake stands in for the real port and event loop in every other test, so
// it has to keep the real one's delivery rules.

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;
using test::errorOf;

namespace {

struct FakeSerial : ::testing::Test {
    FakePlatform p;
    std::unique_ptr<SerialPort> owned = p.newSerialPort();
    FakeSerialPort& port = *p.lastPort();
    std::vector<int> events;

    void SetUp() override {
        port.setPortNumber(2);
        port.open();
        port.setReceiveHandler([this](int ev) { events.push_back(ev); });
    }
};

}  // namespace

TEST_F(FakeSerial, NotificationComesFromTheLoopWhileTheThresholdIsMet) {
    port.setReceiveThreshold(20);
    port.feed(std::string(19, 'x'));
    p.processEvents();
    EXPECT_TRUE(events.empty());  // below the threshold
    port.feed("y");
    EXPECT_TRUE(events.empty());  // queued, not delivered from inside feed
    p.processEvents();
    p.processEvents();  // nobody read: a real port keeps telling us data waits
    EXPECT_EQ(events, (std::vector<int>{SerialPort::EvReceive, SerialPort::EvReceive}));

    port.setReceiveThreshold(0);  // no more notifications
    p.advance(5);
    EXPECT_EQ(events.size(), 2u);
    port.setReceiveThreshold(5);
    EXPECT_EQ(port.read(), std::string(19, 'x') + "y");  // drained before the loop ran
    p.processEvents();
    EXPECT_EQ(events.size(), 2u);
    port.setReceiveThreshold(0);
    port.feed(std::string(10, 'z'));
    port.setReceiveThreshold(10);  // data already waiting notifies once enabled
    p.processEvents();
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(FakeSerial, RenotifiesWhileAFullFrameWaits) {
    port.setReceiveThreshold(20);
    port.setInputLength(20);
    std::vector<std::string> frames;
    port.setReceiveHandler([&](int) { frames.push_back(port.read()); });
    port.feed(std::string(20, 'a') + std::string(20, 'b') + "ccc");
    p.advance(10);
    EXPECT_EQ(frames, (std::vector<std::string>{std::string(20, 'a'), std::string(20, 'b')}));
    EXPECT_EQ(port.inBufferCount(), 3);
}

TEST_F(FakeSerial, HandlerIsNotReenteredFromItsOwnEventLoop) {
    port.setReceiveThreshold(1);
    int depth = 0, maxDepth = 0, calls = 0;
    port.setReceiveHandler([&](int) {
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        port.feed("more");
        for (int i = 0; i < 5; ++i) p.processEvents();  // a reply loop inside the handler
        port.read();
        --depth;
    });
    port.feed("x");
    p.processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(FakeSerial, HangupQueuesOneEventAndBreaksTheLine) {
    port.feed("abc");
    port.hangup();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(port.isOpen());
    p.advance(5);
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.write(":11\r"); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.inBufferCount(); }), serr::PortError);
    port.open();  // a fresh line
    EXPECT_EQ(port.read(), "");
}

TEST_F(FakeSerial, StateAndPropertyErrorsMatchTheRealPort) {
    EXPECT_EQ(errorOf([&] { port.setPortNumber(3); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port.setPortNumber(2); }), 0);  // unchanged: fine
    EXPECT_EQ(errorOf([&] { port.setSettings("115200,Q,8,1"); }), serr::InvalidPropertyValue);
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_EQ(errorOf([&] { port.open(); }), serr::PortOpenAlready);
    auto other = p.newSerialPort();  // a second open port on one number is in use
    other->setPortNumber(2);
    EXPECT_EQ(errorOf([&] { other->open(); }), serr::PortInUse);

    port.close();
    port.close();  // harmless
    EXPECT_EQ(port.closes(), 1);
    other->open();
    EXPECT_EQ(p.ports(), (std::vector<FakeSerialPort*>{&port, p.lastPort()}));
    other->close();
    EXPECT_EQ(errorOf([&] { port.setPortNumber(0); }), serr::InvalidPortNumber);
    EXPECT_EQ(port.portNumber(), 2);
    port.feed("lost");
    EXPECT_EQ(port.droppedWhileClosed(), 4);
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortNotOpen);
    EXPECT_EQ(errorOf([&] { port.write("x"); }), serr::PortNotOpen);

    port.open();
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.opens(), 2);
}

TEST(FakePorts, DestroyedPortsLeaveThePlatformAndHandlersMayDestroyThem) {
    FakePlatform p;
    p.onNewPort = [](FakeSerialPort& fp) { fp.setReceiveThreshold(1); };
    auto port = p.newSerialPort();
    auto* fake = p.lastPort();
    fake->open();
    port->setReceiveHandler([&](int) { port.reset(); });  // owner unloads in the handler
    fake->feed("x");
    fake->feedAfter(5, "late");  // arrives after the port is gone: ignored
    p.advance(10);
    EXPECT_EQ(port, nullptr);
    EXPECT_TRUE(p.ports().empty());
    EXPECT_EQ(p.lastPort(), nullptr);
    EXPECT_EQ(p.portsCreated, 1);

    FakeSerialPort alone;  // without a platform it is pumped by hand
    alone.open();
    alone.setReceiveThreshold(2);
    alone.feed("ab");
    EXPECT_TRUE(alone.notificationPending());
    int n = 0;
    alone.setReceiveHandler([&](int) { n += !alone.read().empty(); });
    alone.deliverEvents();
    EXPECT_EQ(n, 1);
    EXPECT_FALSE(alone.notificationPending());
}

TEST(FakeClock, SleepAdvancesWithoutEventsAndProcessEventsSteps) {
    FakePlatform p;
    auto t = p.newTimer();
    int ticks = 0;
    t->onTimeout = [&] { ++ticks; };
    t->setInterval(10);
    t->start();
    p.sleep(100);
    EXPECT_EQ(p.now, 1100u);
    EXPECT_EQ(ticks, 0);  // a plain pause runs nothing
    EXPECT_EQ(p.sleeps, std::vector<int>{100});
    p.processEvents();  // overdue: fires once, not ten times
    EXPECT_EQ(ticks, 1);
    p.advance(10);
    EXPECT_EQ(ticks, 2);
    p.pumpStepMs = 0;
    p.processEvents();
    EXPECT_EQ(p.now, 1111u);
    p.advance(3);  // a frozen step still gets there
    EXPECT_EQ(p.now, 1114u);
}

TEST(FakeClock, TimersFireOnScheduleAndStopOrDieInTheirHandler) {
    FakePlatform p;
    auto t = p.newTimer();
    std::vector<uint32_t> at;
    t->onTimeout = [&] {
        at.push_back(p.now);
        if (at.size() == 3) t->stop();
    };
    t->setInterval(0);  // never fires, though active
    t->start();
    p.advance(50);
    EXPECT_TRUE(at.empty());
    EXPECT_TRUE(t->isActive());
    t->setInterval(1000);
    p.advance(4950);
    EXPECT_EQ(at, (std::vector<uint32_t>{2050, 3050, 4050}));
    EXPECT_FALSE(t->isActive());

    t->start();  // restart counts from now
    t->onTimeout = [&] { t.reset(); };
    p.advance(2000);
    EXPECT_EQ(t, nullptr);
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
    p.at(1010, [&] { order.push_back(1); });
    p.after(20, [&] { order.push_back(3); });
    p.after(0, [&] { p.after(0, [&] { order.push_back(4); }); });
    p.advance(1);
    EXPECT_TRUE(order.empty());  // the nested one waits for the next round
    p.advance(30);
    EXPECT_EQ(order, (std::vector<int>{4, 1, 2, 3}));
    EXPECT_EQ(p.scheduledCount(), 0);
    EXPECT_TRUE(p.runUntil([&] { return order.size() == 4; }, 0));
    EXPECT_FALSE(p.runUntil([] { return false; }, 25));
    EXPECT_EQ(p.now, 1056u);

    p.now = 0xFFFFFFF0u;
    p.after(32, [&] { order.push_back(5); });
    p.advance(31);
    EXPECT_EQ(order.size(), 4u);
    p.advance(1);
    EXPECT_EQ(order.size(), 5u);
    EXPECT_EQ(p.now, 0x10u);
}
