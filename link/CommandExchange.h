#pragma once
// The command exchange with the bridge on one serial port, without ever
// waiting on the user-interface thread: a step writes a command and returns;
// the port's "bytes arrived" and a Platform timer carry it on, and its outcome
// is handed to a callback. One step at a time; the port's owner passes the
// port's notifications on while a step runs (busy()).
//
// The bridge sees what it always saw: an acknowledged command is read 100 ms
// after it was written and written again, up to three times, when ":ACK" is not
// in that read; a reply line is waited for at most 5000 ms.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/modGlobal.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace quellon {

inline constexpr int kAckPauseMs = 100;  // time the bridge is given to acknowledge
inline constexpr int kAckAttempts = 3;
inline constexpr int kReplyTimeoutMs = 5000;
inline constexpr int kIdentifyTries = 5;
inline constexpr const char* kReplyTimeout = "NAK Timeout";

struct ExchangeResult {
    bool ok = false;    // acknowledged, or a whole reply line came
    std::string reply;  // the line without its CR, or "NAK Timeout"
    // The port failed during the step (could not be opened, the line went away).
    std::optional<SerialError> error;
};

class CommandExchange {
public:
    using Done = std::function<void(const ExchangeResult&)>;
    CommandExchange(SerialPort& port, Platform& p);
    ~CommandExchange();
    CommandExchange(const CommandExchange&) = delete;
    CommandExchange& operator=(const CommandExchange&) = delete;

    // Opens the port when it is closed, drops what it holds, writes cmd and
    // looks for ":ACK" + CR within one read 100 ms later; up to three writes.
    // An empty command is acknowledged at once and writes nothing.
    void sendAck(const std::string& cmd, Done done);
    // Writes cmd (nothing when empty), waits pauseMs, then reads one reply
    // line for at most 5000 ms. Bytes behind the line's CR are kept for the
    // next reply, as if the line had been read one character at a time.
    void sendForReply(const std::string& cmd, int pauseMs, Done done);
    // Writes cmd and collects what comes until it holds text, for at most
    // deadlineMs (the port detection's probe: anything may stand around it).
    // ok when the text came; reply is what was collected.
    void sendForText(const std::string& cmd, const std::string& text, int deadlineMs, Done done);
    bool busy() const { return step_ != Step::Idle; }
    // Ends the step in progress without calling its callback.
    void cancel();

    // The port's notifications, while busy().
    void onBytes();
    void onHangup();

    // Drops what is buffered, on the port and behind the last reply.
    void discardInput();
    // Whether anything came behind the last reply (read or still on the port).
    bool unreadInput();
    // Closes the port; nothing read before reaches a later reply.
    void closePort();

    // What was last read during an exchange: the partial line of a timed-out reply.
    const std::string& rxBuffer() const { return rxBuffer_; }
    SerialPort& port() { return port_; }

private:
    enum class Step { Idle, Ack, ReplyPause, Reply, Text };
    void onTimer();
    void writeAck();
    void readReply();
    // Collects for sendForText; true when the step has ended.
    bool collectText();
    void finish(ExchangeResult r);
    void fail(const SerialError& e);

    SerialPort& port_;
    std::unique_ptr<Timer> timer_;
    Step step_ = Step::Idle;
    Done done_;
    std::string cmd_;
    std::string text_;  // what sendForText waits for
    int attempt_ = 0;
    std::string rxBuffer_;
    std::string pending_;  // read from the port, behind the last reply's CR
};

// Up to five tries of ":16" (each read after a 100 ms pause) until a reply
// starts with ":wexlo". A stream found running (bytes on the line that nobody
// asked for) is stopped with ":10" first. The port is closed afterwards in every
// case. A port error ends the tries with StatusMessage saying what to show (the
// link error after a failed try, the port's own description in the first) and
// the error in the result. done gets ok when the bridge answered.
void identifyBridge(CommandExchange& ex, SessionState& g, CommandExchange::Done done);

inline constexpr const char* kLinkErrorText = "Link error, SWR BRIDGE non found.";

}  // namespace quellon
