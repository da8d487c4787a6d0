#include "rig/RigClient.h"

#include <hamlib/rig.h>

#include <cmath>
#include <cstdio>

namespace quellon::rig {

namespace {

RIG* asRig(void* p) { return static_cast<RIG*>(p); }

// Hamlib's configuration by name; a token the backend does not know is skipped.
void setConf(RIG* r, const char* name, const std::string& value) {
    const token_t t = rig_token_lookup(r, name);
    if (t != RIG_CONF_END) rig_set_conf(r, t, value.c_str());
}

// Hamlib's words for an error code, first line only: the text may carry the
// backend's debug trail after it.
std::string hamlibError(int code) {
    const char* t = rigerror(code);
    std::string s = t ? t : "";
    s = s.substr(0, s.find('\n'));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s.empty() ? "error " + std::to_string(code) : s;
}

}  // namespace

std::string frequencyText(int64_t hz) {
    if (hz <= 0) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%06lld MHz", static_cast<long long>(hz / 1000000),
                  static_cast<long long>(hz % 1000000));
    return buf;
}

RigClient::RigClient(RigSettings s) : s_(std::move(s)) { status_.model = s_.model; }

RigClient::~RigClient() { stop(); }

void RigClient::start() {
    if (thread_.joinable()) return;
    {
        std::lock_guard lock(m_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void RigClient::stop() {
    {
        std::lock_guard lock(m_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

RigTag RigClient::tag() const {
    std::lock_guard lock(m_);
    return status_.tag;
}

RigStatus RigClient::status() const {
    std::lock_guard lock(m_);
    return status_;
}

std::string RigClient::statusText() const {
    const RigStatus st = status();
    if (st.connected) {
        std::string t = "Rig: " + st.modelName + " (" + std::to_string(st.model) + ")";
        if (st.tag.known()) t += ", " + frequencyText(st.tag.hz) + " " + st.tag.mode;
        return t;
    }
    if (st.error.empty()) return "Rig: connecting to " + s_.device;
    return "Rig: rig not answering; retrying in " + std::to_string(st.retryInSeconds) + " s (" +
           st.error + ")";
}

void RigClient::requestPttOff(std::function<void(const PttResult&)> done) {
    {
        std::lock_guard lock(m_);
        pttDone_.push_back(std::move(done));
        if (!pttPending_) pttAsked_ = Clock::now();
        pttPending_ = true;
    }
    cv_.notify_all();
}

void RigClient::run() {
    rig_set_debug(RIG_DEBUG_NONE);
    // The first attempt is made at once: a default time point is not "long ago".
    nextTry_ = Clock::now();
    nextPoll_ = Clock::now();
    std::unique_lock lock(m_);
    while (!stopping_) {
        const bool ptt = pttPending_;
        lock.unlock();
        const auto now = Clock::now();
        if (ptt) {
            pttOff();
        } else if (!rig_) {
            if (now >= nextTry_) open();
        } else if (now >= nextPoll_) {
            nextPoll_ = now + std::chrono::milliseconds(s_.pollMs);
            poll();
        }
        lock.lock();
        if (stopping_ || pttPending_) continue;
        const auto until = rig_ ? nextPoll_ : nextTry_;
        cv_.wait_until(lock, until, [this] { return stopping_ || pttPending_; });
    }
    lock.unlock();
    close();
}

bool RigClient::open() {
    RIG* r = rig_init(static_cast<rig_model_t>(s_.model));
    if (!r) {
        failed("Hamlib has no rig model " + std::to_string(s_.model), 0);
        return false;
    }
    setConf(r, "rig_pathname", s_.device);
    if (s_.speed > 0) setConf(r, "serial_speed", std::to_string(s_.speed));
    // A rig that does not answer is given up on quickly: the poll comes round
    // again soon, and a PTT-off request must not wait behind a long retry.
    setConf(r, "timeout", "400");
    setConf(r, "retry", "0");
    const int rc = rig_open(r);
    if (rc != RIG_OK) {
        rig_cleanup(r);
        failed("cannot open " + s_.device, rc);
        return false;
    }
    rig_ = r;
    backoffMs_ = kFirstBackoffMs;
    {
        std::lock_guard lock(m_);
        status_.connected = true;
        status_.modelName = r->caps && r->caps->model_name ? r->caps->model_name : "";
        status_.error.clear();
        status_.retryInSeconds = 0;
        ++status_.opens;
    }
    nextPoll_ = Clock::now();
    return true;
}

void RigClient::close() {
    if (!rig_) return;
    rig_close(asRig(rig_));
    rig_cleanup(asRig(rig_));
    rig_ = nullptr;
}

void RigClient::failed(const std::string& what, int code) {
    close();
    const auto now = Clock::now();
    nextTry_ = now + std::chrono::milliseconds(backoffMs_);
    std::lock_guard lock(m_);
    status_.connected = false;
    status_.tag = RigTag{};
    status_.error = code ? what + ": " + hamlibError(code) : what;
    status_.retryInSeconds = (backoffMs_ + 999) / 1000;
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
}

bool RigClient::poll() {
    RIG* r = asRig(rig_);
    freq_t f = 0;
    int rc = rig_get_freq(r, RIG_VFO_CURR, &f);
    if (rc != RIG_OK) {
        failed("frequency not read", rc);
        return false;
    }
    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    rc = rig_get_mode(r, RIG_VFO_CURR, &mode, &width);
    if (rc != RIG_OK) {
        failed("mode not read", rc);
        return false;
    }
    RigTag t;
    t.hz = std::llround(f);
    t.mode = mode == RIG_MODE_NONE ? "" : rig_strrmode(mode);
    {
        std::lock_guard lock(m_);
        status_.tag = std::move(t);
    }
    ++polls_;
    return true;
}

void RigClient::pttOff() {
    std::vector<std::function<void(const PttResult&)>> done;
    Clock::time_point asked;
    {
        std::lock_guard lock(m_);
        done.swap(pttDone_);
        asked = pttAsked_;
        pttPending_ = false;
    }
    PttResult res;
    // Not connected: one attempt now, whatever the back-off says; the
    // transmitter may be on a bad load.
    if (rig_ || open()) {
        RIG* r = asRig(rig_);
        int rc = rig_set_ptt(r, RIG_VFO_CURR, RIG_PTT_OFF);
        ptt_t now = RIG_PTT_ON;
        if (rc == RIG_OK) rc = rig_get_ptt(r, RIG_VFO_CURR, &now);
        if (rc != RIG_OK) {
            res.error = "PTT not set off: " + hamlibError(rc);
            failed("PTT not set off", rc);
        } else if (now != RIG_PTT_OFF) {
            res.error = "the rig still reports PTT on";
        } else {
            res.ok = true;
        }
    } else {
        res.error = "rig not reachable: " + status().error;
    }
    res.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
    for (auto& fn : done)
        if (fn) fn(res);
}

}  // namespace quellon::rig
