#pragma once
// The alarm heard: while any channel is in alarm and the sound is neither
// switched off nor muted, the tone plays through the default audio output.
// Mute silences it for ten minutes (also alarms that start meanwhile). No
// audio output, or one that fails, is said once in status() and the program
// goes on without sound.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "alarm/AlarmMonitor.h"
#include "alarm/AlarmTone.h"

class QAudioSink;
class QIODevice;

namespace quellon::alarm {

class AlarmSound : public QObject, public AlarmSubscriber {
    Q_OBJECT
public:
    static constexpr int64_t kMuteMs = 10 * 60 * 1000;

    // nowMs: the steady clock of the mute's time left.
    AlarmSound(bool enabled, int toneHz, std::function<int64_t()> nowMs);
    ~AlarmSound() override;

    void onAlarm(const AlarmEvent& e, int64_t epochMs) override;

    void mute();
    void unmute();
    bool muted() const { return muteLeftMs() > 0; }
    int64_t muteLeftMs() const;
    bool enabled() const { return enabled_; }
    bool playing() const { return playing_; }
    // Empty, or why the alarm cannot be heard ("No audio output: ...").
    const std::string& status() const { return status_; }

signals:
    void changed();  // playing, muted or status changed

private:
    void update();
    void start();
    void stop();
    void fail(const std::string& why);

    bool enabled_;
    int hz_;
    std::function<int64_t()> now_;
    bool active_[2] = {false, false};
    std::optional<int64_t> muteUntil_;
    QTimer muteEnd_;
    QAudioSink* sink_ = nullptr;  // with its tone source as a child
    bool playing_ = false;
    bool failed_ = false;
    std::string status_;
};

}  // namespace quellon::alarm
