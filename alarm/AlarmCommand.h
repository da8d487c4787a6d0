#pragma once
// The user's own command, run at each alarm start: the program and its
// arguments from the settings (split as a command line, but run without a
// shell: nothing in them is interpreted), followed by three arguments of
// their own: the channel, the SWR and the forward power in watts. At most
// once every 10 s, never while the last one still runs, and never waited
// for. A failure (it did not start, or ended with a code other than 0) is
// kept in status() for the big view.

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>

#include "alarm/AlarmMonitor.h"

class QProcess;

namespace quellon::alarm {

class AlarmCommand : public QObject, public AlarmSubscriber {
    Q_OBJECT
public:
    static constexpr int64_t kMinGapMs = 10000;

    AlarmCommand(const std::string& commandLine, std::function<int64_t()> nowMs);
    ~AlarmCommand() override;

    void onAlarm(const AlarmEvent& e, int64_t epochMs) override;

    bool configured() const { return !program_.isEmpty(); }
    const std::string& status() const { return status_; }
    int runs() const { return runs_; }
    bool running() const { return running_ != nullptr; }

signals:
    void changed();  // status changed

private:
    void report(const std::string& text);

    QString program_;
    QStringList args_;
    std::function<int64_t()> now_;
    std::optional<int64_t> lastRun_;
    QProcess* running_ = nullptr;
    std::string status_;
    int runs_ = 0;
};

}  // namespace quellon::alarm
