#include <gtest/gtest.h>

#include "platform/testing/FakePlatform.h"

using namespace quellon;

namespace {

struct FakeFixture : ::testing::Test {
    FakePlatform p;
    std::unique_ptr<SerialPort> owned = p.newSerialPort();
    FakeSerialPort& port = *p.lastPort();
    std::vector<int> events;

    void SetUp() override {
        port.setPortNumber(2);
        port.setSettings("115200,N,8,1");
        port.open();
        port.setReceiveHandler([this](int ev) { events.push_back(ev); });
    }
};

}  // namespace

using FakeSerial = FakeFixture;

TEST_F(FakeSerial, ReadRespectsInputLength) {
    port.feed("abcdef");
    port.setInputLength(1);
    EXPECT_EQ(port.read(), "a");
    port.setInputLength(3);
    EXPECT_EQ(port.read(), "bcd");
    EXPECT_EQ(port.inBufferCount(), 2);
    port.setInputLength(0);
    EXPECT_EQ(port.read(), "ef");
    EXPECT_EQ(port.read(), "");
}

TEST_F(FakeSerial, NotificationIsQueuedNeverSynchronous) {
    port.setReceiveThreshold(20);
    port.feed(std::string(19, 'x'));
    p.processEvents();
    EXPECT_TRUE(events.empty());  // below the threshold
    port.feed("y");
    EXPECT_TRUE(events.empty());  // queued, not delivered from inside feed
    p.processEvents();
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvReceive});
    // Nobody read: a real port keeps telling us data waits.
    p.processEvents();
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(FakeSerial, RenotifiesWhileAFullFrameWaits) {
    port.setReceiveThreshold(20);
    port.setInputLength(20);
    std::vector<std::string> frames;
    port.setReceiveHandler([&](int ev) {
        ASSERT_EQ(ev, SerialPort::EvReceive);
        frames.push_back(port.read());
    });
    port.feed(std::string(20, 'a') + std::string(20, 'b') + "ccc");
    p.advance(10);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], std::string(20, 'b'));
    EXPECT_EQ(port.inBufferCount(), 3);
}

TEST_F(FakeSerial, ConditionIsCheckedAgainAtDelivery) {
    port.setReceiveThreshold(5);
    port.feed("12345");
    EXPECT_EQ(port.read(), "12345");  // drained before the loop ran
    p.processEvents();
    EXPECT_TRUE(events.empty());
}

TEST_F(FakeSerial, HandlerIsNotReenteredFromItsOwnEventLoop) {
    port.setReceiveThreshold(1);
    int depth = 0, maxDepth = 0, calls = 0;
    port.setReceiveHandler([&](int) {
        ++calls;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        port.feed("more");
        for (int i = 0; i < 5; ++i) p.processEvents();  // a reply loop inside the handler
        port.setInputLength(0);
        port.read();
        --depth;
    });
    port.feed("x");
    p.processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(FakeSerial, ThresholdZeroStopsNotifications) {
    port.setReceiveThreshold(0);
    port.feed(std::string(100, 'x'));
    p.advance(5);
    EXPECT_TRUE(events.empty());
    port.setReceiveThreshold(20);  // data already waiting notifies once enabled
    p.processEvents();
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(FakeSerial, HangupQueuesOneEventAndBreaksTheLine) {
    port.feed("abc");
    port.hangup();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(port.isOpen());
    p.advance(5);
    EXPECT_EQ(events, std::vector<int>{SerialPort::EvHangup});
    for (auto op : {0, 1, 2}) {
        try {
            if (op == 0) port.read();
            if (op == 1) port.write(":11\r");
            if (op == 2) port.inBufferCount();
            ADD_FAILURE() << "no error from op " << op;
        } catch (const SerialError& e) {
            EXPECT_EQ(e.number(), serr::PortError);
        }
    }
    port.open();  // a fresh line
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.read(), "");
}

TEST_F(FakeSerial, ResponderAnswersNowOrLater) {
    port.onWrite = [](const std::string& data, FakeSerialPort& self) {
        if (data == ":10\r") self.feed(":ACK\r");
        if (data == ":16\r") self.feedAfter(50, ":wexlo 1.10\r");
    };
    port.write(":10\r");
    EXPECT_EQ(port.read(), ":ACK\r");
    port.write(":16\r");
    p.advance(49);
    EXPECT_EQ(port.inBufferCount(), 0);
    p.advance(1);
    EXPECT_EQ(port.read(), ":wexlo 1.10\r");
    EXPECT_EQ(port.written(), (std::vector<std::string>{":10\r", ":16\r"}));
    EXPECT_EQ(port.writtenText(), ":10\r:16\r");
}

TEST_F(FakeSerial, ClosedPortRefusesAndDropsData) {
    port.close();
    port.close();  // harmless
    EXPECT_EQ(port.closes(), 1);
    port.feed("lost");
    EXPECT_EQ(port.droppedWhileClosed(), 4);
    try {
        port.read();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::PortNotOpen);
    }
    EXPECT_THROW(port.write("x"), SerialError);
    port.open();
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.opens(), 2);
}

TEST_F(FakeSerial, PropertyErrors) {
    auto number = [](auto&& f) {
        try {
            f();
        } catch (const SerialError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([&] { port.setPortNumber(3); }), serr::PortOpenAlready);
    EXPECT_EQ(number([&] { port.setPortNumber(2); }), 0);  // unchanged: fine
    EXPECT_EQ(number([&] { port.setSettings("115200,Q,8,1"); }), serr::InvalidPropertyValue);
    EXPECT_EQ(port.settings(), "115200,N,8,1");
    EXPECT_EQ(number([&] { port.open(); }), serr::PortOpenAlready);
    port.close();
    EXPECT_EQ(number([&] { port.setPortNumber(0); }), serr::InvalidPortNumber);
    EXPECT_EQ(port.portNumber(), 2);
}

TEST_F(FakeSerial, OpenFailures) {
    port.close();
    port.failNextOpen(SerialError(serr::PortInUse, "Port In Use"));
    EXPECT_THROW(port.open(), SerialError);
    port.open();  // only once
    port.close();

    port.openError = SerialError(serr::InvalidPortNumber, "Invalid port number");
    EXPECT_THROW(port.open(), SerialError);
    EXPECT_THROW(port.open(), SerialError);
    port.openError.reset();

    p.openFailures.emplace(2, SerialError(serr::PortHardwareError, "Port ERROR"));
    EXPECT_THROW(port.open(), SerialError);
    p.openFailures.clear();
    port.open();
    EXPECT_EQ(port.openAttempts(), 7);  // SetUp's and six here
}

TEST_F(FakeSerial, TwoOpenPortsOnOneNumberAreInUse) {
    auto other = p.newSerialPort();
    other->setPortNumber(2);
    try {
        other->open();
        FAIL();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.number(), serr::PortInUse);
    }
    port.close();
    other->open();
    EXPECT_EQ(p.ports().size(), 2u);
    EXPECT_EQ(p.portsCreated, 2);
}

TEST(FakePorts, DestroyedPortsLeaveThePlatformAndHandlersMayDestroyThem) {
    FakePlatform p;
    auto port = p.newSerialPort();
    auto* fake = p.lastPort();
    fake->open();
    fake->setReceiveThreshold(1);
    port->setReceiveHandler([&](int) { port.reset(); });  // owner unloads in the handler
    fake->feed("x");
    fake->feedAfter(5, "late");  // arrives after the port is gone: ignored
    p.advance(10);
    EXPECT_EQ(port, nullptr);
    EXPECT_TRUE(p.ports().empty());
    EXPECT_EQ(p.lastPort(), nullptr);
}

TEST(FakePorts, OnNewPortConfiguresEveryPort) {
    FakePlatform p;
    p.onNewPort = [](FakeSerialPort& fp) {
        fp.onWrite = [](const std::string&, FakeSerialPort& self) { self.feed(":ACK\r"); };
    };
    auto a = p.newSerialPort();
    a->open();
    a->write(":11\r");
    EXPECT_EQ(a->read(), ":ACK\r");
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
    t->setInterval(1000);
    t->setEnabled(true);
    p.advance(5000);
    EXPECT_EQ(at, (std::vector<uint32_t>{2000, 3000, 4000}));
    EXPECT_FALSE(t->isActive());

    t->start();  // restart counts from now
    t->onTimeout = [&] { t.reset(); };
    p.advance(2000);
    EXPECT_EQ(t, nullptr);
    EXPECT_TRUE(p.timers().empty());
}

TEST(FakeClock, ZeroIntervalNeverFires) {
    FakePlatform p;
    auto t = p.newTimer();
    int ticks = 0;
    t->onTimeout = [&] { ++ticks; };
    t->setInterval(0);
    t->start();
    p.advance(50);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(t->isActive());
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

TEST(FakeClock, ScheduledActionsRunInOrder) {
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
}

TEST(FakeClock, TickWrapsLikeA32BitCounter) {
    FakePlatform p;
    p.now = 0xFFFFFFF0u;
    bool ran = false;
    p.after(32, [&] { ran = true; });
    p.advance(31);
    EXPECT_FALSE(ran);
    p.advance(1);
    EXPECT_TRUE(ran);
    EXPECT_EQ(p.now, 0x10u);
}

TEST(FakeDesktop, MessageBoxesBeepsTimeAndEnd) {
    FakePlatform p;
    p.answers = {mb::IdRetry, mb::IdCancel};
    EXPECT_EQ(p.messageBox("a", 5, "T"), mb::IdRetry);
    EXPECT_EQ(p.messageBox("b", 5, "T"), mb::IdCancel);
    EXPECT_EQ(p.messageBox("c", 48, "U"), mb::IdOk);
    ASSERT_EQ(p.messageBoxes.size(), 3u);
    EXPECT_EQ(p.messageBoxes[2].text, "c");
    EXPECT_EQ(p.messageBoxes[2].style, 48);
    EXPECT_EQ(p.messageBoxes[2].title, "U");
    p.beep();
    EXPECT_EQ(p.beeps, 1);
    p.local.millisecond = 250;
    EXPECT_EQ(p.localTime().millisecond, 250);
    try {
        p.endProgram(3);
        FAIL();
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.code, 3);
    }
    EXPECT_EQ(p.endedCode, 3);
}

TEST(FakeStandalone, PortWithoutPlatformIsPumpedByHand) {
    FakeSerialPort port;
    int n = 0;
    port.setReceiveHandler([&](int) {
        ++n;
        port.read();
    });
    port.open();
    port.setReceiveThreshold(2);
    port.feed("ab");
    EXPECT_TRUE(port.notificationPending());
    port.deliverEvents();
    EXPECT_EQ(n, 1);
    EXPECT_FALSE(port.notificationPending());
}
