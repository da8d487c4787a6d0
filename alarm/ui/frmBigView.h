#pragma once
// The big view: the read-outs large enough to read across the room, the
// alarm's banner, its Mute button and its journal. It listens to the
// readings like every feature; it copies the few numbers it shows and paints
// them a few times a second, whatever the frame rate.

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "alarm/AlarmMonitor.h"
#include "alarm/AlarmSettings.h"
#include "alarm/ui/BigReadouts.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quellon::alarm {

class AlarmSound;
class AlarmJournal;
class AlarmCommand;

class frmBigView : public QWidget, public ReadingListener, public AlarmSubscriber {
public:
    struct Parts {
        AlarmMonitor* monitor = nullptr;
        AlarmSound* sound = nullptr;  // each may be null
        AlarmJournal* journal = nullptr;
        AlarmCommand* command = nullptr;
    };
    frmBigView(const Parts& parts, const AlarmSettings& settings, std::string settingsPath);
    ~frmBigView() override;

    void onReading(const ReadingEvent& e) override;
    void onLinkState(LinkState s) override;
    void onAlarm(const AlarmEvent& e, int64_t epochMs) override;

    // Reads the channel descriptions again (the setup dialog may have changed them).
    void readDescriptions();
    void toggleFullScreen();
    // What the timer does: the clock, the flash, the mute's time left.
    void tick();

    BigReadouts* readouts() const { return readouts_; }
    QPushButton* cmdMute = nullptr;
    QPushButton* cmdJournal = nullptr;
    QLabel* lblStatus = nullptr;
    QListWidget* lstJournal = nullptr;
    // A line of another feature for the status (the rig's), asked each tick.
    std::function<std::string()> extraStatus;

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void changeEvent(QEvent* e) override;

private:
    void refreshStatus();
    void refreshJournal();
    void applyTheme();

    Parts parts_;
    AlarmSettings settings_;
    std::string settingsPath_;
    BigReadouts* readouts_;
    QTimer timer_;
    bool dirty_ = true;
    uint64_t journalSeen_ = ~uint64_t{0};
    std::string statusShown_;
    QRect normal_;  // the geometry before full screen
};

}  // namespace quellon::alarm
