#include "alarm/AlarmCommand.h"

#include <QProcess>
#include <cstdio>

#include "alarm/AlarmJournal.h"

namespace quellon::alarm {

AlarmCommand::AlarmCommand(const std::string& commandLine, std::function<int64_t()> nowMs)
    : now_(std::move(nowMs)) {
    QStringList parts = QProcess::splitCommand(QString::fromStdString(commandLine));
    if (!parts.isEmpty()) {
        program_ = parts.takeFirst();
        args_ = parts;
    }
}

AlarmCommand::~AlarmCommand() {
    if (running_) {
        // The program goes on; this one does not wait for it.
        running_->disconnect(this);
        running_->setParent(nullptr);
        running_->kill();
        running_->waitForFinished(1000);
        delete running_;
    }
}

void AlarmCommand::report(const std::string& text) {
    status_ = text;
    emit changed();
}

void AlarmCommand::onAlarm(const AlarmEvent& e, int64_t) {
    if (e.edge != AlarmEdge::Start || program_.isEmpty() || running_) return;
    const int64_t now = now_();
    if (lastRun_ && now - *lastRun_ < kMinGapMs && now >= *lastRun_) return;
    lastRun_ = now;
    ++runs_;
    char fwd[32];
    std::snprintf(fwd, sizeof fwd, "%.1f", e.forwardW);
    QStringList args = args_;
    args << QString::fromLatin1(e.channelName()) << QString::fromStdString(swrText(e.swr))
         << QString::fromLatin1(fwd);
    auto* p = new QProcess(this);
    running_ = p;
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    const std::string name = program_.toStdString();
    connect(p, &QProcess::errorOccurred, this, [this, p, name](QProcess::ProcessError err) {
        if (err == QProcess::FailedToStart) {
            report("Alarm command \"" + name +
                   "\" could not be started: " + p->errorString().toStdString());
            running_ = nullptr;
            p->deleteLater();
        }
    });
    connect(p, &QProcess::finished, this, [this, p, name](int code, QProcess::ExitStatus st) {
        if (st == QProcess::CrashExit) report("Alarm command \"" + name + "\" crashed");
        else if (code != 0)
            report("Alarm command \"" + name + "\" ended with code " + std::to_string(code));
        else if (!status_.empty()) report({});
        running_ = nullptr;
        p->deleteLater();
    });
    p->start(program_, args);
}

}  // namespace quellon::alarm
