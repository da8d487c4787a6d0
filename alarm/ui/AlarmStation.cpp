#include "alarm/ui/AlarmStation.h"

#include <cstdio>

#include "alarm/ui/AlarmTray.h"
#include "alarm/ui/frmBigView.h"

namespace quellon::alarm {

AlarmStation::AlarmStation(ReadingBus& bus, const std::string& settingsPath,
                           const std::string& programDir)
    : bus_(bus),
      settingsPath_(settingsPath),
      settings_(readAlarmSettings(settingsPath)),
      monitor_(settings_.condition),
      journal_(journalPathFor(settingsPath, programDir)),
      sound_(settings_.sound, settings_.toneHz, [this] { return monitor_.nowMs(); }),
      command_(settings_.command, [this] { return monitor_.nowMs(); }) {
    for (const std::string& n : settings_.notices) std::fprintf(stderr, "quellon: %s\n", n.c_str());
    monitor_.subscribe(&journal_);
    monitor_.subscribe(&sound_);
    monitor_.subscribe(&command_);
    tray_ = std::make_unique<AlarmTray>(monitor_, &sound_, [this] { showBigView(); });
    bus_.subscribe(&monitor_);
    bus_.subscribe(tray_.get());
    // Decides an alarm's start or end when the frames stop coming.
    QObject::connect(&poll_, &QTimer::timeout, [this] { monitor_.poll(); });
    poll_.start(50);
    if (settings_.bigViewOpen) showBigView();
}

AlarmStation::~AlarmStation() {
    bus_.unsubscribe(&monitor_);
    bus_.unsubscribe(tray_.get());
    if (bigView_) bus_.unsubscribe(bigView_.get());
    bigView_.reset();
    tray_.reset();
    monitor_.unsubscribe(&journal_);
    monitor_.unsubscribe(&sound_);
    monitor_.unsubscribe(&command_);
}

void AlarmStation::setExtraStatus(std::function<std::string()> source) {
    extraStatus_ = std::move(source);
    if (bigView_) bigView_->extraStatus = extraStatus_;
}

void AlarmStation::showBigView() {
    if (!bigView_) {
        bigView_ = std::make_unique<frmBigView>(
            frmBigView::Parts{&monitor_, &sound_, &journal_, &command_}, settings_, settingsPath_);
        bus_.subscribe(bigView_.get());
        bigView_->extraStatus = extraStatus_;
    }
    bigView_->show();
    bigView_->raise();
    bigView_->activateWindow();
}

}  // namespace quellon::alarm
