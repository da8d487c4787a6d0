#include "network/MqttPublisher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "network/LiveFeed.h"
#include "network/MqttPayload.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kKeepAliveS = 30;
constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;
constexpr int kConnectAnswerMs = 10000;  // TCP and TLS set-up plus CONNACK
constexpr int kLoopSliceMs = 100;        // longest wait inside the network loop
// A stream silent this long counts as lost even before the session's watchdog
// (5 s) says so, so that the link topic goes down within 5 s.
constexpr int kLinkSilenceMs = 4000;
constexpr auto kDescriptionCheck = std::chrono::seconds(5);

// One channel's record, written by the user-interface thread.
struct Slot {
    bool fresh = false;  // readings arrived since the last message
    int pwrDir = 0, pwrRef = 0, peakDir = 0, peakRef = 0;
    std::string swrText;
    float swrValue = 0;
    bool alarm = false;
    std::string scale;
    int64_t epochMs = 0;
};

std::once_flag libInit;

}  // namespace

struct MqttPublisher::Shared {
    mutable std::mutex m;
    std::condition_variable wake;
    Slot slots[2];
    MqttStatus status = MqttStatus::Off;
    std::string statusText;
    bool stopWanted = false;
    bool finished = false;
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> connections{0};

    // The bridge's link: up from the first frame of a stream until the stream
    // is lost or silent.
    bool linkUp = false;
    Clock::time_point lastFrame{};  // read only while linkUp
    // The live feed: latest reading per channel, and whether one came since
    // the last live message.
    LiveMessage live;
    bool liveFresh = false;
    uint64_t counts[2] = {0, 0};
    // The rarely changing part, and a change counter the thread watches.
    BridgeInfo bridge;
    uint64_t bridgeVersion = 0;

    void setStatus(MqttStatus s, std::string text) {
        std::lock_guard lk(m);
        status = s;
        statusText = "MQTT: " + std::move(text);
    }
    bool stopping() {
        std::lock_guard lk(m);
        return stopWanted;
    }
};

namespace {

// The connection's life on the publishing thread. libmosquitto's callbacks run
// inside mosquitto_loop on this same thread.
class Worker {
public:
    Worker(MqttSettings s, std::string settingsPath, std::shared_ptr<MqttPublisher::Shared> sh)
        : s_(std::move(s)), settingsPath_(std::move(settingsPath)), sh_(std::move(sh)) {}

    void run() {
        std::call_once(libInit, [] { mosquitto_lib_init(); });
        const std::string id = "quellon-" + s_.node + "-" + std::to_string(getpid());
        mosq_ = mosquitto_new(id.c_str(), true, this);
        if (!mosq_) {
            sh_->setStatus(MqttStatus::BadSettings, "cannot create the MQTT client");
            finish();
            return;
        }
        if (!configure()) {
            mosquitto_destroy(mosq_);
            finish();
            return;
        }
        loop();
        if (state_ == State::Connected) goodbye();
        mosquitto_destroy(mosq_);
        sh_->setStatus(MqttStatus::Off, "stopped");
        finish();
    }

private:
    enum class State { Down, Connecting, Connected };

    std::string where() const { return s_.host + ":" + std::to_string(s_.port); }

    bool configure() {
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        const std::string status = statusTopic(s_);
        mosquitto_will_set(mosq_, status.c_str(), 7, "offline", 1, true);
        if (!s_.username.empty())
            mosquitto_username_pw_set(mosq_, s_.username.c_str(),
                                      s_.passwordFile.empty() ? nullptr : s_.password.c_str());
        if (!s_.caFile.empty()) {
            if (mosquitto_tls_set(mosq_, s_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr) !=
                    MOSQ_ERR_SUCCESS ||
                mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
                sh_->setStatus(MqttStatus::BadSettings,
                               "bad setting: CA file \"" + s_.caFile + "\" is not usable");
                return false;
            }
        }
        mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
            static_cast<Worker*>(self)->connack_ = rc;
        });
        mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int mid) {
            static_cast<Worker*>(self)->lastAcked_ = mid;
        });
        return true;
    }

    void loop() {
        sh_->setStatus(MqttStatus::Connecting, "connecting to " + where());
        auto nextTry = Clock::now();
        while (!sh_->stopping()) {
            const auto now = Clock::now();
            if (state_ == State::Down) {
                if (now < nextTry) {
                    std::unique_lock lk(sh_->m);
                    sh_->wake.wait_until(lk, std::min(nextTry, now + milliseconds(kLoopSliceMs)),
                                         [&] { return sh_->stopWanted; });
                    continue;
                }
                connack_ = -1;
                errno = 0;
                const int rc =
                    mosquitto_connect_async(mosq_, s_.host.c_str(), s_.port, kKeepAliveS);
                if (rc != MOSQ_ERR_SUCCESS) {
                    failed(rc, errno);
                    nextTry = Clock::now() + milliseconds(retryMs_);
                    continue;
                }
                state_ = State::Connecting;
                deadline_ = now + milliseconds(kConnectAnswerMs);
            }

            errno = 0;
            const int rc = mosquitto_loop(mosq_, sliceMs(now), 1);
            const int err = errno;
            if (state_ == State::Connecting && connack_ == 0) connected();
            if (state_ == State::Connecting && connack_ > 0) {
                refused(connack_);
                mosquitto_disconnect(mosq_);
                down(&nextTry);
                continue;
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                failed(rc, err);
                down(&nextTry);
                continue;
            }
            if (state_ == State::Connecting && Clock::now() > deadline_) {
                sh_->setStatus(MqttStatus::Unreachable,
                               "no answer from " + where() + " (is it an MQTT port?); retrying");
                mosquitto_disconnect(mosq_);
                down(&nextTry);
                continue;
            }
            if (state_ == State::Connected) {
                publishLink();
                publishDue();
                publishLive();
            }
        }
    }

    // How long the network loop may wait: until a channel's interval is over,
    // at most one slice (so that a stop is seen soon, and a channel whose
    // interval is over is published within a slice of its next reading).
    int sliceMs(Clock::time_point now) const {
        auto due = now + milliseconds(kLoopSliceMs);
        if (state_ == State::Connected) {
            for (const auto& t : lastSent_) {
                if (!t) continue;  // nothing sent yet: due at the next reading
                const auto next = *t + milliseconds(s_.intervalMs);
                if (next > now) due = std::min(due, next);
            }
            if (liveSent_) {
                const auto next = *liveSent_ + livePeriod();
                if (next > now) due = std::min(due, next);
            }
        }
        const auto ms = std::chrono::duration_cast<milliseconds>(due - now).count();
        return static_cast<int>(std::clamp<long long>(ms, 1, kLoopSliceMs));
    }

    void down(Clock::time_point* nextTry) {
        state_ = State::Down;
        *nextTry = Clock::now() + milliseconds(retryMs_);
        retryMs_ = std::min(retryMs_ * 2, kLongestRetryMs);
    }

    void connected() {
        state_ = State::Connected;
        retryMs_ = kFirstRetryMs;
        ++sh_->connections;
        const std::string status = statusTopic(s_);
        mosquitto_publish(mosq_, nullptr, status.c_str(), 6, "online", 1, true);
        if (s_.discovery) {
            for (const MqttMessage& msg : discoveryConfigs(s_)) publishRetained(msg);
        } else if (!cleared_) {
            // Configs of an earlier run with discovery on would keep the
            // entities in Home Assistant for good: removed once per start.
            for (const MqttMessage& msg : discoveryClears(s_)) publishRetained(msg);
            cleared_ = true;
        }
        // The broker may have lost the retained link and bridge messages
        // (a restart without persistence): both go out again.
        linkSent_.reset();
        bridgeSent_ = false;
        publishLink();
        // What waited while the broker was away goes out at once.
        lastSent_[0] = lastSent_[1] = std::nullopt;
        liveSent_.reset();
        sh_->setStatus(MqttStatus::Connected, "connected to " + where());
    }

    void refused(int code) {
        if (code == 4 || code == 5)
            sh_->setStatus(MqttStatus::Refused, where() + " refused the user name or password (" +
                                                    mosquitto_connack_string(code) + "); retrying");
        else
            sh_->setStatus(MqttStatus::BrokerDown, where() + " refused the connection (" +
                                                       mosquitto_connack_string(code) +
                                                       "); retrying");
    }

    void failed(int rc, int err) {
        const bool wasUp = state_ == State::Connected;
        if (rc == MOSQ_ERR_EAI) {
            sh_->setStatus(MqttStatus::WrongHost, "host \"" + s_.host + "\" not found; retrying");
        } else if (rc == MOSQ_ERR_TLS || (rc == MOSQ_ERR_ERRNO && err == EPROTO) ||
                   (!wasUp && !s_.caFile.empty() && rc == MOSQ_ERR_CONN_LOST)) {
            sh_->setStatus(MqttStatus::TlsFailure,
                           "TLS failure with " + where() +
                               " (certificate not trusted by CaFile, or not a TLS port); retrying");
        } else if (rc == MOSQ_ERR_ERRNO && err == ECONNREFUSED) {
            sh_->setStatus(MqttStatus::BrokerDown,
                           "broker down at " + where() + " (connection refused); retrying");
        } else if (rc == MOSQ_ERR_ERRNO &&
                   (err == EHOSTUNREACH || err == ENETUNREACH || err == ETIMEDOUT)) {
            sh_->setStatus(MqttStatus::Unreachable,
                           where() + " unreachable (" + std::strerror(err) + "); retrying");
        } else if (!wasUp && rc == MOSQ_ERR_CONN_LOST) {
            sh_->setStatus(MqttStatus::BrokerDown,
                           where() + " closed the connection unanswered (a TLS port needs " +
                               "CaFile); retrying");
        } else if (wasUp) {
            sh_->setStatus(MqttStatus::BrokerDown, "connection to " + where() + " lost; retrying");
        } else if (!s_.caFile.empty() && rc == MOSQ_ERR_ERRNO && err == 0) {
            sh_->setStatus(MqttStatus::TlsFailure, "TLS failure with " + where() + "; retrying");
        } else {
            const std::string why =
                rc == MOSQ_ERR_ERRNO && err != 0 ? std::strerror(err) : mosquitto_strerror(rc);
            sh_->setStatus(MqttStatus::BrokerDown,
                           "cannot reach the broker at " + where() + " (" + why + "); retrying");
        }
    }

    std::string description(char ch) const {
        const bool a = ch == 'a';
        return IniLookup("Bridge", a ? "ChannelA" : "ChannelB", settingsPath_)
            .value_or(a ? "Channel A" : "Channel B");
    }

    void publishDue() {
        const auto now = Clock::now();
        for (int i = 0; i < 2; ++i) {
            if (lastSent_[i] && now < *lastSent_[i] + milliseconds(s_.intervalMs)) continue;
            ChannelSnapshot snap;
            {
                std::lock_guard lk(sh_->m);
                Slot& slot = sh_->slots[i];
                if (!slot.fresh) continue;
                snap.pwrDir = slot.pwrDir;
                snap.pwrRef = slot.pwrRef;
                snap.peakDir = slot.peakDir;
                snap.peakRef = slot.peakRef;
                snap.swrText = slot.swrText;
                snap.swrValue = slot.swrValue;
                snap.alarm = slot.alarm;
                snap.scale = slot.scale;
                snap.epochMs = slot.epochMs;
                slot.fresh = false;
            }
            snap.channel = i == 0 ? 'a' : 'b';
            snap.description = description(snap.channel);
            snap.utcOffsetMinutes = localUtcOffsetMinutes(snap.epochMs);
            const std::string payload = statePayload(snap);
            const std::string topic = stateTopic(s_, snap.channel);
            if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                  payload.data(), 0, false) == MOSQ_ERR_SUCCESS)
                ++sh_->sent;
            lastSent_[i] = now;
        }
    }

    void publishRetained(const MqttMessage& msg) {
        mosquitto_publish(mosq_, nullptr, msg.topic.c_str(), static_cast<int>(msg.payload.size()),
                          msg.payload.data(), 1, true);
    }

    // The link topic when the wanted state differs from the one at the broker.
    void publishLink() {
        bool up = false;
        {
            std::lock_guard lk(sh_->m);
            if (sh_->linkUp && Clock::now() - sh_->lastFrame > milliseconds(kLinkSilenceMs))
                sh_->linkUp = false;
            up = sh_->linkUp;
        }
        if (linkSent_ == up) return;
        publishRetained({linkTopic(s_), up ? kLinkUp : kLinkDown});
        linkSent_ = up;
    }

    std::chrono::microseconds livePeriod() const {
        return std::chrono::microseconds(1000000 / std::max(1, s_.liveHz));
    }

    // At most LiveHz live messages a second, each with the latest reading of
    // both channels; the bridge message first whenever what it says changed.
    void publishLive() {
        if (s_.liveHz <= 0) return;
        const auto now = Clock::now();
        if (liveSent_ && now < *liveSent_ + livePeriod()) return;
        LiveMessage live;
        bool bridgeChanged = false;
        {
            std::lock_guard lk(sh_->m);
            if (!sh_->liveFresh) return;
            live = sh_->live;
            sh_->liveFresh = false;
            if (sh_->bridgeVersion != bridgeVersion_) {
                const std::string a = bridge_.descriptionA, b = bridge_.descriptionB;
                bridge_ = sh_->bridge;
                bridge_.descriptionA = a;
                bridge_.descriptionB = b;
                bridgeVersion_ = sh_->bridgeVersion;
                bridgeChanged = true;
            }
        }
        // The descriptions live in the settings file, which the setup dialog
        // rewrites: looked at now and then, not for every message.
        if (bridgeChanged || !descriptionsRead_ || now > *descriptionsRead_ + kDescriptionCheck) {
            const std::string a = description('a'), b = description('b');
            bridgeChanged = bridgeChanged || a != bridge_.descriptionA || b != bridge_.descriptionB;
            bridge_.descriptionA = a;
            bridge_.descriptionB = b;
            descriptionsRead_ = now;
        }
        if (bridgeChanged || !bridgeSent_) {
            publishRetained({bridgeTopic(s_), bridgePayload(bridge_)});
            bridgeSent_ = true;
        }
        const std::string payload = livePayload(live);
        const std::string topic = liveTopic(s_);
        if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 0, false) == MOSQ_ERR_SUCCESS)
            ++sh_->sent;
        liveSent_ = now;
    }

    // "down" and "offline" from the program itself, waited for (bounded),
    // then a clean disconnect (after which the broker does not send the last
    // will).
    void goodbye() {
        if (linkSent_ != false) publishRetained({linkTopic(s_), kLinkDown});
        int mid = 0;
        const std::string status = statusTopic(s_);
        if (mosquitto_publish(mosq_, &mid, status.c_str(), 7, "offline", 1, true) ==
            MOSQ_ERR_SUCCESS) {
            const auto until = Clock::now() + milliseconds(2000);
            while (lastAcked_ != mid && Clock::now() < until)
                if (mosquitto_loop(mosq_, 50, 1) != MOSQ_ERR_SUCCESS) break;
        }
        mosquitto_disconnect(mosq_);
        mosquitto_loop(mosq_, 10, 1);
    }

    void finish() {
        std::lock_guard lk(sh_->m);
        sh_->finished = true;
        sh_->wake.notify_all();
    }

    MqttSettings s_;
    std::string settingsPath_;
    std::shared_ptr<MqttPublisher::Shared> sh_;
    mosquitto* mosq_ = nullptr;
    State state_ = State::Down;
    int connack_ = -1;
    int lastAcked_ = -1;
    int retryMs_ = kFirstRetryMs;
    Clock::time_point deadline_{};
    // Unset until the first message of a connection: the monotonic clock's
    // zero is the machine's boot, not "long ago", so no time point can stand
    // for "never sent".
    std::optional<Clock::time_point> lastSent_[2];
    // Nothing sent yet has no time: a default time point is not "long ago".
    std::optional<Clock::time_point> liveSent_;
    std::optional<bool> linkSent_;  // the link state at the broker, if known
    BridgeInfo bridge_;             // as last published
    uint64_t bridgeVersion_ = 0;    // of the shared record bridge_ was taken from
    bool bridgeSent_ = false;       // bridge_ is at the broker
    std::optional<Clock::time_point> descriptionsRead_;
    bool cleared_ = false;
};

}  // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, std::string settingsPath)
    : settings_(std::move(settings)),
      settingsPath_(std::move(settingsPath)),
      shared_(std::make_shared<Shared>()) {}

MqttPublisher::~MqttPublisher() { stop(); }

void MqttPublisher::start() {
    if (started_) return;
    const std::string problem = checkMqttSettings(settings_);
    if (!problem.empty()) {
        shared_->setStatus(MqttStatus::BadSettings, problem);
        return;
    }
    started_ = true;
    auto worker = std::make_shared<Worker>(settings_, settingsPath_, shared_);
    std::thread([worker] { worker->run(); }).detach();
}

void MqttPublisher::stop(int timeoutMs) {
    if (!started_) return;
    started_ = false;
    std::unique_lock lk(shared_->m);
    shared_->stopWanted = true;
    shared_->wake.notify_all();
    shared_->wake.wait_for(lk, milliseconds(timeoutMs), [&] { return shared_->finished; });
}

void MqttPublisher::onReading(const ReadingEvent& e) {
    const ChannelReading& r = e.reading;
    const bool a = e.isA();
    const auto& texts = a ? e.state.ScaleTextA : e.state.ScaleTextB;
    const bool alarm = e.alarm();
    const auto now = Clock::now();
    std::lock_guard lk(shared_->m);
    shared_->linkUp = true;
    shared_->lastFrame = now;
    if (settings_.liveHz > 0) {
        const size_t i = a ? 0 : 1;
        LiveChannel& c = shared_->live.ch[i];
        c.count = ++shared_->counts[i];
        c.epochMs = e.epochMs;
        copyReadingNumbers(r, c.reading);
        c.reading.channel = a ? "A" : "B";
        const size_t slot = r.frameScale >= 2 ? 1 : 0;
        c.scaleCode = (a ? e.state.ScaleCodeA : e.state.ScaleCodeB)[slot];
        c.scaleText = texts[slot];
        c.alarm = alarm;
        shared_->liveFresh = true;
        // Compared on every frame but copied only when it changed.
        BridgeInfo& b = shared_->bridge;
        const BridgeState& st = e.state;
        if (shared_->bridgeVersion == 0 || bridgeStateDiffers(b, st)) {
            b = bridgeInfoOf(st);
            ++shared_->bridgeVersion;
        }
    }
    Slot& s = shared_->slots[a ? 0 : 1];
    if (!s.fresh) {
        s.peakDir = r.pwrDirMax;
        s.peakRef = r.pwrRefMax;
        s.alarm = alarm;
    } else {
        s.peakDir = std::max<int>(s.peakDir, r.pwrDirMax);
        s.peakRef = std::max<int>(s.peakRef, r.pwrRefMax);
        s.alarm = s.alarm || alarm;
    }
    s.pwrDir = r.pwrDir;
    s.pwrRef = r.pwrRef;
    s.swrText = r.swrTextNow();
    s.swrValue = r.swrValue;
    s.scale = texts[r.frameScale >= 2 ? 1 : 0];
    s.epochMs = e.epochMs;
    s.fresh = true;
}

MqttStatus MqttPublisher::status() const {
    std::lock_guard lk(shared_->m);
    return shared_->status;
}

std::string MqttPublisher::statusText() const {
    std::lock_guard lk(shared_->m);
    return shared_->statusText;
}

void MqttPublisher::onLinkState(LinkState s) {
    if (s == LinkState::Streaming) return;  // up with the first frame, not before
    std::lock_guard lk(shared_->m);
    shared_->linkUp = false;
}

uint64_t MqttPublisher::messagesSent() const { return shared_->sent; }
uint64_t MqttPublisher::connections() const { return shared_->connections; }

}  // namespace quellon
