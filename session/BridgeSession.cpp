#include "session/BridgeSession.h"

#include <exception>
#include <utility>

#include "link/FrameDecoder.h"
#include "link/Handshake.h"
#include "link/Protocol.h"
#include "platform/OpenPort.h"
#include "settings/Ini.h"

namespace quellon {

namespace {
constexpr int kWatchdogMs = 5000;
}  // namespace

bool OpenBridgePort(SerialPort& port, ModGlobal& g) {
    try {
        g.PortNumber = ReadIni("Bridge", "Port", g.SettingsPath, "1");
        g.PortSettings = ReadIni("Bridge", "Setting", g.SettingsPath, "115200,N,8,1");
    } catch (const std::exception& e) {
        g.StatusMessage = portFailureText(g.PortNumber, e.what());
        return false;
    }
    return openPortOf(port, g);
}

bool CheckBridgeInfo(const std::string& reply, BridgeState& g, Platform& p) {
    const BridgeInfo info = readBridgeInfo(reply, g);
    if (info == BridgeInfo::FirmwareTooOld) p.messageBox(kFirmwareTooOld, mb::OkOnly, kAppTitle);
    return info == BridgeInfo::Accepted;
}

BridgeSession::BridgeSession(Platform& p, ModGlobal& g)
    : p_(p),
      g_(g),
      port_(p.newSerialPort()),
      exchange_(*port_, p),
      logger_(g, p),
      pairing_(logger_, [this] { return logger_.dataLogActive(); }),
      watchdog_(p.newTimer()),
      rxWatchdog_(p, *watchdog_, kWatchdogMs, [this] { watchdogTimeout(); }) {
    port_->setBytesHandler([this] { onBytes(); });
    port_->setHangupHandler([this] { onHangup(); });
    readings_.subscribe(&pairing_);
}

BridgeSession::~BridgeSession() {
    exchange_.cancel();
    port_->setBytesHandler({});
    port_->setHangupHandler({});
    watchdog_->stop();
}

bool BridgeSession::beginConnect() {
    if (connecting_) return false;
    connecting_ = true;
    streaming_ = false;
    streamState_ = StreamState::Stopped;
    readings_.publishLinkState(LinkState::Connecting);
    return true;
}

void BridgeSession::fail() {
    connecting_ = false;
    readings_.publishLinkState(LinkState::Idle);
    if (port_->isOpen()) port_->close();
}

void BridgeSession::enqueue(std::function<void()> job) {
    jobs_.push_back(std::move(job));
    pump();
}

void BridgeSession::pump() {
    // A job that ends at once (a port that cannot be opened) lets the next
    // one start here rather than from inside its own callback.
    if (pumping_) return;
    pumping_ = true;
    while (!jobRunning_ && !jobs_.empty()) {
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        jobRunning_ = true;
        job();
    }
    pumping_ = false;
}

void BridgeSession::jobDone() {
    jobRunning_ = false;
    pump();
}

void BridgeSession::connectEnd(bool ok) {
    if (!ok) fail();
    auto done = std::exchange(connectDone_, {});
    jobDone();
    if (done) done(ok);
}

void BridgeSession::readBridge(std::function<void(bool)> done) {
    enqueue([this, done = std::move(done)]() mutable {
        connectDone_ = std::move(done);
        try {
            if (!OpenBridgePort(*port_, g_)) return connectEnd(false);
        } catch (const std::exception& e) {
            if (g_.StatusMessage.empty()) g_.StatusMessage = e.what();
            return connectEnd(false);
        }
        identifyBridge(exchange_, g_, [this](const ExchangeResult& r) {
            // A port error has left its text in StatusMessage.
            if (r.error) return connectEnd(false);
            if (!r.ok) {
                g_.StatusMessage = "SWR BRIDGE not found.";
                return connectEnd(false);
            }
            g_.StatusMessage = "SWR BRIDGE CONNECTED";
            if (onStatus) onStatus(g_.StatusMessage);
            readParameters();
        });
    });
}

void BridgeSession::readParameters() {
    // The line went away after the bridge had answered: say what the port
    // reports instead of leaving "CONNECTED" on a failed screen.
    auto portFailed = [this](const SerialError& e) {
        g_.StatusMessage = portFailureText(g_.PortNumber, e.description());
        connectEnd(false);
    };
    try {
        if (!port_->isOpen()) port_->open();
    } catch (const SerialError& e) {
        return portFailed(e);
    }
    exchange_.sendForReply(protocol::kIdentify, 0, [this, portFailed](const ExchangeResult& id) {
        if (id.error) return portFailed(*id.error);
        const BridgeInfo info = readBridgeInfo(id.reply, g_);
        if (info == BridgeInfo::FirmwareTooOld) tellFirmwareTooOld();
        if (info != BridgeInfo::Accepted) {
            g_.StatusMessage = "SWR BRIDGE initialization failled.";
            return connectEnd(false);
        }
        // A right bridge answers: what the firmware message said no longer holds.
        firmwareMessage_.reset();
        exchange_.sendForReply(protocol::kReadScales, 0,
                               [this, portFailed](const ExchangeResult& scales) {
                                   if (scales.error) return portFailed(*scales.error);
                                   ParseScaleCodes(scales.reply, g_);
                                   exchange_.closePort();
                                   connectEnd(true);
                               });
    });
}

void BridgeSession::tellFirmwareTooOld() {
    if (!modelessReports_) {
        p_.messageBox(kFirmwareTooOld, mb::OkOnly, kAppTitle);
        return;
    }
    if (!firmwareMessage_ || !firmwareMessage_->isOpen())
        firmwareMessage_ = p_.showMessage(kFirmwareTooOld, mb::OkOnly, kAppTitle);
}

void BridgeSession::startStream() {
    // A channel seen before the connection was lost must not pair with the
    // first frame of the new stream into one log record.
    pairing_.forget();
    startRxDati();
    connecting_ = false;
    readings_.publishLinkState(LinkState::Streaming);
}

void BridgeSession::watchdogTimeout() {
    watchdog_->stop();
    readings_.publishLinkState(LinkState::Lost);
    if (onSilence) onSilence();
    watchdog_->stop();
}

void BridgeSession::resync(bool clearLastChannel) {
    ++resyncs_;
    skipping_ = false;
    // The stream starts afresh: what was held belongs to the old one, and the
    // acknowledgement's reads drop what the port holds.
    splitter_.clear();
    try {
        startRxDati();
    } catch (const std::exception&) {
        // A port that fails here is reported by the watchdogs.
    }
    if (clearLastChannel) pairing_.forget();
}

void BridgeSession::onHangup() {
    // Cable pulled or the device vanished: stop listening; the watchdogs
    // report the silence.
    streaming_ = false;
    splitter_.clear();
    // An exchange in progress ends with the port's error.
    exchange_.onHangup();
    exchange_.closePort();
    readings_.publishLinkState(LinkState::Lost);
}

void BridgeSession::onBytes() {
    // Bytes during an exchange are replies; the exchange reads them.
    if (exchange_.busy()) return exchange_.onBytes();
    if (!streaming_) return;
    std::string data;
    try {
        data = port_->read();
    } catch (const std::exception&) {
        resync(false);
        return;
    }
    if (data.empty()) return;
    rxWatchdog_.kick();
    splitter_.append(data);
    for (;;) {
        const FrameSplitter::Next next = splitter_.next();
        if (next == FrameSplitter::Next::NeedMore) break;
        if (next == FrameSplitter::Next::Resync) {
            resync(!undecodable_);
            undecodable_ = false;
            return;
        }
        if (!acceptFrame(splitter_.frame())) {
            // The frame's numbers were unusable: the stream goes on from the
            // line after it, and the pairing of channels is kept.
            splitter_.skipToLineEnd();
            undecodable_ = true;
        }
        if (!streaming_) return;  // a listener stopped the stream
    }
    // A bad frame whose line end never comes: give up waiting for it after
    // the reply deadline, as a reply that never ends.
    if (splitter_.skipping()) {
        const uint32_t now = p_.tickCount();
        if (!skipping_) {
            skipping_ = true;
            skipSince_ = now;
        } else if (static_cast<uint32_t>(now - skipSince_) > kReplyTimeoutMs) {
            resync(!undecodable_);
            undecodable_ = false;
        }
    }
}

bool BridgeSession::acceptFrame(const uint8_t* frame) {
    try {
        decodeInto(frame, inputsOf(g_), reading_);
    } catch (const std::exception&) {
        return false;
    }
    ++framesAccepted_;
    readings_.publishLinkState(LinkState::Streaming);
    readings_.publishReading(
        ReadingEvent{reading_, g_, p_.epochMs(), tagSource ? tagSource() : RigTag{}});
    return true;
}

void BridgeSession::startRxDati() {
    streamState_ = StreamState::Running;
    splitter_.clear();
    skipping_ = false;
    undecodable_ = false;
    // Frames count from the acknowledgement's read on: what comes before it
    // is read (and dropped) by that read.
    streaming_ = false;
    streamWanted_ = true;
    enqueue([this] {
        exchange_.sendAck(protocol::kStreamStart, [this](const ExchangeResult& r) {
            // Nobody checks the stream start; a stream that never comes is
            // reported by the display window's connection check.
            if (!r.error && streamWanted_) streaming_ = true;
            jobDone();
        });
    });
    watchdog_->stop();
    // Logging that was on when the stream stopped goes on into the same file.
    if (logger_.dataLogActive() && !logger_.isOpen()) logger_.startDataLog();
}

void BridgeSession::stopRxDati() {
    streaming_ = false;
    streamWanted_ = false;
    watchdog_->stop();
    streamState_ = StreamState::Stopped;
    sendCommand(protocol::kStreamStop);
    logger_.stopDataLog();
}

void BridgeSession::sendCommand(const std::string& cmd, std::function<void(bool)> done) {
    enqueue([this, cmd, done = std::move(done)] {
        exchange_.sendAck(cmd, [this, done](const ExchangeResult& r) {
            jobDone();
            if (done) done(r.ok);
        });
    });
}

void BridgeSession::closeBridgePort() {
    streaming_ = false;
    streamWanted_ = false;
    enqueue([this] {
        exchange_.closePort();
        jobDone();
    });
}

void BridgeSession::reopenBridgePort() {
    enqueue([this] {
        try {
            if (!port_->isOpen()) port_->open();
        } catch (const std::exception&) {
            // startRxDati tries again; a port that stays away ends in the
            // lost-connection path.
        }
        jobDone();
    });
}

void BridgeSession::openForCommands(std::function<void(const std::string&)> done) {
    enqueue([this, done = std::move(done)] {
        std::string failure;
        if (!port_->isOpen()) {
            const auto f = openPortAs(*port_, portNumberValue(g_.PortNumber), g_.PortSettings);
            if (f) failure = portFailureText(g_.PortNumber, f->reason);
        }
        jobDone();
        if (done) done(failure);
    });
}

void BridgeSession::whenIdle(std::function<void()> fn) {
    enqueue([this, fn = std::move(fn)] {
        jobDone();
        fn();
    });
}

}  // namespace quellon
