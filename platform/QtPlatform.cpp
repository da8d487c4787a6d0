#include "platform/QtPlatform.h"

#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "platform/PortMap.h"
#include "platform/QtSerialPort.h"

// Present only in a build instrumented for coverage (linked with -u __gcov_dump):
// _exit skips the handler that would write the counters of this run.
extern "C" void __gcov_dump() __attribute__((weak));

namespace quellon {

namespace {

class QtTimer : public Timer {
public:
    QtTimer() : timer_(new QTimer) {
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, timer_, [this] { fire(); });
    }
    ~QtTimer() override {
        timer_->stop();
        timer_->disconnect();
        // Destroyed from its own tick: let Qt finish the emission first.
        if (firing_) timer_->deleteLater();
        else delete timer_;
    }
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    void setInterval(int ms) override {
        interval_ = ms < 0 ? 0 : ms;
        timer_->setInterval(interval_);
        apply();
    }
    int interval() const override { return interval_; }
    void start() override {
        active_ = true;
        apply();
    }
    void stop() override {
        active_ = false;
        timer_->stop();
    }
    bool isActive() const override { return active_; }

private:
    // An interval of 0 never fires (like the classic timer control) rather than
    // firing on every pass of the event loop.
    void apply() {
        if (active_ && interval_ > 0) timer_->start(interval_);
        else timer_->stop();
    }
    void fire() {
        auto fn = onTimeout;  // the handler may replace or destroy us
        if (!fn) return;
        std::weak_ptr<bool> alive = alive_;
        firing_ = true;
        fn();
        if (!alive.expired()) firing_ = false;
    }

    QTimer* timer_;
    int interval_ = 0;
    bool active_ = false;
    bool firing_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

QMessageBox::StandardButton toQt(int id) {
    switch (id) {
        case mb::IdOk: return QMessageBox::Ok;
        case mb::IdCancel: return QMessageBox::Cancel;
        case mb::IdAbort: return QMessageBox::Abort;
        case mb::IdRetry: return QMessageBox::Retry;
        case mb::IdIgnore: return QMessageBox::Ignore;
        case mb::IdYes: return QMessageBox::Yes;
        case mb::IdNo: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

}  // namespace

QtPlatform::QtPlatform(std::function<std::string()> settingsPath)
    : settingsPath_(std::move(settingsPath)) {}

uint32_t QtPlatform::tickCount() {
    // Milliseconds of the monotonic clock, cut to 32 bits like a tick counter.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

namespace {

void shapeBox(QMessageBox& box, const MessageBoxSpec& shape, const std::string& text,
              const std::string& title) {
    box.setTextFormat(Qt::PlainText);  // texts may carry what a device sent
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(title.empty() ? QApplication::applicationDisplayName()
                                     : QString::fromStdString(title));
    switch (shape.icon) {
        case MessageBoxSpec::Icon::Critical: box.setIcon(QMessageBox::Critical); break;
        case MessageBoxSpec::Icon::Question: box.setIcon(QMessageBox::Question); break;
        case MessageBoxSpec::Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case MessageBoxSpec::Icon::Information: box.setIcon(QMessageBox::Information); break;
        case MessageBoxSpec::Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    QMessageBox::StandardButtons buttons;
    for (int id : shape.buttons) buttons |= toQt(id);
    box.setStandardButtons(buttons);
    box.setDefaultButton(toQt(shape.defaultButton));
    box.setEscapeButton(toQt(shape.escapeButton));
}

// A modeless box that deletes itself when closed by either side.
class QtShownMessage : public ShownMessage {
public:
    explicit QtShownMessage(QMessageBox* box) : box_(box) {}
    ~QtShownMessage() override { close(); }
    bool isOpen() const override { return box_ && box_->isVisible(); }
    void close() override {
        if (box_) box_->close();
        box_.clear();
    }
    void raise() override {
        if (!box_) return;
        box_->raise();
        box_->activateWindow();
    }

private:
    QPointer<QMessageBox> box_;
};

}  // namespace

int QtPlatform::messageBox(const std::string& text, int style, const std::string& title) {
    const MessageBoxSpec shape = styleToSpec(style);
    QMessageBox box(QApplication::activeWindow());
    shapeBox(box, shape, text, title);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked) {
        const QMessageBox::StandardButton sb = box.standardButton(clicked);
        for (int id : shape.buttons)
            if (toQt(id) == sb) return id;
    }
    return shape.escapeButton;
}

std::unique_ptr<ShownMessage> QtPlatform::showMessage(const std::string& text, int style,
                                                      const std::string& title) {
    // No parent: the box must outlive the window that reported (a display
    // window unloads while its message stays on screen).
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    shapeBox(*box, styleToSpec(style), text, title);
    box->show();
    return std::make_unique<QtShownMessage>(box);
}

void QtPlatform::beep() { QApplication::beep(); }

LocalTime QtPlatform::localTime() { return localTimes_.at(QDateTime::currentMSecsSinceEpoch()); }

int QtPlatform::localOffsetAt(int64_t epochMs) {
    return QDateTime::fromMSecsSinceEpoch(epochMs, Qt::LocalTime).offsetFromUtc();
}

LocalTime QtPlatform::uncachedLocalTimeAt(int64_t epochMs) {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(epochMs, Qt::LocalTime);
    const QDate d = now.date();
    const QTime t = now.time();
    return LocalTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

std::unique_ptr<SerialPort> QtPlatform::newSerialPort() {
    auto settings = settingsPath_;
    return std::make_unique<QtSerialPort>(
        [settings](int n) { return devicePathForPort(n, settings ? settings() : std::string()); });
}

std::unique_ptr<Timer> QtPlatform::newTimer() { return std::make_unique<QtTimer>(); }

void QtPlatform::endProgram(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (__gcov_dump) __gcov_dump();
    ::_exit(code);
}

}  // namespace quellon
