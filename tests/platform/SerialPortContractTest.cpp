// The same checks against the fake port every other test leans on and the real port
// on a pseudo terminal, so the two cannot drift apart; a driver plays the far end.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

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
    std::vector<std::string> events;  // "bytes" or "hangup", in order
    const std::thread::id loopThread = std::this_thread::get_id();

    // what, told apart from the same call made on another thread than the loop's.
    std::string fromLoop(const std::string& what) const {
        return std::this_thread::get_id() == loopThread ? what : what + " off the loop";
    }
    void openWithHandler(std::function<void()> onBytes = {}) {
        port.setPortNumber(kPresentPort);
        port.open();
        port.setBytesHandler([this, onBytes] {
            events.push_back(fromLoop("bytes"));
            if (onBytes) onBytes();
        });
        port.setHangupHandler([this] { events.push_back(fromLoop("hangup")); });
    }
    // Reads until at least n bytes came (or time ran out).
    std::string readAtLeast(size_t n) {
        std::string got;
        line.pumpUntil([&] { return (got += port.read()).size() >= n; });
        return got;
    }
    int announced() const { return int(std::count(events.begin(), events.end(), "bytes")); }
};

using Drivers = ::testing::Types<FakeDriver, PtyDriver>;
struct DriverNames {
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
    EXPECT_EQ(errorOf([&] { port.hasBytes(); }), serr::PortNotOpen);
    port.setPortNumber(kPresentPort);
    port.open();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.open(); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port.setPortNumber(kMissingPort); }), serr::PortOpenAlready);
    EXPECT_EQ(errorOf([&] { port.setPortNumber(kPresentPort); }), 0);  // same number: fine
    EXPECT_EQ(port.read(), "");
    EXPECT_FALSE(port.hasBytes());
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

TYPED_TEST(SerialPortContract, ArrivalsAreAnnouncedFromTheLoopUntilTheBytesAreLeft) {
    SerialPort& port = this->port;
    bool take = true;
    std::string got;
    this->openWithHandler([&] {
        if (take) got += port.read();
    });
    this->line.arrive(":A1234");
    EXPECT_TRUE(this->events.empty());  // from the loop, not from inside the call
    ASSERT_TRUE(this->line.pumpUntil([&] { return got.size() >= 6; }));
    EXPECT_EQ(got, ":A1234");
    take = false;  // bytes left by the handler are not announced again...
    const int before = this->announced();
    this->line.arrive("x");
    ASSERT_TRUE(this->line.pumpUntil([&] { return this->announced() > before; }));
    this->line.pumpFor(kQuietMs);
    const int afterLeft = this->announced();
    this->line.arrive("y");  // ...until more arrive
    EXPECT_TRUE(this->line.pumpUntil([&] { return this->announced() > afterLeft; }));
    EXPECT_EQ(this->readAtLeast(2), "xy");
}

TYPED_TEST(SerialPortContract, ReadTakesAtMostWhatIsAskedAndEveryByteValuePassesInOrder) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    SerialPort& port = this->port;
    this->openWithHandler();
    this->line.arrive(all);
    ASSERT_TRUE(this->line.pumpUntil([&] { return port.hasBytes(); }));
    std::string got = port.read(1);
    EXPECT_EQ(got, std::string(1, '\0'));
    got += port.read(4);
    EXPECT_EQ(got.size(), 5u);
    got += this->readAtLeast(all.size() - got.size());
    EXPECT_EQ(got, all);
    EXPECT_EQ(port.read(), "");
    port.write(":16\r");
    port.write("");
    port.write(all);
    EXPECT_EQ(this->line.farSide(all.size() + 4), ":16\r" + all);
}

TYPED_TEST(SerialPortContract, BytesFromBeforeTheOpenAreNotRead) {
    SerialPort& port = this->port;
    this->openWithHandler();
    port.close();
    this->line.arrive("stale");  // while closed
    port.open();
    this->line.pumpFor(kQuietMs);
    EXPECT_EQ(port.read(), "");
    this->line.arrive("new");
    EXPECT_EQ(this->readAtLeast(3), "new");
}

TYPED_TEST(SerialPortContract, HangupIsReportedOnceAndBreaksTheLine) {
    SerialPort& port = this->port;
    this->openWithHandler();
    this->line.hangup();
    EXPECT_TRUE(this->events.empty());  // from the loop, not from inside the call
    ASSERT_TRUE(this->line.pumpUntil([&] { return !this->events.empty(); }));
    this->line.pumpFor(kQuietMs);
    EXPECT_EQ(this->events, std::vector<std::string>{"hangup"});
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(errorOf([&] { port.read(); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.write(":10\r"); }), serr::PortError);
    EXPECT_EQ(errorOf([&] { port.hasBytes(); }), serr::PortError);
    port.close();  // closing the dead line is harmless
}
