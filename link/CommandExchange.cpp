#include "link/CommandExchange.h"

#include <exception>
#include <utility>

#include "link/Protocol.h"
#include "platform/OpenPort.h"

namespace quellon {

namespace {
// A port that keeps sending while a text is waited for does not grow the
// buffer without bound; the tail kept is longer than any text waited for.
constexpr size_t kCollectLimit = 4096;
constexpr size_t kCollectKeep = 256;
}  // namespace

CommandExchange::CommandExchange(SerialPort& port, Platform& p)
    : port_(port), timer_(p.newTimer()) {
    timer_->onTimeout = [this] { onTimer(); };
}

CommandExchange::~CommandExchange() { timer_->stop(); }

void CommandExchange::cancel() {
    timer_->stop();
    step_ = Step::Idle;
    done_ = {};
}

void CommandExchange::discardInput() {
    pending_.clear();
    rxBuffer_.clear();
    if (port_.isOpen()) port_.read();
}

bool CommandExchange::unreadInput() { return !pending_.empty() || port_.hasBytes(); }

void CommandExchange::closePort() {
    pending_.clear();
    port_.close();
}

void CommandExchange::finish(ExchangeResult r) {
    timer_->stop();
    step_ = Step::Idle;
    // The callback may begin the next step at once.
    Done done = std::exchange(done_, {});
    if (done) done(r);
}

void CommandExchange::fail(const SerialError& e) {
    ExchangeResult r;
    r.reply = kReplyTimeout;
    r.error = e;
    finish(std::move(r));
}

void CommandExchange::sendAck(const std::string& cmd, Done done) {
    cancel();
    done_ = std::move(done);
    if (cmd.empty()) return finish({true, {}, {}});
    cmd_ = cmd;
    attempt_ = 0;
    step_ = Step::Ack;
    try {
        if (!port_.isOpen()) port_.open();
        discardInput();  // whatever was still buffered (frame tails)
    } catch (const SerialError& e) {
        return fail(e);
    }
    writeAck();
}

void CommandExchange::writeAck() {
    try {
        port_.write(cmd_);
    } catch (const SerialError& e) {
        return fail(e);
    }
    ++attempt_;
    timer_->setInterval(kAckPauseMs);
    timer_->start();
}

void CommandExchange::sendForReply(const std::string& cmd, int pauseMs, Done done) {
    cancel();
    done_ = std::move(done);
    rxBuffer_.clear();
    try {
        if (!cmd.empty()) port_.write(cmd);
    } catch (const SerialError& e) {
        return fail(e);
    }
    if (pauseMs > 0) {
        step_ = Step::ReplyPause;
        timer_->setInterval(pauseMs);
        timer_->start();
        return;
    }
    step_ = Step::Reply;
    timer_->setInterval(kReplyTimeoutMs);
    timer_->start();
    readReply();
}

void CommandExchange::sendForText(const std::string& cmd, const std::string& text, int deadlineMs,
                                  Done done) {
    cancel();
    done_ = std::move(done);
    rxBuffer_.clear();
    pending_.clear();
    text_ = text;
    step_ = Step::Text;
    try {
        port_.write(cmd);
    } catch (const SerialError& e) {
        return fail(e);
    }
    timer_->setInterval(deadlineMs);
    timer_->start();
    collectText();
}

bool CommandExchange::collectText() {
    try {
        rxBuffer_ += port_.read();
    } catch (const SerialError& e) {
        fail(e);
        return true;
    }
    if (rxBuffer_.size() > kCollectLimit) rxBuffer_.erase(0, rxBuffer_.size() - kCollectKeep);
    if (rxBuffer_.find(text_) == std::string::npos) return false;
    finish({true, rxBuffer_, {}});
    return true;
}

void CommandExchange::onTimer() {
    timer_->stop();
    switch (step_) {
        case Step::Idle: return;
        case Step::Ack: {
            try {
                rxBuffer_ = port_.read();
            } catch (const SerialError& e) {
                return fail(e);
            }
            // The acknowledgement may stand behind other bytes, but it has to
            // lie within this one read.
            if (rxBuffer_.find(protocol::kAck) != std::string::npos)
                return finish({true, rxBuffer_, {}});
            if (attempt_ < kAckAttempts) return writeAck();
            return finish({false, rxBuffer_, {}});
        }
        case Step::ReplyPause:
            step_ = Step::Reply;
            timer_->setInterval(kReplyTimeoutMs);
            timer_->start();
            return readReply();
        case Step::Reply: return finish({false, kReplyTimeout, {}});
        case Step::Text:
            // What came just before the deadline still counts.
            if (!collectText()) finish({false, rxBuffer_, {}});
            return;
    }
}

void CommandExchange::onBytes() {
    // An acknowledgement is read when its pause is over, not when it comes.
    if (step_ == Step::Reply) readReply();
    if (step_ == Step::Text) collectText();
}

void CommandExchange::onHangup() {
    if (!busy()) return;
    try {
        // Reading a line that went away says why, in the port's own words.
        port_.read();
    } catch (const SerialError& e) {
        return fail(e);
    }
    fail(SerialError(serr::PortError, "Port ERROR"));
}

void CommandExchange::readReply() {
    try {
        if (pending_.empty()) pending_ = port_.read();
    } catch (const SerialError& e) {
        return fail(e);
    }
    const size_t cr = pending_.find('\r');
    if (cr == std::string::npos) {
        rxBuffer_ += pending_;
        pending_.clear();
        return;
    }
    rxBuffer_.append(pending_, 0, cr);
    pending_.erase(0, cr + 1);
    finish({true, rxBuffer_, {}});
}

namespace {

// The identification's tries, alive until the last callback has run.
struct Identification : std::enable_shared_from_this<Identification> {
    Identification(CommandExchange& ex, SessionState& g, CommandExchange::Done done)
        : ex(ex), g(g), done(std::move(done)) {}
    CommandExchange& ex;
    SessionState& g;
    CommandExchange::Done done;
    int tries = 0;
    bool streamStopped = false;

    void begin() {
        try {
            if (!ex.port().isOpen()) ex.port().open();
            ex.discardInput();
        } catch (const SerialError& e) {
            return failed(e);
        }
        tryOnce();
    }
    void tryOnce() {
        ++tries;
        auto self = shared_from_this();
        ex.sendForReply(protocol::kIdentify, kAckPauseMs, [self](const ExchangeResult& r) {
            if (r.error) return self->failed(*r.error);
            // A bridge sends nothing behind its reply unless its stream still
            // runs: a program ended without stopping it (a crash, a kill). Its
            // frames would be read as the replies that follow (a frame that
            // lands first fails the second identification; a frame's start
            // passes for the scale reply and gives wrong scales). Stop it, once.
            bool unread = false;
            try {
                unread = !self->streamStopped && self->ex.unreadInput();
            } catch (const SerialError& e) {
                return self->failed(e);
            }
            if (!unread) return self->judge(r.reply);
            self->streamStopped = true;
            const std::string reply = r.reply;
            self->ex.sendAck(protocol::kStreamStop, [self, reply](const ExchangeResult& stop) {
                if (stop.error) return self->failed(*stop.error);
                self->judge(reply);
            });
        });
    }
    void judge(const std::string& reply) {
        if (protocol::isBridgeReply(reply)) return end({true, reply, {}});
        try {
            ex.discardInput();
        } catch (const SerialError& e) {
            return failed(e);
        }
        g.StatusMessage = kLinkErrorText;
        if (tries < kIdentifyTries) return tryOnce();
        end({false, reply, {}});
    }
    void failed(const SerialError& e) {
        // A port error ends the connect sequence with the status of this
        // moment: after a failed try that is the link error; in the first try
        // nothing has been said yet about this port, so say what the port reports.
        if (g.StatusMessage != kLinkErrorText)
            g.StatusMessage = portFailureText(g.PortNumber, e.description());
        end({false, kReplyTimeout, e});
    }
    void end(const ExchangeResult& r) {
        ex.closePort();
        if (done) done(r);
    }
};

}  // namespace

void identifyBridge(CommandExchange& ex, SessionState& g, CommandExchange::Done done) {
    std::make_shared<Identification>(ex, g, std::move(done))->begin();
}

}  // namespace quellon
