#include "session/BridgeSession.h"

#include <exception>

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

bool CheckBridgeInfo(const std::string& reply, ModGlobal& g, Platform& p) {
    const BridgeInfo info = readBridgeInfo(reply, g);
    if (info == BridgeInfo::FirmwareTooOld) p.messageBox(kFirmwareTooOld, mb::OkOnly, kAppTitle);
    return info == BridgeInfo::Accepted;
}

BridgeSession::BridgeSession(Platform& p, ModGlobal& g)
    : p_(p),
      g_(g),
      port_(p.newSerialPort()),
      link_(*port_, p),
      logger_(g, p),
      pairing_(logger_, [this] { return g_.dataLogActive; }),
      watchdog_(p.newTimer()),
      rxWatchdog_(p, *watchdog_, kWatchdogMs, [this] { watchdogTimeout(); }) {
    port_->setBytesHandler([this] { onBytes(); });
    port_->setHangupHandler([this] { onHangup(); });
    readings_.subscribe(&pairing_);
}

BridgeSession::~BridgeSession() {
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

bool BridgeSession::fail() {
    connecting_ = false;
    readings_.publishLinkState(LinkState::Idle);
    if (port_->isOpen()) port_->close();
    return false;
}

bool BridgeSession::readBridge() {
    try {
        if (!OpenBridgePort(*port_, g_)) return fail();
        if (!IdentifyBridge(link_, g_)) {
            g_.StatusMessage = "SWR BRIDGE not found.";
            return fail();
        }
        g_.StatusMessage = "SWR BRIDGE CONNECTED";
        if (onStatus) onStatus(g_.StatusMessage);

        try {
            if (!port_->isOpen()) port_->open();
            port_->write(protocol::kIdentify);
            link_.rxBuffer = link_.leggiPIC();
            const BridgeInfo info = readBridgeInfo(link_.rxBuffer, g_);
            if (info == BridgeInfo::FirmwareTooOld) tellFirmwareTooOld();
            if (info != BridgeInfo::Accepted) {
                g_.StatusMessage = "SWR BRIDGE initialization failled.";
                return fail();
            }
            // A right bridge answers: what the firmware message said no longer holds.
            firmwareMessage_.reset();
            port_->write(protocol::kReadScales);
            link_.rxBuffer = link_.leggiPIC();
            ParseScaleCodes(link_.rxBuffer, g_);
        } catch (const SerialError& e) {
            // The line went away after the bridge had answered: say what the
            // port reports instead of leaving "CONNECTED" on a failed screen.
            g_.StatusMessage = portFailureText(g_.PortNumber, e.description());
            return fail();
        }
        link_.closePort();
        return true;
    } catch (const std::exception& e) {
        if (g_.StatusMessage.empty()) g_.StatusMessage = e.what();
        return fail();
    }
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
    link_.closePort();
    readings_.publishLinkState(LinkState::Lost);
}

void BridgeSession::onBytes() {
    // Bytes outside the stream are replies; the command exchange reads them.
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
        decodeFrame(frame, g_);
    } catch (const std::exception&) {
        return false;
    }
    ++framesAccepted_;
    readings_.publishLinkState(LinkState::Streaming);
    readings_.publishReading(
        ReadingEvent{g_.reading, g_, p_.epochMs(), tagSource ? tagSource() : RigTag{}});
    return true;
}

void BridgeSession::startRxDati() {
    streamState_ = StreamState::Running;
    splitter_.clear();
    skipping_ = false;
    undecodable_ = false;
    try {
        link_.sendCmd_ACK(protocol::kStreamStart);
        streaming_ = true;
    } catch (const std::exception&) {
        // Nobody checks the stream start; a stream that never comes is reported
        // by the display window's connection check.
    }
    watchdog_->stop();
    // Logging that was on when the stream stopped goes on into the same file.
    if (g_.dataLogActive && !logger_.isOpen()) logger_.startDataLog();
}

void BridgeSession::stopRxDati() {
    streaming_ = false;
    watchdog_->stop();
    streamState_ = StreamState::Stopped;
    try {
        link_.sendCmd_ACK(protocol::kStreamStop);
    } catch (const std::exception&) {
    }
    logger_.stopDataLog();
}

void BridgeSession::closeBridgePort() {
    streaming_ = false;
    link_.closePort();
}

void BridgeSession::reopenBridgePort() {
    try {
        if (!port_->isOpen()) port_->open();
    } catch (const std::exception&) {
        // startRxDati tries again; a port that stays away ends in the lost-connection path.
    }
}

}  // namespace quellon
