#include "session/BridgeSession.h"

#include <exception>

#include "link/FrameDecoder.h"
#include "link/Handshake.h"
#include "link/Protocol.h"
#include "platform/OpenPort.h"
#include "settings/Ini.h"

namespace quellon {

namespace {
constexpr int kFrameSize = static_cast<int>(protocol::kFrameSize);
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
      watchdog_(p.newTimer()),
      rxWatchdog_(p, *watchdog_, kWatchdogMs, [this] { watchdogTimeout(); }) {
    port_->setReceiveHandler([this](int ev) { onReceive(ev); });
}

BridgeSession::~BridgeSession() {
    port_->setReceiveHandler({});
    watchdog_->stop();
}

bool BridgeSession::beginConnect() {
    if (connecting_) return false;
    connecting_ = true;
    g_.streamState = StreamState::Stopped;
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
            port_->setInputMode(InputMode::Text);
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
        port_->close();
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
    lastChannel_.clear();
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
    try {
        link_.leggiPIC();
        startRxDati();
    } catch (const std::exception&) {
        // A port that fails here is reported by the watchdogs.
    }
    if (clearLastChannel) lastChannel_.clear();
}

void BridgeSession::onReceive(int event) {
    if (event == SerialPort::EvHangup) {
        // Cable pulled or the device vanished: stop listening; the watchdogs
        // report the silence.
        port_->close();
        readings_.publishLinkState(LinkState::Lost);
        return;
    }
    if (event != SerialPort::EvReceive) return;
    // The recovery path pumps events while it reads; a notification arriving
    // then is left for the port to repeat once this one has finished.
    if (inReceive_) return;
    inReceive_ = true;
    bool badFrame = false;
    bool failed = false;
    try {
        rxWatchdog_.kick();
        port_->setInputMode(InputMode::Binary);
        const std::string data = port_->read();
        if (data.size() < static_cast<size_t>(kFrameSize)) {
            failed = true;
        } else if (protocol::frameMarksOk(data)) {
            decodeFrame(reinterpret_cast<const uint8_t*>(data.data()), g_);
            ++framesAccepted_;
            if (g_.reading.channel == "B" && lastChannel_ == "A" && g_.dataLogActive)
                logger_.writeLogRecord();
            lastChannel_ = g_.reading.channel;
            g_.streamState = StreamState::NewReading;
            if (onFrame) onFrame();
            readings_.publishLinkState(LinkState::Streaming);
            readings_.publishReading(
                ReadingEvent{g_.reading, g_, p_.epochMs(), tagSource ? tagSource() : RigTag{}});
        } else {
            badFrame = true;
        }
    } catch (const std::exception&) {
        failed = true;
    }
    if (badFrame) resync(true);
    else if (failed) resync(false);
    inReceive_ = false;
}

void BridgeSession::startRxDati() {
    g_.streamState = StreamState::Consumed;
    try {
        link_.sendCmd_ACK(protocol::kStreamStart);
        port_->setInputMode(InputMode::Binary);
        port_->setReceiveThreshold(kFrameSize);
        port_->setInputLength(kFrameSize);
    } catch (const std::exception&) {
        // Nobody checks the stream start; a stream that never comes is reported
        // by the display window's connection check.
    }
    watchdog_->stop();
    // Logging that was on when the stream stopped goes on into the same file.
    if (g_.dataLogActive && !logger_.isOpen()) logger_.startDataLog();
}

void BridgeSession::stopRxDati() {
    watchdog_->stop();
    g_.streamState = StreamState::Stopped;
    try {
        link_.sendCmd_ACK(protocol::kStreamStop);
    } catch (const std::exception&) {
    }
    logger_.stopDataLog();
}

void BridgeSession::closeBridgePort() { port_->close(); }

void BridgeSession::reopenBridgePort() {
    try {
        if (!port_->isOpen()) port_->open();
    } catch (const std::exception&) {
        // startRxDati tries again; a port that stays away ends in the lost-connection path.
    }
}

}  // namespace quellon
