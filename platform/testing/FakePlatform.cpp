#include "platform/testing/FakePlatform.h"

#include <algorithm>
#include <cstdio>

namespace quellon {

namespace {
uint64_t standaloneIds = 1ull << 62;  // ids of ports made without a platform
}

// ---------------------------------------------------------------- FakeSerialPort

FakeSerialPort::FakeSerialPort(FakePlatform* platform)
    : platform_(platform), id_(platform ? platform->nextId() : ++standaloneIds) {
    if (platform_) platform_->registerPort(this);
}

FakeSerialPort::~FakeSerialPort() {
    if (platform_) platform_->unregisterPort(this);
}

void FakeSerialPort::setPortNumber(int n) {
    if (open_ && n != portNumber_)
        throw SerialError(serr::PortOpenAlready, "Operation not valid while the port is opened");
    if (n < 1) throw SerialError(serr::InvalidPortNumber, "Invalid port number");
    portNumber_ = n;
}

void FakeSerialPort::setSettings(const std::string& settings) {
    parseSerialSettings(settings);  // throws 380 when malformed
    settings_ = settings;
}

void FakeSerialPort::open() {
    ++openAttempts_;
    if (open_)
        throw SerialError(serr::PortOpenAlready, "Operation not valid while the port is opened");
    if (nextOpenError_) {
        SerialError e = *nextOpenError_;
        nextOpenError_.reset();
        throw e;
    }
    if (openError) throw *openError;
    if (platform_) {
        auto it = platform_->openFailures.find(portNumber_);
        if (it != platform_->openFailures.end()) throw it->second;
        if (platform_->exclusivePorts) {
            for (auto& [id, other] : platform_->ports_)
                if (other != this && other->open_ && other->portNumber_ == portNumber_)
                    throw SerialError(serr::PortInUse, "Port In Use");
        }
    }
    open_ = true;
    hungUp_ = false;
    hangupPending_ = false;
    rx_.clear();
    ++opens_;
}

void FakeSerialPort::close() {
    if (!open_) return;
    open_ = false;
    rx_.clear();
    receivePending_ = false;
    ++closes_;
}

void FakeSerialPort::checkUsable(const char* what) const {
    if (hungUp_)
        throw SerialError(serr::PortError,
                          std::string("Port ERROR: the line is gone (") + what + ")");
    if (!open_) throw SerialError(serr::PortNotOpen, "Operation valid only when the port is open");
}

void FakeSerialPort::write(const std::string& data) {
    checkUsable("write");
    written_.push_back(data);
    if (onWrite) {
        // Copy: the responder may replace itself.
        auto responder = onWrite;
        responder(data, *this);
    }
}

std::string FakeSerialPort::read(size_t max) {
    checkUsable("read");
    std::string out;
    if (max >= rx_.size()) {
        out.swap(rx_);
    } else {
        out = rx_.substr(0, max);
        rx_.erase(0, max);
    }
    return out;
}

bool FakeSerialPort::hasBytes() {
    checkUsable("hasBytes");
    return !rx_.empty();
}

void FakeSerialPort::feed(const std::string& bytes) {
    if (!open_) {
        dropped_ += static_cast<int>(bytes.size());
        return;
    }
    rx_ += bytes;
    if (!bytes.empty()) receivePending_ = true;
}

void FakeSerialPort::feedAfter(int ms, const std::string& bytes) {
    if (!platform_) {
        feed(bytes);
        return;
    }
    FakePlatform* plat = platform_;
    const uint64_t id = id_;
    plat->after(ms, [plat, id, bytes] {
        if (FakeSerialPort* p = plat->portById(id)) p->feed(bytes);
    });
}

void FakeSerialPort::hangup() {
    if (!open_ && !hungUp_) return;
    open_ = false;
    hungUp_ = true;
    rx_.clear();
    receivePending_ = false;
    hangupPending_ = true;
}

std::string FakeSerialPort::writtenText() const {
    std::string all;
    for (const auto& w : written_) all += w;
    return all;
}

void FakeSerialPort::deliverEvents() {
    if (inHandler_) return;
    if (receivePending_) {
        receivePending_ = false;
        // Checked again: the bytes may have been read meanwhile.
        if (open_ && !rx_.empty() && onBytes_) {
            const uint64_t id = id_;
            FakePlatform* plat = platform_;
            inHandler_ = true;
            ++delivered_;
            auto h = onBytes_;
            try {
                h();
            } catch (...) {
                if (!plat || plat->portById(id)) inHandler_ = false;
                throw;
            }
            // The handler may have destroyed the port.
            if (plat && !plat->portById(id)) return;
            inHandler_ = false;
        }
    }
    if (hangupPending_) {
        hangupPending_ = false;
        if (onHangup_) {
            ++delivered_;
            auto h = onHangup_;
            h();
        }
    }
}

// ---------------------------------------------------------------- FakeTimer

FakeTimer::FakeTimer(FakePlatform& platform) : platform_(platform), id_(platform.nextId()) {
    platform_.registerTimer(this);
}

FakeTimer::~FakeTimer() { platform_.unregisterTimer(this); }

void FakeTimer::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    if (active_) start();
}

void FakeTimer::start() {
    active_ = true;
    due_ = platform_.now + static_cast<uint32_t>(interval_);
}

// ---------------------------------------------------------------- FakePlatform

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform() {
    // Ports may outlive us in a test: cut them loose so they do not call back.
    for (auto& [id, p] : ports_) p->platform_ = nullptr;
}

void FakePlatform::processEvents() {
    ++processEventsCalls;
    if (pumpStepMs > 0) now += static_cast<uint32_t>(pumpStepMs);
    if (onProcessEvents) {
        auto hook = onProcessEvents;
        hook();
    }

    // Scheduled actions that are due, in due order; those added meanwhile wait
    // for the next round.
    std::vector<Action> due;
    for (auto it = actions_.begin(); it != actions_.end();) {
        if (tickReached(now, it->due)) {
            due.push_back(std::move(*it));
            it = actions_.erase(it);
        } else {
            ++it;
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Action& a, const Action& b) {
        if (a.due != b.due) return static_cast<int32_t>(a.due - b.due) < 0;
        return a.seq < b.seq;
    });
    for (auto& a : due) a.fn();

    // Port notifications; a handler may destroy ports, so look each one up again.
    std::vector<uint64_t> portIds;
    for (auto& [id, p] : ports_) portIds.push_back(id);
    for (uint64_t id : portIds)
        if (FakeSerialPort* p = portById(id)) p->deliverEvents();

    // Timers: each due timer fires once per round; an overdue one is not
    // fired several times to catch up, and one whose handler is still running
    // (we are inside it) is skipped.
    std::vector<uint64_t> timerIds;
    for (auto& [id, t] : timers_) timerIds.push_back(id);
    for (uint64_t id : timerIds) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        FakeTimer* t = it->second;
        if (!t->active_ || t->interval_ <= 0 || t->running_ || !tickReached(now, t->due_)) continue;
        t->due_ += static_cast<uint32_t>(t->interval_);
        if (tickReached(now, t->due_)) t->due_ = now + static_cast<uint32_t>(t->interval_);
        ++t->fired_;
        if (!t->onTimeout) continue;
        t->running_ = true;
        auto fn = t->onTimeout;
        try {
            fn();
        } catch (...) {
            if (timers_.count(id)) t->running_ = false;
            throw;
        }
        if (timers_.count(id)) t->running_ = false;
    }
}

void FakePlatform::advance(int ms) {
    if (ms <= 0) return;
    const uint32_t target = now + static_cast<uint32_t>(ms);
    while (!tickReached(now, target)) {
        const uint32_t before = now;
        processEvents();
        if (now == before) now += 1;  // a frozen pump step must not hang the test
    }
}

bool FakePlatform::runUntil(const std::function<bool()>& pred, int maxMs) {
    const uint32_t target = now + static_cast<uint32_t>(maxMs < 0 ? 0 : maxMs);
    while (!pred()) {
        if (tickReached(now, target)) return pred();
        const uint32_t before = now;
        processEvents();
        if (now == before) now += 1;
    }
    return true;
}

void FakePlatform::at(uint32_t tickMs, std::function<void()> fn) {
    actions_.push_back(Action{tickMs, ++actionSeq_, std::move(fn)});
}

void FakePlatform::after(int ms, std::function<void()> fn) {
    at(now + static_cast<uint32_t>(ms < 0 ? 0 : ms), std::move(fn));
}

int FakePlatform::messageBox(const std::string& text, int style, const std::string& title) {
    messageBoxes.push_back(MessageBoxCall{text, style, title});
    if (whileMessageBoxShown) {
        auto fn = whileMessageBoxShown;
        const MessageBoxCall call = messageBoxes.back();  // the vector may grow meanwhile
        fn(call);
    }
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    return defaultAnswer;
}

namespace {
class FakeShownMessage : public ShownMessage {
public:
    explicit FakeShownMessage(std::shared_ptr<FakeMessage> m) : m_(std::move(m)) {}
    ~FakeShownMessage() override { close(); }
    bool isOpen() const override { return m_->open; }
    void close() override {
        if (!m_->open) return;
        m_->open = false;
        m_->closedByProgram = true;
    }
    void raise() override { ++m_->raises; }

private:
    std::shared_ptr<FakeMessage> m_;
};
}  // namespace

std::unique_ptr<ShownMessage> FakePlatform::showMessage(const std::string& text, int style,
                                                        const std::string& title) {
    messageBoxes.push_back(MessageBoxCall{text, style, title, true});
    auto m = std::make_shared<FakeMessage>(FakeMessage{text, style});
    shownMessages.push_back(m);
    return std::make_unique<FakeShownMessage>(std::move(m));
}

std::vector<std::string> FakePlatform::openMessages() const {
    std::vector<std::string> texts;
    for (const auto& m : shownMessages)
        if (m->open) texts.push_back(m->text);
    return texts;
}

bool FakePlatform::answerMessage(const std::string& text) {
    for (const auto& m : shownMessages) {
        if (m->open && m->text == text) {
            m->open = false;
            return true;
        }
    }
    return false;
}

std::unique_ptr<SerialPort> FakePlatform::newSerialPort() {
    auto port = std::make_unique<FakeSerialPort>(this);
    ++portsCreated;
    if (onNewPort) onNewPort(*port);
    return port;
}

std::unique_ptr<Timer> FakePlatform::newTimer() { return std::make_unique<FakeTimer>(*this); }

void FakePlatform::endProgram(int code) {
    std::fflush(stdout);
    endedCode = code;
    throw ProgramEnded{code};
}

std::vector<FakeSerialPort*> FakePlatform::ports() const {
    std::vector<FakeSerialPort*> out;
    for (auto& [id, p] : ports_) out.push_back(p);
    return out;
}

FakeSerialPort* FakePlatform::lastPort() const {
    return ports_.empty() ? nullptr : ports_.rbegin()->second;
}

FakeSerialPort* FakePlatform::portById(uint64_t id) const {
    auto it = ports_.find(id);
    return it == ports_.end() ? nullptr : it->second;
}

std::vector<FakeTimer*> FakePlatform::timers() const {
    std::vector<FakeTimer*> out;
    for (auto& [id, t] : timers_) out.push_back(t);
    return out;
}

}  // namespace quellon
