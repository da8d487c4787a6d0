#include "network/MqttWatcher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <atomic>
#include <set>

#include "network/MqttPayload.h"

namespace quellon {

namespace {

constexpr int kKeepAliveS = 30;
constexpr size_t kMaxNodeName = 64;

}  // namespace

bool goodNode(std::string_view n) {
    if (n.empty() || n.size() > kMaxNodeName) return false;
    for (char c : n)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-'))
            return false;
    return true;
}

struct MqttWatcher::Shared {
    mutable std::mutex m;
    std::map<std::string, RemoteNode> nodes;
    std::set<std::string> changed;
    bool woken = false;  // notify was called and nothing taken since
    std::string statusText = "MQTT: not started";
    bool connected = false;
    std::string lastDropped;
    std::atomic<uint64_t> accepted{0}, dropped{0};
    std::function<void()> notify;
    mosquitto* mosq = nullptr;
    std::string base;
    std::string where;
    std::string only;  // the one node watched, or empty

    void setStatus(std::string text, bool up) {
        std::lock_guard lk(m);
        statusText = "MQTT: " + std::move(text);
        connected = up;
    }
    void drop(std::string why) {
        ++dropped;
        std::lock_guard lk(m);
        lastDropped = std::move(why);
    }

    // One message from the broker, on libmosquitto's thread.
    void onMessage(std::string_view topic, std::string_view payload) {
        // <base>/<node>/<kind>
        if (topic.size() <= base.size() + 1 || topic.substr(0, base.size()) != base ||
            topic[base.size()] != '/')
            return drop("foreign topic");
        const std::string_view rest = topic.substr(base.size() + 1);
        const auto slash = rest.find('/');
        if (slash == std::string_view::npos) return drop("foreign topic");
        const std::string_view node = rest.substr(0, slash), kind = rest.substr(slash + 1);
        if (!goodNode(node)) return drop("bad node name");
        const std::string name(node);
        if (!only.empty() && name != only) return drop("another node");

        LiveMessage live;
        BridgeInfo bridge;
        std::string text;
        if (kind == "status" || kind == "link") {
            const bool status = kind == "status";
            text = std::string(payload);
            const bool ok = status ? text == "online" || text == "offline"
                                   : text == kLinkUp || text == kLinkDown;
            if (!ok) return drop(std::string(kind) + " from " + name + ": not a state");
        } else if (kind == "live") {
            if (std::string why = parseLive(payload, live); !why.empty())
                return drop("live from " + name + ": " + why);
        } else if (kind == "bridge") {
            if (std::string why = parseBridge(payload, bridge); !why.empty())
                return drop("bridge from " + name + ": " + why);
        } else {
            return;  // the channels' state and other topics of the node: not watched
        }
        bool wake = false;
        {
            std::lock_guard lk(m);
            auto it = nodes.find(name);
            if (it == nodes.end()) {
                if (nodes.size() >= kMaxNodes) {
                    lastDropped = "too many nodes";
                    ++dropped;
                    return;
                }
                it = nodes.emplace(name, RemoteNode{}).first;
                it->second.node = name;
            }
            RemoteNode& n = it->second;
            if (kind == "status") n.status = text;
            else if (kind == "link") n.link = text;
            else if (kind == "live") {
                // A channel left out keeps what it had.
                for (size_t i = 0; i < 2; ++i)
                    if (live.ch[i].count) n.live.ch[i] = std::move(live.ch[i]);
                ++n.liveCount;
            } else {
                n.bridge = std::move(bridge);
                ++n.bridgeCount;
            }
            changed.insert(name);
            wake = !woken;
            woken = true;
        }
        ++accepted;
        if (wake && notify) notify();
    }
};

MqttWatcher::MqttWatcher(MqttSettings settings, std::string node)
    : settings_(std::move(settings)), node_(std::move(node)), shared_(std::make_shared<Shared>()) {}

MqttWatcher::~MqttWatcher() { stop(); }

void MqttWatcher::start() {
    if (shared_->mosq) return;
    const std::string problem = checkMqttSettings(settings_);
    if (!problem.empty()) {
        shared_->setStatus(problem, false);
        return;
    }
    // A name with a wildcard would subscribe to other nodes' topics.
    if (!node_.empty() && !goodNode(node_)) {
        shared_->setStatus("bad setting: node \"" + node_ + "\" is not a-z A-Z 0-9 _ -", false);
        return;
    }
    mosquitto_lib_init();
    Shared& sh = *shared_;
    sh.notify = notify;
    sh.base = settings_.baseTopic;
    sh.only = node_;
    sh.where = settings_.host + ":" + std::to_string(settings_.port);
    const std::string id = "quellon-watch-" + settings_.node + "-" + std::to_string(getpid());
    sh.mosq = mosquitto_new(id.c_str(), true, &sh);
    if (!sh.mosq) {
        sh.setStatus("cannot create the MQTT client", false);
        return;
    }
    mosquitto_int_option(sh.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!settings_.username.empty())
        mosquitto_username_pw_set(
            sh.mosq, settings_.username.c_str(),
            settings_.passwordFile.empty() ? nullptr : settings_.password.c_str());
    if (!settings_.caFile.empty() &&
        (mosquitto_tls_set(sh.mosq, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr) !=
             MOSQ_ERR_SUCCESS ||
         mosquitto_tls_opts_set(sh.mosq, 1, nullptr, nullptr) != MOSQ_ERR_SUCCESS)) {
        sh.setStatus("bad setting: CA file \"" + settings_.caFile + "\" is not usable", false);
        mosquitto_destroy(sh.mosq);
        sh.mosq = nullptr;
        return;
    }
    mosquitto_reconnect_delay_set(sh.mosq, 1, 30, true);
    mosquitto_connect_callback_set(sh.mosq, [](mosquitto* mosq, void* self, int rc) {
        auto& s = *static_cast<Shared*>(self);
        if (rc != 0) {
            s.setStatus(s.where + " refused the connection (" + mosquitto_connack_string(rc) +
                            "); retrying",
                        false);
            return;
        }
        const std::string node = s.only.empty() ? "+" : s.only;
        for (const char* kind : {"status", "link", "live", "bridge"}) {
            const std::string topic = s.base + "/" + node + "/" + kind;
            mosquitto_subscribe(mosq, nullptr, topic.c_str(), 0);
        }
        s.setStatus("watching " + s.base + "/" + node + " at " + s.where, true);
    });
    mosquitto_disconnect_callback_set(sh.mosq, [](mosquitto*, void* self, int rc) {
        auto& s = *static_cast<Shared*>(self);
        if (rc != 0) s.setStatus("connection to " + s.where + " lost; retrying", false);
    });
    mosquitto_message_callback_set(
        sh.mosq, [](mosquitto*, void* self, const mosquitto_message* msg) {
            if (!msg->topic) return;
            static_cast<Shared*>(self)->onMessage(
                msg->topic, std::string_view(static_cast<const char*>(msg->payload),
                                             static_cast<size_t>(std::max(0, msg->payloadlen))));
        });
    sh.setStatus("connecting to " + sh.where, false);
    const int rc =
        mosquitto_connect_async(sh.mosq, settings_.host.c_str(), settings_.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS)
        sh.setStatus("cannot reach the broker at " + sh.where + " (" + mosquitto_strerror(rc) +
                         "); retrying",
                     false);
    // The loop's thread reconnects by itself, also after a failed first try.
    mosquitto_loop_start(sh.mosq);
}

void MqttWatcher::stop() {
    Shared& sh = *shared_;
    if (!sh.mosq) return;
    mosquitto_disconnect(sh.mosq);
    mosquitto_loop_stop(sh.mosq, true);
    mosquitto_destroy(sh.mosq);
    sh.mosq = nullptr;
    sh.setStatus("stopped", false);
}

std::vector<RemoteNode> MqttWatcher::take() {
    std::lock_guard lk(shared_->m);
    std::vector<RemoteNode> out;
    out.reserve(shared_->changed.size());
    for (const std::string& n : shared_->changed) out.push_back(shared_->nodes.at(n));
    shared_->changed.clear();
    shared_->woken = false;
    return out;
}

std::string MqttWatcher::statusText() const {
    std::lock_guard lk(shared_->m);
    return shared_->statusText;
}

bool MqttWatcher::connected() const {
    std::lock_guard lk(shared_->m);
    return shared_->connected;
}

uint64_t MqttWatcher::accepted() const { return shared_->accepted; }
uint64_t MqttWatcher::dropped() const { return shared_->dropped; }

std::string MqttWatcher::lastDropped() const {
    std::lock_guard lk(shared_->m);
    return shared_->lastDropped;
}

}  // namespace quellon
