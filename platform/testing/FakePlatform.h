#pragma once
// In-memory stand-ins for the platform, for unit tests: a serial port whose far
// end is the test, timers driven by a fake clock, and a platform whose message
// boxes answer from a script. Nothing here waits in real time and nothing needs Qt.
//
// Event delivery follows the real event loop: receive notifications, hang-ups,
// timer ticks and scheduled actions run only from FakePlatform::processEvents
// (or advance()), never from inside feed(), read() or write(). A timer whose
// handler is still running does not fire again from a nested processEvents, and
// a port's bytes handler is not re-entered either; both match what the Qt event
// loop does.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace quellon {

// Thrown by FakePlatform::endProgram so that the code under test stops where the
// real program would have ended.
struct ProgramEnded {
    int code = 0;
};

class FakePlatform;

class FakeSerialPort : public SerialPort {
public:
    // A port without a platform delivers its notifications from deliverEvents().
    explicit FakeSerialPort(FakePlatform* platform = nullptr);
    ~FakeSerialPort() override;
    FakeSerialPort(const FakeSerialPort&) = delete;
    FakeSerialPort& operator=(const FakeSerialPort&) = delete;

    // --- SerialPort ---
    // Changing the number while open throws 8000; n < 1 throws 8002.
    void setPortNumber(int n) override;
    int portNumber() const override { return portNumber_; }
    void setSettings(const std::string& settings) override;  // validated like the real port
    std::string settings() const override { return settings_; }
    // Fails with failNextOpen's error (once), then openError, then the platform's
    // openFailures entry for the port number, then 8005 when another port of the
    // same platform holds the same number (FakePlatform::exclusivePorts).
    // Opening empties the receive buffer, as a freshly opened device has nothing.
    void open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    // Records the data, then calls onWrite (synchronously: the responder may feed
    // an answer at once or schedule one on the platform).
    void write(const std::string& data) override;
    std::string read(size_t max = kAll) override;
    bool hasBytes() override;
    void setBytesHandler(std::function<void()> handler) override { onBytes_ = std::move(handler); }
    void setHangupHandler(std::function<void()> handler) override {
        onHangup_ = std::move(handler);
    }

    // --- the test's side ---
    // Data arriving from the line. Dropped while the port is closed (counted).
    void feed(const std::string& bytes);
    // feed(bytes) ms later, through the platform's scheduler; harmless if the
    // port is gone by then. Needs a platform.
    void feedAfter(int ms, const std::string& bytes);
    // The line went away: read/write throw SerialError(8020) from now on, the
    // port counts as closed, and one hang-up notification is queued. open()
    // starts afresh.
    void hangup();
    // Makes the next open() throw this error (once).
    void failNextOpen(SerialError e) { nextOpenError_ = std::move(e); }
    // Makes every open() throw this error while set.
    std::optional<SerialError> openError;
    // Answers what the program writes.
    std::function<void(const std::string& data, FakeSerialPort&)> onWrite;

    const std::vector<std::string>& written() const { return written_; }
    std::string writtenText() const;  // all writes joined
    void clearWritten() { written_.clear(); }
    const std::string& buffered() const { return rx_; }
    bool hungUp() const { return hungUp_; }
    int opens() const { return opens_; }    // successful opens
    int closes() const { return closes_; }  // close() calls on an open port
    int openAttempts() const { return openAttempts_; }
    int droppedWhileClosed() const { return dropped_; }
    int notificationsDelivered() const { return delivered_; }
    bool notificationPending() const { return receivePending_ || hangupPending_; }
    uint64_t id() const { return id_; }
    FakePlatform* platform() const { return platform_; }

    // Delivers the queued notifications (receive, then hang-up). The platform
    // calls this from processEvents; a port without platform is pumped by hand.
    void deliverEvents();

private:
    friend class FakePlatform;
    void checkUsable(const char* what) const;

    FakePlatform* platform_;
    uint64_t id_;
    int portNumber_ = 1;
    std::string settings_ = "9600,N,8,1";
    bool open_ = false;
    bool hungUp_ = false;
    std::string rx_;
    std::vector<std::string> written_;
    std::function<void()> onBytes_;
    std::function<void()> onHangup_;
    std::optional<SerialError> nextOpenError_;
    bool receivePending_ = false;
    bool hangupPending_ = false;
    bool inHandler_ = false;
    int opens_ = 0, closes_ = 0, openAttempts_ = 0, dropped_ = 0, delivered_ = 0;
};

class FakeTimer : public Timer {
public:
    explicit FakeTimer(FakePlatform& platform);
    ~FakeTimer() override;
    FakeTimer(const FakeTimer&) = delete;
    FakeTimer& operator=(const FakeTimer&) = delete;

    // Restarts a running timer, like QTimer. An interval of 0 never fires.
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void start() override;
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    uint32_t dueAt() const { return due_; }
    int fired() const { return fired_; }
    uint64_t id() const { return id_; }

private:
    friend class FakePlatform;
    FakePlatform& platform_;
    uint64_t id_;
    int interval_ = 0;
    bool active_ = false;
    bool running_ = false;  // onTimeout in progress
    uint32_t due_ = 0;
    int fired_ = 0;
};

struct MessageBoxCall {
    std::string text;
    int style = 0;
    std::string title;
    bool modeless = false;
};

// A modeless box of the fake platform; open until the program closes it or the
// test answers it (FakePlatform::answerMessage).
struct FakeMessage {
    std::string text;
    int style = 0;
    bool open = true;
    bool closedByProgram = false;
    int raises = 0;  // brought to the front again by the program
};

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // --- Platform ---
    uint32_t tickCount() override { return now; }
    int messageBox(const std::string& text, int style, const std::string& title) override;
    std::unique_ptr<ShownMessage> showMessage(const std::string& text, int style,
                                              const std::string& title) override;
    void beep() override { ++beeps; }
    LocalTime localTime() override { return local; }
    int64_t epochMs() override { return epoch; }
    std::unique_ptr<SerialPort> newSerialPort() override;
    std::unique_ptr<Timer> newTimer() override;
    [[noreturn]] void endProgram(int code = 0) override;

    // --- the clock and the event loop ---
    uint32_t now = 1000;
    // One pass of the fake event loop: moves the clock by pumpStepMs, then runs
    // the due scheduled actions, the ports' notifications and the due timers.
    void processEvents();
    int pumpStepMs = 1;  // how far one processEvents moves the clock
    // Runs processEvents until the clock has moved ms forward.
    void advance(int ms);
    // Runs processEvents until pred() holds or maxMs have passed; returns pred().
    bool runUntil(const std::function<bool()>& pred, int maxMs);
    // Runs fn from processEvents once the clock reaches tickMs (or after ms).
    void at(uint32_t tickMs, std::function<void()> fn);
    void after(int ms, std::function<void()> fn);
    int scheduledCount() const { return static_cast<int>(actions_.size()); }

    // Called at the start of every processEvents (after the clock moved), e.g. to
    // press a button between two steps of the code under test.
    std::function<void()> onProcessEvents;
    int processEventsCalls = 0;

    // --- message boxes ---
    std::vector<MessageBoxCall> messageBoxes;
    std::deque<int> answers;  // taken in order; then defaultAnswer
    int defaultAnswer = mb::IdOk;
    // Runs while a box is up (before it is answered), as the modal loop would
    // run events meanwhile.
    std::function<void(const MessageBoxCall&)> whileMessageBoxShown;
    int beeps = 0;
    // Every modeless box shown, oldest first (they stay listed once closed).
    std::vector<std::shared_ptr<FakeMessage>> shownMessages;
    // Texts of the modeless boxes open now.
    std::vector<std::string> openMessages() const;
    // The user dismisses the open modeless box with this text; false if none is open.
    bool answerMessage(const std::string& text);
    LocalTime local{2024, 1, 1, 12, 0, 0, 0};
    int64_t epoch = 1704110400000;  // 2024-01-01 12:00:00 UTC

    // --- ports ---
    // Live ports made by newSerialPort (and registered standalone ones), oldest first.
    std::vector<FakeSerialPort*> ports() const;
    FakeSerialPort* lastPort() const;  // newest live port or nullptr
    FakeSerialPort* portById(uint64_t id) const;
    int portsCreated = 0;
    // Called for every port newSerialPort makes, before the caller gets it.
    std::function<void(FakeSerialPort&)> onNewPort;
    // open() of a port with this number fails with the error (e.g. 8002 missing).
    std::map<int, SerialError> openFailures;
    // Two open ports on one number: the second open throws 8005, as on a real line.
    bool exclusivePorts = true;

    // --- timers ---
    std::vector<FakeTimer*> timers() const;

    // --- end of program ---
    std::optional<int> endedCode;

private:
    friend class FakeSerialPort;
    friend class FakeTimer;
    struct Action {
        uint32_t due;
        uint64_t seq;
        std::function<void()> fn;
    };
    uint64_t nextId() { return ++idCounter_; }
    void registerPort(FakeSerialPort* p) { ports_[p->id()] = p; }
    void unregisterPort(FakeSerialPort* p) { ports_.erase(p->id()); }
    void registerTimer(FakeTimer* t) { timers_[t->id()] = t; }
    void unregisterTimer(FakeTimer* t) { timers_.erase(t->id()); }

    uint64_t idCounter_ = 0;
    uint64_t actionSeq_ = 0;
    std::map<uint64_t, FakeSerialPort*> ports_;  // id order = creation order
    std::map<uint64_t, FakeTimer*> timers_;
    std::vector<Action> actions_;
};

// Wrap-safe "tick a is at or after tick b" for 32-bit tick counts.
inline bool tickReached(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) >= 0; }

}  // namespace quellon
