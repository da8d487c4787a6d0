#include "network/RemoteSession.h"

#include <algorithm>

#include "network/MqttPayload.h"

namespace quellon {

RemoteSession::RemoteSession(Platform& p, ModGlobal& g, MqttSettings settings, std::string node)
    : p_(p),
      g_(g),
      node_(std::move(node)),
      where_(settings.host + ":" + settings.portText),
      logger_(g, p),
      pairing_(logger_, [this] { return logger_.dataLogActive(); }),
      silence_(p.newTimer()),
      watcher_(std::move(settings), node_) {
    readings_.subscribe(&pairing_);
    silence_->onTimeout = [this] { lose(); };
    // Called on the watcher's thread: the work is done on this object's.
    watcher_.notify = [this] {
        QMetaObject::invokeMethod(
            &wake_, [this] { poll(); }, Qt::QueuedConnection);
    };
}

RemoteSession::~RemoteSession() {
    watcher_.stop();
    silence_->stop();
}

void RemoteSession::start() {
    readings_.publishLinkState(LinkState::Connecting);
    watcher_.start();
}

void RemoteSession::stop() {
    watcher_.stop();
    silence_->stop();
}

std::string RemoteSession::waitingText() const {
    return "Waiting for " + node_ + " on " + where_ + "\u2026";
}

std::string RemoteSession::statusText() const { return watcher_.statusText(); }

int RemoteSession::silenceMs() const {
    if (gapMs_ <= 0) return kLongestSilenceMs;
    return std::clamp(static_cast<int>(4 * gapMs_), kShortestSilenceMs, kLongestSilenceMs);
}

void RemoteSession::poll() {
    for (const RemoteNode& n : watcher_.take())
        if (n.node == node_) take(n);
}

void RemoteSession::take(const RemoteNode& n) {
    // The node's own word on its bridge counts at once.
    nodeDown_ = n.status == "offline" || n.link == kLinkDown;
    if (nodeDown_) lose();

    if (n.bridgeCount != bridgeCount_) {
        bridgeCount_ = n.bridgeCount;
        const BridgeInfo& b = n.bridge;
        g_.BridgeFirmwareVersion = b.firmware;
        g_.params = b.params;
        g_.ScaleCodeA = b.scaleCodeA;
        g_.ScaleCodeB = b.scaleCodeB;
        g_.ScaleTextA = b.scaleTextA;
        g_.ScaleTextB = b.scaleTextB;
        descA_ = b.descriptionA;
        descB_ = b.descriptionB;
        haveBridge_ = true;
    }

    bool fresh = false;
    for (size_t i = 0; i < 2; ++i) {
        const LiveChannel& c = n.live.ch[i];
        // A count that goes back is a publisher that started again: new too.
        if (!c.count || c.count == counts_[i]) continue;
        counts_[i] = c.count;
        fresh = true;
        // Nothing is shown before the scales and parameters it is drawn with,
        // nor while the node says its bridge is away (a late message).
        if (!haveBridge_ || nodeDown_) continue;
        readings_.publishLinkState(LinkState::Streaming);
        ++published_;
        readings_.publishReading(ReadingEvent{c.reading, g_, c.epochMs, {}});
    }
    if (!fresh || nodeDown_) return;
    const uint32_t now = p_.tickCount();
    if (lastLiveTick_) {
        const double gap = static_cast<uint32_t>(now - *lastLiveTick_);
        gapMs_ = gapMs_ <= 0 ? gap : 0.75 * gapMs_ + 0.25 * gap;
    }
    lastLiveTick_ = now;
    if (feeding()) {
        silence_->setInterval(silenceMs());
        silence_->start();
    }
}

void RemoteSession::lose() {
    silence_->stop();
    // The next message after a gap measures no gap.
    lastLiveTick_.reset();
    if (!feeding()) return;
    // A log record never joins readings from both sides of a gap.
    pairing_.forget();
    readings_.publishLinkState(LinkState::Lost);
    if (onSilence) onSilence();
}

void RemoteSession::startRxDati() {
    streamState_ = StreamState::Running;
    pairing_.forget();
    if (logger_.dataLogActive() && !logger_.isOpen()) logger_.startDataLog();
}

void RemoteSession::stopRxDati() {
    streamState_ = StreamState::Stopped;
    logger_.stopDataLog();
}

}  // namespace quellon
