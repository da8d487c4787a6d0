#include "alarm/ui/frmBigView.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <cmath>

#include "alarm/AlarmCommand.h"
#include "alarm/AlarmJournal.h"
#include "alarm/AlarmSound.h"
#include "settings/Ini.h"

namespace quellon::alarm {

namespace {
// 250 ms: the read-outs change four times a second at most (a number that
// changes faster is harder to read across a room, and each paint of digits this
// size costs), and the banner flashes at 2 Hz, on for one tick and off for the
// next. An alarm's start is painted at once, not at the next tick.
constexpr int kTickMs = 250;
constexpr int64_t kFlashHalfMs = 250;

std::string muteText(int64_t leftMs) {
    const int64_t s = (leftMs + 999) / 1000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "Muted %lld:%02lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
    return buf;
}
}  // namespace

frmBigView::frmBigView(const Parts& parts, const AlarmSettings& settings, std::string settingsPath)
    : QWidget(nullptr),
      parts_(parts),
      settings_(settings),
      settingsPath_(std::move(settingsPath)),
      readouts_(new BigReadouts) {
    setObjectName(QStringLiteral("frmBigView"));
    setWindowTitle(QStringLiteral("Big view"));
    resize(960, 600);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(readouts_, 1);
    lstJournal = new QListWidget;
    lstJournal->setObjectName(QStringLiteral("lstJournal"));
    lstJournal->setVisible(false);
    outer->addWidget(lstJournal);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 2, 4, 2);
    cmdMute = new QPushButton(QStringLiteral("Mute"));
    cmdMute->setObjectName(QStringLiteral("cmdMute"));
    cmdMute->setToolTip(QStringLiteral("Silence the alarm tone for 10 minutes (M)"));
    cmdJournal = new QPushButton(QStringLiteral("Journal"));
    cmdJournal->setObjectName(QStringLiteral("cmdJournal"));
    cmdJournal->setCheckable(true);
    cmdJournal->setToolTip(QStringLiteral("The last 50 alarms"));
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(false);
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(cmdMute);
    row->addWidget(cmdJournal);
    row->addWidget(lblStatus, 1);
    outer->addLayout(row);

    connect(cmdMute, &QPushButton::clicked, this, [this] {
        if (!parts_.sound) return;
        if (parts_.sound->muted()) parts_.sound->unmute();
        else parts_.sound->mute();
        refreshStatus();
    });
    connect(new QShortcut(QKeySequence(Qt::Key_M), this), &QShortcut::activated, cmdMute,
            &QPushButton::click);
    connect(cmdJournal, &QPushButton::toggled, lstJournal, &QWidget::setVisible);
    connect(new QShortcut(QKeySequence(Qt::Key_F11), this), &QShortcut::activated, this,
            [this] { toggleFullScreen(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (isFullScreen()) toggleFullScreen();
    });
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });

    readouts_->channels[0].show = settings_.showA;
    readouts_->channels[1].show = settings_.showB;
    readDescriptions();
    applyTheme();
    if (parts_.monitor) parts_.monitor->subscribe(this);
    if (parts_.sound)
        connect(parts_.sound, &AlarmSound::changed, this, [this] { refreshStatus(); });
    if (parts_.command)
        connect(parts_.command, &AlarmCommand::changed, this, [this] { refreshStatus(); });
    refreshStatus();
    refreshJournal();
}

frmBigView::~frmBigView() {
    if (parts_.monitor) parts_.monitor->unsubscribe(this);
}

void frmBigView::readDescriptions() {
    readouts_->channels[0].description =
        IniLookup("Bridge", "ChannelA", settingsPath_).value_or("Channel A");
    readouts_->channels[1].description =
        IniLookup("Bridge", "ChannelB", settingsPath_).value_or("Channel B");
    dirty_ = true;
}

void frmBigView::applyTheme() {
    bool dark = settings_.theme == Theme::Dark;
    if (settings_.theme == Theme::Auto)
        dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    readouts_->palette = dark ? darkPalette() : lightPalette();
    if (settings_.theme != Theme::Auto) {
        // A theme of its own: the buttons and the journal follow the read-outs.
        const Palette& c = readouts_->palette;
        QPalette pal = QGuiApplication::palette();
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            pal.setColor(role, role == QPalette::Button ? c.back.lighter(dark ? 180 : 97) : c.back);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(role, c.text);
        setPalette(pal);
    }
    dirty_ = true;
    readouts_->update();
}

void frmBigView::changeEvent(QEvent* e) {
    // The desktop's palette changed (light to dark): an automatic theme follows.
    if (e->type() == QEvent::ApplicationPaletteChange && settings_.theme == Theme::Auto)
        applyTheme();
    QWidget::changeEvent(e);
}

void frmBigView::toggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
        if (normal_.isValid()) setGeometry(normal_);
        return;
    }
    normal_ = geometry();
    showFullScreen();
    // Also without a window manager (a kiosk X server) that would do it.
    if (QScreen* s = screen()) setGeometry(s->geometry());
}

void frmBigView::onReading(const ReadingEvent& e) {
    // The numbers only: the reading is gone after this call.
    const AlarmSample s = sampleOf(e);
    ChannelShown& c = readouts_->channels[static_cast<size_t>(s.channel)];
    const ChannelReading& r = e.reading;
    c.lastMs = parts_.monitor ? parts_.monitor->nowMs() : 0;
    const double alarmSwr =
        c.alarm && parts_.monitor ? parts_.monitor->condition().current(s.channel).swr : c.alarmSwr;
    // A steady (or unkeyed) reading paints nothing new.
    if (c.seen && c.fwd == r.pwrDir && c.ref == r.pwrRef && c.fwdPeak == r.pwrDirMax &&
        c.fullScale == r.fullScalePower && c.kind == r.swrKind && c.swr == s.swr &&
        c.alarmSwr == alarmSwr)
        return;
    c.seen = true;
    c.fwd = r.pwrDir;
    c.ref = r.pwrRef;
    c.fwdPeak = r.pwrDirMax;
    c.fullScale = r.fullScalePower;
    c.kind = r.swrKind;
    c.swr = s.swr;
    c.alarmSwr = alarmSwr;
    dirty_ = true;
}

void frmBigView::onLinkState(LinkState s) {
    if (s == LinkState::Streaming) readDescriptions();
    dirty_ = true;
}

void frmBigView::onAlarm(const AlarmEvent& e, int64_t) {
    ChannelShown& c = readouts_->channels[static_cast<size_t>(e.channel)];
    c.alarm = e.edge == AlarmEdge::Start;
    c.alarmSwr = e.swr;
    c.threshold = e.threshold;
    // Shown at the next pass of the event loop, not at the next tick; never
    // painted here, in the reading's call, where the other subscribers (the
    // rig's PTT) are still waiting.
    dirty_ = true;
    if (isVisible()) tick();
}

void frmBigView::tick() {
    const int64_t now = parts_.monitor ? parts_.monitor->nowMs() : 0;
    readouts_->nowMs = now;
    bool anyAlarm = false, anyStale = false;
    for (ChannelShown& c : readouts_->channels) {
        anyAlarm |= c.show && c.alarm;
        anyStale |= c.show && (!c.seen || now - c.lastMs > 1000);
    }
    const bool flash = !anyAlarm || (now / kFlashHalfMs) % 2 == 0;
    // The "no data" seconds count on their own; the flash changes phase.
    if (dirty_ || flash != readouts_->flashOn || anyStale) {
        readouts_->flashOn = flash;
        dirty_ = false;
        readouts_->update();
    }
    if ((parts_.sound && parts_.sound->muted()) || extraStatus) refreshStatus();
    if (parts_.journal && parts_.journal->version() != journalSeen_) refreshJournal();
}

void frmBigView::refreshStatus() {
    std::string t;
    auto add = [&t](const std::string& s) {
        if (!s.empty()) t += (t.empty() ? "" : "   ") + s;
    };
    if (parts_.sound) {
        const bool m = parts_.sound->muted();
        cmdMute->setText(QString::fromStdString(m ? muteText(parts_.sound->muteLeftMs()) : "Mute"));
        cmdMute->setEnabled(parts_.sound->enabled());
        if (!parts_.sound->enabled()) add("Sound off in the settings");
        add(parts_.sound->status());
    } else {
        cmdMute->setEnabled(false);
    }
    if (parts_.command) add(parts_.command->status());
    if (parts_.journal) add(parts_.journal->error());
    for (const std::string& n : settings_.notices) add(n);
    if (extraStatus) {
        std::string extra = extraStatus();
        for (char& c : extra)
            if (c == '\n') c = ' ';
        add(extra);
    }
    if (t != statusShown_) {
        statusShown_ = t;
        lblStatus->setText(QString::fromStdString(t));
        lblStatus->setToolTip(QString::fromStdString(t));
    }
}

void frmBigView::refreshJournal() {
    if (!parts_.journal) return;
    journalSeen_ = parts_.journal->version();
    lstJournal->clear();
    const auto& es = parts_.journal->entries();
    // Newest first.
    for (auto it = es.rbegin(); it != es.rend(); ++it) {
        std::string line =
            localTimeText(it->startMs) + "  " + (it->channel == 0 ? "A" : "B") + "  peak SWR " +
            swrText(it->peakSwr) + " (> " + thresholdText(it->threshold) + ")  " +
            tenthsText(static_cast<int>(std::lround(it->peakForwardW * 10))) + " W  ";
        line += it->endMs
                    ? "ended " + localTimeText(*it->endMs).substr(11) + ", " + causeText(it->cause)
                    : std::string("in alarm");
        lstJournal->addItem(QString::fromStdString(line));
    }
    cmdJournal->setText(QStringLiteral("Journal (%1)").arg(es.size()));
    refreshStatus();
}

void frmBigView::showEvent(QShowEvent* e) {
    timer_.start();
    tick();
    QWidget::showEvent(e);
}

void frmBigView::hideEvent(QHideEvent* e) {
    timer_.stop();
    QWidget::hideEvent(e);
}

}  // namespace quellon::alarm
