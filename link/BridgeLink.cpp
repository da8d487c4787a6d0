#include "link/BridgeLink.h"

#include <exception>

#include "link/Format.h"
#include "link/Protocol.h"
#include "platform/OpenPort.h"

namespace quellon {

BridgeLink::BridgeLink(SerialPort& port, Platform& p) : port_(port), p_(p) {}

void BridgeLink::discardInput() {
    pending_.clear();
    rxBuffer = port_.read();
    rxBuffer.clear();
}

bool BridgeLink::unreadInput() { return !pending_.empty() || port_.waitForBytes(0); }

void BridgeLink::closePort() {
    pending_.clear();
    port_.close();
}

bool BridgeLink::sendCmd_ACK(const std::string& cmd) {
    if (cmd.empty()) return true;
    if (!port_.isOpen()) port_.open();
    discardInput();  // whatever was still buffered (frame tails)
    for (int attempt = 0; attempt < kAckAttempts; ++attempt) {
        port_.write(cmd);
        p_.sleep(kAckPauseMs);
        rxBuffer = port_.read();
        // The acknowledgement may stand behind other bytes, but it has to lie
        // within this one read.
        if (rxBuffer.find(protocol::kAck) != std::string::npos) return true;
    }
    return false;
}

std::string BridgeLink::leggiPIC() {
    // Elapsed time by unsigned difference, so a tick counter that wraps
    // during the wait neither ends it early nor makes it endless.
    const uint32_t start = p_.tickCount();
    rxBuffer.clear();
    for (;;) {
        if (pending_.empty()) pending_ = port_.read();
        // Bytes behind the line's end stay for the next reply, as if read one
        // character at a time.
        const size_t cr = pending_.find('\r');
        if (cr != std::string::npos) {
            rxBuffer.append(pending_, 0, cr);
            pending_.erase(0, cr + 1);
            return rxBuffer;
        }
        const bool got = !pending_.empty();
        rxBuffer += pending_;
        pending_.clear();
        // Nothing there: give the line a moment instead of spinning.
        if (!got) port_.waitForBytes(1);
        p_.processEvents();
        if (static_cast<uint32_t>(p_.tickCount() - start) > kReplyTimeoutMs) break;
    }
    return kReplyTimeout;
}

int portNumberValue(const std::string& text) {
    return roundHalfEven16(leadingNumber(text)).value_or(0);
}

bool openPortOf(SerialPort& port, ModGlobal& g) {
    const auto failure = openPortAs(port, portNumberValue(g.PortNumber), g.PortSettings);
    // An open port leaves the status of the last step, which the connect
    // sequence's later texts are checked against.
    g.StatusMessage = failure ? portFailureText(g.PortNumber, failure->reason)
                              : "Com" + g.PortNumber + ": port already in use.";
    return !failure;
}

bool IdentifyBridge(BridgeLink& link, ModGlobal& g) {
    SerialPort& port = link.port();
    bool found = false;
    try {
        if (!port.isOpen()) port.open();
        link.discardInput();
        bool streamStopped = false;
        for (int attempt = 0; attempt < kIdentifyTries && !found; ++attempt) {
            port.write(protocol::kIdentify);
            link.platform().sleep(kAckPauseMs);
            const std::string reply = link.leggiPIC();
            // A bridge sends nothing behind its reply unless its stream still
            // runs: a program ended without stopping it (a crash, a kill). Its
            // frames would be read as the replies that follow (a frame that lands
            // first fails the second identification; a frame's start passes for
            // the scale reply and gives wrong scales). Stop it, once.
            if (!streamStopped && link.unreadInput()) {
                streamStopped = true;
                link.sendCmd_ACK(protocol::kStreamStop);
            }
            if (protocol::isBridgeReply(reply)) {
                found = true;
            } else {
                link.discardInput();
                g.StatusMessage = kLinkErrorText;
            }
        }
    } catch (const SerialError& e) {
        // A port error ends the connect sequence with the status of this moment:
        // after a failed try that is the link error; in the first try nothing
        // has been said yet about this port, so say what the port reports.
        if (g.StatusMessage != kLinkErrorText)
            g.StatusMessage = portFailureText(g.PortNumber, e.description());
        try {
            link.closePort();
        } catch (const std::exception&) {
        }
        throw;
    } catch (const std::exception&) {
        found = false;
    }
    link.closePort();
    return found;
}

}  // namespace quellon
