#pragma once
// The alarm seen from anywhere on the desktop: a tray icon whose colour says
// streaming (green), alarm (red) or no bridge (grey), the latest values as its
// tool tip, and a menu with the big view and Mute. A desktop notification when
// an alarm starts and when the bridge is lost, at most one a minute for each.
// Without a tray (some desktops, a bare X server) the notifications go to the
// desktop's notification service directly, and nothing else is missed.

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "alarm/AlarmMonitor.h"

class QSystemTrayIcon;
class QMenu;
class QAction;

namespace quellon::alarm {

class AlarmSound;

class AlarmTray : public QObject, public ReadingListener, public AlarmSubscriber {
    Q_OBJECT
public:
    static constexpr int64_t kNoticeGapMs = 60000;
    enum class Light { NoBridge, Streaming, Alarm };

    AlarmTray(AlarmMonitor& monitor, AlarmSound* sound, std::function<void()> showBigView);
    ~AlarmTray() override;

    void onReading(const ReadingEvent& e) override;
    void onLinkState(LinkState s) override;
    void onAlarm(const AlarmEvent& e, int64_t epochMs) override;

    bool hasTray() const { return tray_ != nullptr; }
    Light light() const;
    std::string toolTip() const;
    // Where notifications go; the default shows them in the tray or through
    // the desktop's notification service. Returns nothing.
    std::function<void(const std::string& title, const std::string& text)> notify;
    int notices() const { return notices_; }

private:
    void refresh();
    void notice(int cause, const std::string& title, const std::string& text);

    AlarmMonitor& monitor_;
    AlarmSound* sound_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_ = nullptr;
    QAction* muteAction_ = nullptr;
    QTimer timer_;
    bool streaming_ = false;
    Light shown_ = Light::Alarm;  // anything but the first light, so the first refresh draws
    struct Latest {
        bool seen = false;
        int16_t fwd = 0;
        double swr = 0;
        SwrKind kind = SwrKind::NoPower;
    };
    std::array<Latest, 2> latest_{};
    std::array<std::optional<int64_t>, 2> lastNotice_{};  // 0 alarm, 1 bridge lost
    int notices_ = 0;
};

}  // namespace quellon::alarm
