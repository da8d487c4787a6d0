// The same checks against the fake port every other test leans on and the real port
// on a pseudo terminal, so the two cannot drift apart; a driver plays the far end.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "TestUtil.h"
#include "platform/testing/FakePlatform.h"

using namespace quellon;
using test::errorOf;

namespace {

constexpr int kPresentPort = 1;
constexpr int kMissingPort = 2;
// How long "nothing more happens" is watched for. Notifications are posted the
// moment data or a hang-up is seen, so a wrong one shows well within this.
constexpr int kQuietMs = 50;

// The fake: the test's side feeds bytes straight in; time is the fake clock.
class FakeDriver {
public:
    FakeDriver() : owned_(platform_.newSerialPort()), fake_(platform_.lastPort()) {
        platform_.openFailures.emplace(kMissingPort,
                                       SerialError(serr::InvalidPortNumber, "Invalid port number"));
        owned_->setSettings("115200,N,8,1");
    }
    SerialPort& serial() { return *owned_; }
    void arrive(const std::string& bytes) { fake_->feed(bytes); }
    void hangup() { fake_->hangup(); }
    // What reached the far side since the last look, once at least n bytes did
    // (or time ran out).
    std::string farSide(size_t n) {
        platform_.runUntil([&] { return fake_->writtenText().size() >= n; }, test::kPatienceMs);
        std::string got = fake_->writtenText();
        fake_->clearWritten();
        return got;
    }
    bool pumpUntil(const std::function<bool()>& pred) {
        return platform_.runUntil(pred, test::kPatienceMs);
    }
    void pumpFor(int ms) { platform_.advance(ms); }

private:
    FakePlatform platform_;
    std::unique_ptr<SerialPort> owned_;
    FakeSerialPort* fake_;
};

struct PtyDriver : test::Pty {
    SerialPort& serial() { return *port; }
    bool pumpUntil(const std::function<bool()>& pred) { return test::pumpUntil(pred); }
    void pumpFor(int ms) {
        test::pumpUntil([] { return false; }, ms);
    }
};

template <typename Driver>
struct SerialPortContract : ::testing::Test {
    Driver line;
    SerialPort& port = line.serial();
    std::vector<int> events;

    void openWithHandler(std::function<void(int)> extra = {}) {
        port.setPortNumber(kPresentPort);
        port.open();
        port.setReceiveHandler([this, extra](int ev) {
            events.push_back(ev);
            if (extra) extra(ev);
        });
    }
    // Waits until at least n bytes are buffered.
    bool buffered(int n) {
        return line.pumpUntil([&] { return port.inBufferCount() >= n; });
    }
    int receives() const {
        return int(std::count(events.begin(), events.end(), SerialPort::EvReceive));
    }
};

using Drivers = ::testing::Types<FakeDriver, PtyDriver>;
class DriverNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, FakeDriver> ? "Fake" : "Pty";
    }
};
TYPED_TEST_SUITE(SerialPortContract, Drivers, DriverNames);

}  // namespace

TYPED_TEST(SerialPortContract, OpenCloseAndTheCallsThatNeedAnOpenPort) {
    SerialPort& port = this->port;
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortNotOpen);
    EXPECT_EQ(errorOf([&] { port.write(":10\r"); }), serr::PortNotOpen);
    EXPECT_EQ(errorOf([&] { port.inBufferCount(); }), serr::PortNotOpen);
    port.setPortNumber(kPresentPort);
    port.open();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.open(); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port.setPortNumber(kMissingPort); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port.setPortNumber(kPresentPort); }), 0);  // same number: fine
    EXPECT_EQ(port.inBufferCount(), 0);
    port.close();
    EXPECT_FALSE(port.isOpen());
    port.close();  // harmless
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortNotOpen);
    port.open();  // opens again
    EXPECT_TRUE(port.isOpen());
}

TYPED_TEST(SerialPortContract, MissingDeviceAndBadNumbersHaveTheirErrorNumbers) {
    SerialPort& port = this->port;
    port.setPortNumber(kMissingPort);
    EXPECT_EQ(errorOf([&] { port.open(); }), serr::InvalidPortNumber);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.setPortNumber(0); }), serr::InvalidPortNumber);
    EXPECT_EQ(port.portNumber(), kMissingPort);
    EXPECT_EQ(errorOf([&] { port.setSettings("115200,N,8"); }), serr::InvalidPropertyValue);
    EXPECT_EQ(port.settings(), "115200,N,8,1");
}

TYPED_TEST(SerialPortContract, ReceiveNotificationFollowsTheThreshold) {
    struct Row {
        int threshold;
        int bytes;
        int readPerCall;  // what the handler reads each time (its input length)
        int expectedNotifications;
        int leftOver;
    };
    const Row rows[] = {
        {20, 19, 20, 0, 19},  // one byte short
        {20, 20, 20, 1, 0},   // a frame
        {5, 12, 5, 2, 2},     // notified again while enough bytes wait
        {1, 3, 0, 1, 0},      // the handler takes everything at once
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << "threshold " << r.threshold << ", " << r.bytes << " bytes");
        SerialPort& port = this->port;
        this->events.clear();
        this->openWithHandler([&](int ev) {
            if (ev == SerialPort::EvReceive) port.read();
        });
        port.setInputLength(r.readPerCall);
        port.setReceiveThreshold(r.threshold);
        this->line.arrive(std::string(size_t(r.bytes), 'x'));
        if (r.expectedNotifications > 0) {
            EXPECT_TRUE(
                this->line.pumpUntil([&] { return this->receives() >= r.expectedNotifications; }));
        }
        ASSERT_TRUE(this->buffered(r.leftOver));
        this->line.pumpFor(kQuietMs);
        EXPECT_EQ(this->receives(), r.expectedNotifications);
        EXPECT_EQ(port.inBufferCount(), r.leftOver);
        port.setReceiveThreshold(0);
        port.close();
    }
}

TYPED_TEST(SerialPortContract, NotificationComesFromTheLoopAndWhenTheThresholdIsSetLate) {
    SerialPort& port = this->port;
    this->openWithHandler([&](int) { port.read(); });
    port.setInputLength(0);
    this->line.arrive("abcd");
    ASSERT_TRUE(this->buffered(4));
    this->line.pumpFor(kQuietMs);
    EXPECT_EQ(this->receives(), 0);     // no threshold: never notified
    port.setReceiveThreshold(4);        // data already waiting is announced
    EXPECT_TRUE(this->events.empty());  // from the loop, not from inside the call
    EXPECT_TRUE(this->line.pumpUntil([&] { return this->receives() == 1; }));
    EXPECT_EQ(port.inBufferCount(), 0);
}

TYPED_TEST(SerialPortContract, InputLengthCapsEachRead) {
    struct Row {
        int inputLength;
        std::string sent;
        std::vector<std::string> reads;  // until the buffer is empty, then one empty read
    };
    const std::string frames = std::string(20, 'A') + std::string(10, 'B');
    const Row rows[] = {
        {0, "abcdef", {"abcdef"}},
        {4, "abcdef", {"abcd", "ef"}},
        {1, "ab\r", {"a", "b", "\r"}},
        {20, frames, {std::string(20, 'A'), std::string(10, 'B')}},
    };
    SerialPort& port = this->port;
    this->openWithHandler();
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "input length " << r.inputLength);
        port.setInputLength(r.inputLength);
        this->line.arrive(r.sent);
        ASSERT_TRUE(this->buffered(int(r.sent.size())));
        std::vector<std::string> got;
        for (size_t i = 0; i < r.reads.size(); ++i) got.push_back(port.read());
        EXPECT_EQ(got, r.reads);
        EXPECT_EQ(port.inBufferCount(), 0);
        EXPECT_EQ(port.read(), "");
    }
    port.setInputLength(-3);
    EXPECT_EQ(port.inputLength(), 0);
}

TYPED_TEST(SerialPortContract, EveryByteValuePassesInTextAndBinaryModeAndWritesKeepOrder) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    SerialPort& port = this->port;
    this->openWithHandler();
    port.setInputLength(0);
    for (InputMode mode : {InputMode::Text, InputMode::Binary}) {
        SCOPED_TRACE(mode == InputMode::Text ? "text" : "binary");
        port.setInputMode(mode);
        this->line.arrive(all);
        ASSERT_TRUE(this->buffered(int(all.size())));
        EXPECT_EQ(port.read(), all);
        port.write(":16\r");
        port.write("");
        port.write(all);
        EXPECT_EQ(this->line.farSide(all.size() + 4), ":16\r" + all);
    }
}

TYPED_TEST(SerialPortContract, BytesFromBeforeTheOpenAreNotRead) {
    SerialPort& port = this->port;
    this->openWithHandler();
    port.close();
    this->line.arrive("stale");  // while closed
    port.open();
    this->line.pumpFor(kQuietMs);
    EXPECT_EQ(port.inBufferCount(), 0);
    this->line.arrive("new");
    ASSERT_TRUE(this->buffered(3));
    EXPECT_EQ(port.read(), "new");
}

TYPED_TEST(SerialPortContract, HangupIsReportedOnceAndBreaksTheLine) {
    SerialPort& port = this->port;
    this->openWithHandler();
    port.setReceiveThreshold(20);
    this->line.hangup();
    EXPECT_TRUE(this->events.empty());  // from the loop, not from inside the call
    ASSERT_TRUE(this->line.pumpUntil([&] { return !this->events.empty(); }));
    this->line.pumpFor(kQuietMs);
    EXPECT_EQ(this->events, std::vector<int>{SerialPort::EvHangup});
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.write(":10\r"); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.inBufferCount(); }), serr::PortError);
    port.close();  // closing the dead line is harmless
}
