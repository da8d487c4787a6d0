#include "alarm/AlarmSound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <algorithm>

namespace quellon::alarm {

namespace {

// Endless tone for the audio output to pull from.
class ToneDevice : public QIODevice {
public:
    ToneDevice(int rate, int hz) : tone_(rate, hz) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const auto n = static_cast<size_t>(maxSize / 2);
        tone_.fill(reinterpret_cast<int16_t*>(data), n);
        return static_cast<qint64>(n * 2);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    AlarmTone tone_;
};

}  // namespace

AlarmSound::AlarmSound(bool enabled, int toneHz, std::function<int64_t()> nowMs)
    : enabled_(enabled), hz_(toneHz), now_(std::move(nowMs)) {
    muteEnd_.setSingleShot(true);
    connect(&muteEnd_, &QTimer::timeout, this, [this] { unmute(); });
}

AlarmSound::~AlarmSound() { stop(); }

void AlarmSound::onAlarm(const AlarmEvent& e, int64_t) {
    active_[e.channel == 1 ? 1 : 0] = e.edge == AlarmEdge::Start;
    // Each alarm tries the output again: a headset plugged in since is heard.
    if (e.edge == AlarmEdge::Start) failed_ = false;
    update();
}

int64_t AlarmSound::muteLeftMs() const {
    return muteUntil_ ? std::max<int64_t>(0, *muteUntil_ - now_()) : 0;
}

void AlarmSound::mute() {
    muteUntil_ = now_() + kMuteMs;
    muteEnd_.start(static_cast<int>(kMuteMs));
    update();
    emit changed();
}

void AlarmSound::unmute() {
    muteUntil_.reset();
    muteEnd_.stop();
    update();
    emit changed();
}

void AlarmSound::update() {
    const bool want = enabled_ && !failed_ && !muted() && (active_[0] || active_[1]);
    if (want && !playing_) start();
    else if (!want && playing_) stop();
}

void AlarmSound::fail(const std::string& why) {
    failed_ = true;
    status_ = why;
    stop();
    emit changed();
}

void AlarmSound::start() {
    const QAudioDevice dev = QMediaDevices::defaultAudioOutput();
    if (dev.isNull()) {
        fail("No audio output: the alarm cannot be heard");
        return;
    }
    QAudioFormat f;
    f.setSampleRate(48000);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    if (!dev.isFormatSupported(f)) f = dev.preferredFormat();
    if (f.sampleFormat() != QAudioFormat::Int16 || f.channelCount() != 1) {
        f.setChannelCount(1);
        f.setSampleFormat(QAudioFormat::Int16);
    }
    sink_ = new QAudioSink(dev, f, this);
    // A short buffer: the tone is heard within a tenth of a second of the
    // alarm, and stops as soon after its end.
    sink_->setBufferSize(f.bytesForDuration(80000));
    auto* source = new ToneDevice(f.sampleRate(), hz_);
    source->setParent(sink_);
    connect(sink_, &QAudioSink::stateChanged, this, [this](QAudio::State) {
        if (sink_ && sink_->error() != QAudio::NoError && sink_->error() != QAudio::UnderrunError)
            fail("The audio output failed: the alarm cannot be heard");
    });
    sink_->start(source);
    if (sink_->error() == QAudio::OpenError) {
        fail("The audio output cannot be opened: the alarm cannot be heard");
        return;
    }
    playing_ = true;
    status_.clear();
    emit changed();
}

void AlarmSound::stop() {
    if (sink_) {
        // Later: stop() may come from the sink's own signal.
        sink_->disconnect(this);
        sink_->stop();
        sink_->deleteLater();
        sink_ = nullptr;
    }
    if (playing_) {
        playing_ = false;
        emit changed();
    }
}

}  // namespace quellon::alarm
