#pragma once
// Everything of the SWR alarm, put together for the program: the monitor on
// the session's readings, and on the monitor the journal, the tone, the
// user's command, the tray icon and the big view. Other features (the rig,
// MQTT) subscribe to monitor().

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "alarm/AlarmCommand.h"
#include "alarm/AlarmJournal.h"
#include "alarm/AlarmMonitor.h"
#include "alarm/AlarmSettings.h"
#include "alarm/AlarmSound.h"

namespace quellon::alarm {

class AlarmTray;
class frmBigView;

class AlarmStation {
public:
    // Reads the settings (sections Alarm and BigView); opens the big view at
    // once when BigView Open says so.
    AlarmStation(ReadingBus& bus, const std::string& settingsPath, const std::string& programDir);
    ~AlarmStation();

    AlarmMonitor& monitor() { return monitor_; }
    AlarmSound& sound() { return sound_; }
    AlarmJournal& journal() { return journal_; }
    const AlarmSettings& settings() const { return settings_; }
    // Opens the (single) big view, or brings it to the front.
    void showBigView();
    // Another feature's status line for the big view's status area (the rig's).
    void setExtraStatus(std::function<std::string()> source);
    frmBigView* bigView() const { return bigView_.get(); }
    AlarmTray* tray() const { return tray_.get(); }

private:
    ReadingBus& bus_;
    std::string settingsPath_;
    AlarmSettings settings_;
    AlarmMonitor monitor_;
    AlarmJournal journal_;
    AlarmSound sound_;
    AlarmCommand command_;
    std::unique_ptr<AlarmTray> tray_;
    std::unique_ptr<frmBigView> bigView_;
    std::function<std::string()> extraStatus_;
    QTimer poll_;
};

}  // namespace quellon::alarm
