#include "alarm/ui/AlarmTray.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "alarm/AlarmSound.h"
#include "alarm/ui/BigReadouts.h"

namespace quellon::alarm {

namespace {

QIcon lightIcon(AlarmTray::Light l) {
    const QColor c = l == AlarmTray::Light::Alarm       ? QColor(220, 0, 0)
                     : l == AlarmTray::Light::Streaming ? QColor(0, 170, 60)
                                                        : QColor(140, 140, 140);
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 4));
    p.setBrush(c);
    p.drawEllipse(QRectF(4, 4, 56, 56));
    return QIcon(pm);
}

void desktopNotification(const std::string& title, const std::string& text) {
    // Fire and forget: no answer is waited for.
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    m << QStringLiteral("Quellon") << 0u << QString() << QString::fromStdString(title)
      << QString::fromStdString(text) << QStringList() << QVariantMap() << 10000;
    QDBusConnection::sessionBus().call(m, QDBus::NoBlock);
}

}  // namespace

AlarmTray::AlarmTray(AlarmMonitor& monitor, AlarmSound* sound, std::function<void()> showBigView)
    : monitor_(monitor), sound_(sound) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        menu_ = std::make_unique<QMenu>();
        menu_->addAction(QStringLiteral("Big view"), this, [showBigView] {
            if (showBigView) showBigView();
        });
        if (sound_) {
            muteAction_ =
                menu_->addAction(QStringLiteral("Mute the alarm for 10 minutes"), this, [this] {
                    if (sound_->muted()) sound_->unmute();
                    else sound_->mute();
                });
            connect(sound_, &AlarmSound::changed, this, [this] { refresh(); });
        }
        tray_ = new QSystemTrayIcon(this);
        tray_->setContextMenu(menu_.get());
        connect(tray_, &QSystemTrayIcon::activated, this, [showBigView](auto reason) {
            if (reason == QSystemTrayIcon::Trigger && showBigView) showBigView();
        });
        tray_->show();
    }
    notify = [this](const std::string& title, const std::string& text) {
        if (tray_)
            tray_->showMessage(QString::fromStdString(title), QString::fromStdString(text),
                               QSystemTrayIcon::Warning, 10000);
        else desktopNotification(title, text);
    };
    monitor_.subscribe(this);
    // The tool tip follows the values once a second: nobody reads it faster.
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
    if (tray_) timer_.start();
    refresh();
}

AlarmTray::~AlarmTray() { monitor_.unsubscribe(this); }

AlarmTray::Light AlarmTray::light() const {
    if (monitor_.anyActive()) return Light::Alarm;
    return streaming_ ? Light::Streaming : Light::NoBridge;
}

std::string AlarmTray::toolTip() const {
    std::string t = "Quellon";
    if (!streaming_) t += ": no bridge";
    for (int ch = 0; ch < 2; ++ch) {
        const Latest& l = latest_[static_cast<size_t>(ch)];
        if (!l.seen) continue;
        t += std::string("\n") + (ch == 0 ? "A: " : "B: ") + tenthsText(l.fwd) + " W, SWR " +
             swrReadout(l.kind, l.swr) + (monitor_.active(ch) ? "  ALARM" : "");
    }
    if (sound_ && sound_->muted())
        t += "\nAlarm muted for " + std::to_string((sound_->muteLeftMs() + 59999) / 60000) + " min";
    return t;
}

void AlarmTray::refresh() {
    if (!tray_) return;
    const Light l = light();
    if (l != shown_) {
        shown_ = l;
        tray_->setIcon(lightIcon(l));
    }
    tray_->setToolTip(QString::fromStdString(toolTip()));
    if (muteAction_)
        muteAction_->setText(sound_->muted() ? QStringLiteral("Unmute the alarm")
                                             : QStringLiteral("Mute the alarm for 10 minutes"));
}

void AlarmTray::onReading(const ReadingEvent& e) {
    const AlarmSample s = sampleOf(e);
    Latest& l = latest_[static_cast<size_t>(s.channel)];
    l.seen = true;
    l.fwd = e.reading.pwrDir;
    l.swr = s.swr;
    l.kind = e.reading.swrKind;
    if (!streaming_) {
        streaming_ = true;
        refresh();
    }
}

void AlarmTray::onLinkState(LinkState s) {
    const bool was = streaming_;
    streaming_ = s == LinkState::Streaming;
    if (was && s == LinkState::Lost)
        notice(1, "Bridge lost", "No data from the bridge: the SWR is not watched.");
    refresh();
}

void AlarmTray::onAlarm(const AlarmEvent& e, int64_t) {
    if (e.edge == AlarmEdge::Start)
        notice(0, std::string("SWR alarm on channel ") + e.channelName(),
               bannerText(e.swr, e.threshold) + " at " +
                   tenthsText(static_cast<int>(e.forwardW * 10 + 0.5)) + " W forward");
    refresh();
}

void AlarmTray::notice(int cause, const std::string& title, const std::string& text) {
    const int64_t now = monitor_.nowMs();
    auto& last = lastNotice_[static_cast<size_t>(cause)];
    if (last && now - *last < kNoticeGapMs && now >= *last) return;
    last = now;
    ++notices_;
    if (notify) notify(title, text);
}

}  // namespace quellon::alarm
