#include "history/ui/frmHistory.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <thread>

#include "core/modGlobal.h"
#include "history/HistoryExport.h"
#include "history/ui/HistoryPlot.h"
#include "platform/Platform.h"
#include "rig/RigClient.h"
#include "settings/Ini.h"

namespace quellon::history {

namespace {

const char* const kSpanCaption[5] = {"1 min", "10 min", "1 h", "8 h", "24 h"};
const char* const kTraceCaption[kTraces] = {"Forward W", "Reflected W", "SWR"};

QString value(double v, int trace) { return QString::number(v, 'f', trace == Swr ? 2 : 1); }

// "min / mean / max" of one trace, or a dash when the span holds none.
QString triple(const Agg& a, int trace) {
    if (!a.has(trace)) return QStringLiteral("-");
    return value(a.mn[trace], trace) + QStringLiteral(" / ") + value(a.mean(trace), trace) +
           QStringLiteral(" / ") + value(a.mx[trace], trace);
}

QString colored(const QString& text, const QColor& c) {
    return QStringLiteral("<span style=\"color:%1\">%2</span>").arg(c.name(), text.toHtmlEscaped());
}

}  // namespace

frmHistory::frmHistory(HistoryStore& live, Platform& platform, std::string settingsPath,
                       QWidget* parent)
    : QWidget(parent, Qt::Window),
      live_(live),
      platform_(platform),
      settingsPath_(std::move(settingsPath)) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("History"));

    auto* outer = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* spans = new QButtonGroup(this);
    spans->setExclusive(false);  // a zoomed view shows none of the spans checked
    for (int i = 0; i < 5; ++i) {
        cmdSpan_[i] = new QToolButton;
        cmdSpan_[i]->setText(QString::fromLatin1(kSpanCaption[i]));
        cmdSpan_[i]->setCheckable(true);
        cmdSpan_[i]->setObjectName(QStringLiteral("cmdSpan%1").arg(i));
        spans->addButton(cmdSpan_[i], i);
        bar->addWidget(cmdSpan_[i]);
        connect(cmdSpan_[i], &QToolButton::clicked, this, [this, i] { setSpan(i); });
    }
    cmdFollow_ = new QToolButton;
    cmdFollow_->setText(QStringLiteral("Follow"));
    cmdFollow_->setCheckable(true);
    cmdFollow_->setToolTip(QStringLiteral("On: the view follows the newest data. Off: paused."));
    cmdFollow_->setObjectName(QStringLiteral("cmdFollow"));
    cmdBack_ = new QPushButton(QStringLiteral("Back"));
    cmdBack_->setObjectName(QStringLiteral("cmdBack"));
    cmdBack_->setToolTip(QStringLiteral("Back to the view before the last zoom (right click)"));
    bar->addWidget(cmdFollow_);
    bar->addWidget(cmdBack_);
    bar->addStretch(1);
    cmdLive_ = new QPushButton(QStringLiteral("Live"));
    cmdOpen_ = new QPushButton(QStringLiteral("Open log..."));
    cmdCancel_ = new QPushButton(QStringLiteral("Cancel"));
    cmdCancel_->setToolTip(QStringLiteral("Stop reading the log"));
    cmdCancel_->hide();
    cmdPng_ = new QPushButton(QStringLiteral("Export PNG..."));
    cmdCsv_ = new QPushButton(QStringLiteral("Export CSV..."));
    for (QPushButton* b : {cmdLive_, cmdOpen_, cmdCancel_, cmdPng_, cmdCsv_}) bar->addWidget(b);
    // One band at a time, by the rig's frequency of each reading.
    bands_ = rig::BandPlan::parse(IniLookup("Rig", "Bands", settingsPath_).value_or(""));
    cboBand_ = new QComboBox;
    cboBand_->setObjectName("cboBand");
    cboBand_->addItem(QStringLiteral("All bands"));
    for (const rig::Band& b : bands_.bands()) cboBand_->addItem(QString::fromStdString(b.name));
    bar->addWidget(cboBand_);
    cmdBands_ = new QPushButton(QStringLiteral("Bands"));
    cmdBands_->setObjectName("cmdBands");
    cmdBands_->hide();
    bar->addWidget(cmdBands_);
    connect(cmdBands_, &QPushButton::clicked, this, [this] {
        if (bandsWindow_) bandsWindow_();
    });
    connect(cboBand_, &QComboBox::currentIndexChanged, this, [this](int i) { setBand(i - 1); });
    outer->addLayout(bar);

    chart_ = new QWidget;
    chart_->setAutoFillBackground(true);
    auto* chartLayout = new QVBoxLayout(chart_);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    lblSource_ = new QLabel;
    chartLayout->addWidget(lblSource_);
    lblRig_ = new QLabel;
    lblRig_->hide();
    chartLayout->addWidget(lblRig_);
    plot_ = new HistoryPlot;
    chartLayout->addWidget(plot_, 1);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("min / mean / max")), 0, 0);
    for (int tr = 0; tr < kTraces; ++tr)
        grid->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(kTraceCaption[tr])), 0, tr + 1);
    for (int ch = 0; ch < 2; ++ch) {
        lblName_[ch] = new QLabel;
        grid->addWidget(lblName_[ch], ch + 1, 0);
        for (int tr = 0; tr < kTraces; ++tr) {
            lblStats_[ch][tr] = new QLabel(QStringLiteral("-"));
            grid->addWidget(lblStats_[ch][tr], ch + 1, tr + 1);
        }
    }
    chartLayout->addLayout(grid);
    lblCursor_ = new QLabel(QStringLiteral(" "));
    lblCursor_->setTextFormat(Qt::RichText);
    chartLayout->addWidget(lblCursor_);
    outer->addWidget(chart_, 1);
    resize(900, 640);

    connect(cmdFollow_, &QToolButton::clicked, this, [this](bool on) { setFollow(on); });
    connect(cmdBack_, &QPushButton::clicked, this, [this] { back(); });
    connect(cmdLive_, &QPushButton::clicked, this, [this] { showLive(); });
    connect(cmdOpen_, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    cmdOpen_->setToolTip(QStringLiteral("Show a CSV log of the program (Ctrl+O)"));
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this,
            [this] { cmdOpen_Click(); });
    connect(new QShortcut(QKeySequence(Qt::Key_Backspace), this), &QShortcut::activated, this,
            [this] { back(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cancelLoad(); });
    connect(cmdPng_, &QPushButton::clicked, this, [this] { cmdPng_Click(); });
    connect(cmdCsv_, &QPushButton::clicked, this, [this] { cmdCsv_Click(); });
    connect(plot_, &HistoryPlot::zoomRequested, this,
            [this](double a, double b, int w) { zoom(a, b, w); });
    connect(plot_, &HistoryPlot::backRequested, this, [this] { back(); });
    connect(plot_, &HistoryPlot::cursorMoved, this, [this](int c) { updateCursor(c); });

    timer_ = new QTimer(this);
    timer_->setInterval(kRedrawMs);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });

    readChannelNames();
    syncButtons();
}

frmHistory::~frmHistory() {
    // A loader stuck in a read (a stalled mount) is not waited for: told to
    // stop, it ends on its own, and its result finds no window.
    if (progress_) progress_->cancel = true;
}

const HistorySource& frmHistory::source() const {
    if (log_) return *log_;
    return live_;
}

int64_t frmHistory::now() const {
    // A log's "now" is its last record: following shows its end.
    if (log_) return log_->lastMs() + 1;
    return platform_.epochMs();
}

void frmHistory::showEvent(QShowEvent*) {
    readChannelNames();
    dirty_ = true;
    redraw();
    timer_->start();
}

void frmHistory::hideEvent(QHideEvent*) { timer_->stop(); }

void frmHistory::readChannelNames() {
    if (settingsPath_.empty()) {
        names_ = {QStringLiteral("Channel A"), QStringLiteral("Channel B")};
    } else {
        names_[0] =
            QString::fromStdString(ReadIni("Bridge", "ChannelA", settingsPath_, "Channel A"));
        names_[1] =
            QString::fromStdString(ReadIni("Bridge", "ChannelB", settingsPath_, "Channel B"));
    }
    for (int ch = 0; ch < 2; ++ch)
        lblName_[ch]->setText(
            QStringLiteral("<b>%1</b>")
                .arg(colored((ch == 0 ? QStringLiteral("A: ") : QStringLiteral("B: ")) + names_[ch],
                             HistoryPlot::channelColor(ch))));
}

QString frmHistory::channelName(int ch) const { return names_[ch]; }

QString frmHistory::rigText() const { return lblRig_->text(); }

void frmHistory::setBandsWindow(std::function<void()> open) {
    bandsWindow_ = std::move(open);
    cmdBands_->setVisible(bandsWindow_ != nullptr);
}

void frmHistory::setBand(int index) {
    if (index < -1 || index >= static_cast<int>(bands_.bands().size())) index = -1;
    band_ = index;
    if (cboBand_->currentIndex() != index + 1) cboBand_->setCurrentIndex(index + 1);
    if (index < 0) plot_->setBand(0, 0);
    else plot_->setBand(bands_.bands()[index].lowHz, bands_.bands()[index].highHz);
    dirty_ = true;
}

void frmHistory::tick() {
    if (rigStatusSource) {
        const QString rig = QString::fromStdString(rigStatusSource());
        if (lblRig_->text() != rig) lblRig_->setText(rig);
        lblRig_->show();
    }
    // Live and following: the range moves with the clock, so redraw when new
    // data came in; everything else redraws only when asked to.
    const bool moving = !log_ && view_.follow();
    if (loading_) updateStats();  // the progress
    if (dirty_) {
        redraw();
        return;
    }
    if (!moving || source().version() == shownVersion_) return;
    // A column of a long span covers seconds or minutes: redrawing it ten times
    // a second would only repaint the same picture. Redraw about once per
    // column, at least once a second; a trend needs no more than kFollowMs.
    const double perColumn = static_cast<double>(view_.spanMs()) / std::max(1, plot_->plotWidth());
    const qint64 due = std::clamp<qint64>(static_cast<qint64>(perColumn), kFollowMs, 1000);
    if (!redrawClock_.isValid() || redrawClock_.elapsed() >= due - kRedrawMs / 2) redraw(true);
}

void frmHistory::redraw(bool newDataOnly) {
    dirty_ = false;
    ++redraws_;
    redrawClock_.start();
    shown_ = view_.range(now());
    shownVersion_ = source().version();
    plot_->setData(&source(), shown_);
    // The texts change with every frame while following; rewriting them (and
    // laying the window out again) ten times a second costs more than the
    // chart and nobody reads them that fast.
    if (!newDataOnly || !textsClock_.isValid() || textsClock_.elapsed() >= kTextsMs) {
        textsClock_.start();
        updateStats();
        if (cursorColumn_ >= 0) updateCursor(cursorColumn_);
    }
    syncButtons();
}

void frmHistory::updateStats() {
    const Columns* c = plot_->columns();
    if (!c) return;
    for (int ch = 0; ch < 2; ++ch) {
        const Agg t = c->total(ch);
        for (int tr = 0; tr < kTraces; ++tr) {
            const QString s = triple(t, tr);
            if (lblStats_[ch][tr]->text() != s) lblStats_[ch][tr]->setText(s);
        }
    }
    QString src;
    if (log_) {
        src = QStringLiteral("Log %1: %2 records")
                  .arg(QString::fromStdString(logName_))
                  .arg(logRecords_);
        if (logBad_) src += QStringLiteral(", %1 bad lines skipped").arg(logBad_);
        if (logDropped_)
            src += QStringLiteral(", %1 records beyond the first %2 not loaded")
                       .arg(logDropped_)
                       .arg(kMaxRecords);
    } else {
        src = QStringLiteral("Live");
    }
    src += QStringLiteral("   %1  to  %2")
               .arg(QString::fromStdString(formatTime(shown_.t0, true)),
                    QString::fromStdString(formatTime(shown_.t1, true)));
    if (!view_.follow()) src += QStringLiteral("   (paused)");
    if (loading_ && progress_) {
        const double total = static_cast<double>(progress_->bytesTotal.load());
        const double read = static_cast<double>(progress_->bytesRead.load());
        src = QStringLiteral("Reading %1: %2 % of %3 MB (Cancel stops it)   ")
                  .arg(QString::fromStdString(loadName_))
                  .arg(total > 0 ? std::min(100.0, 100.0 * read / total) : 0.0, 0, 'f', 0)
                  .arg(total / 1e6, 0, 'f', 1) +
              src;
    }
    if (lblSource_->text() != src) lblSource_->setText(src);
}

QString frmHistory::sourceText() const { return lblSource_->text(); }
QString frmHistory::statsText(int ch, int trace) const { return lblStats_[ch][trace]->text(); }
QString frmHistory::cursorText() const { return lblCursor_->text(); }

void frmHistory::updateCursor(int column) {
    cursorColumn_ = column;
    const Columns* c = plot_->columns();
    if (!c || column < 0 || column >= c->width()) {
        lblCursor_->setText(QStringLiteral(" "));
        return;
    }
    const int64_t t = c->columnStart(column);
    QString s = QString::fromStdString(formatTime(t, shown_.span() >= 8LL * 3600 * 1000));
    uint32_t hz = 0;
    uint8_t mode = 0;
    for (int ch = 0; ch < 2; ++ch) {
        const Agg& a = c->at(ch, column);
        QString part = (ch == 0 ? QStringLiteral("A") : QStringLiteral("B")) + QStringLiteral(":");
        for (int tr = 0; tr < kTraces; ++tr) {
            static const char* const kShort[kTraces] = {" Fwd ", " Ref ", " SWR "};
            part += QString::fromLatin1(kShort[tr]);
            if (!a.has(tr)) {
                part += QStringLiteral("-");
                continue;
            }
            part += value(a.mn[tr], tr);
            if (a.mx[tr] != a.mn[tr]) part += QStringLiteral("..") + value(a.mx[tr], tr);
            if (tr != Swr) part += QStringLiteral(" W");
        }
        if (a.alarms) part += QStringLiteral(" ALARM");
        s += QStringLiteral("&nbsp;&nbsp;&nbsp;") + colored(part, HistoryPlot::channelColor(ch));
        if (a.hz) hz = a.hz, mode = a.mode;
    }
    // Where the rig was then: the band and the frequency.
    if (hz) {
        const std::string band = bands_.nameOf(hz);
        s += QStringLiteral("&nbsp;&nbsp;&nbsp;") +
             QString::fromStdString((band.empty() ? "off band" : band) + " " +
                                    rig::frequencyText(hz) + " " + modeName(mode))
                 .trimmed();
    }
    lblCursor_->setText(s);
}

void frmHistory::syncButtons() {
    for (int i = 0; i < 5; ++i)
        cmdSpan_[i]->setChecked(i == view_.spanIndex() && view_.zoomDepth() == 0);
    cmdFollow_->setChecked(view_.follow());
    cmdBack_->setEnabled(view_.zoomDepth() > 0);
    cmdLive_->setEnabled(log_ != nullptr);
}

void frmHistory::setSpan(int index) {
    view_.setSpan(index);
    dirty_ = true;
    syncButtons();
}

void frmHistory::setFollow(bool on) {
    view_.setFollow(on, now());
    dirty_ = true;
    syncButtons();
}

bool frmHistory::zoom(double x0, double x1, int width) {
    const bool ok = view_.zoomTo(x0, x1, width, now());
    if (ok) dirty_ = true;
    syncButtons();
    return ok;
}

void frmHistory::back() {
    if (view_.back()) dirty_ = true;
    syncButtons();
}

void frmHistory::showLive() {
    // The chart must not keep pointing at the log that goes: a resize before
    // the next redraw would read it.
    plot_->setData(&live_, shown_);
    log_.reset();
    view_.reset();
    dirty_ = true;
}

bool frmHistory::openLog(const std::string& path) {
    LogLoad load = loadLog(path, live_.threshold(0), live_.threshold(1));
    const bool ok = load.ok;
    applyLoad(std::move(load), path);
    return ok;
}

void frmHistory::applyLoad(LogLoad load, const std::string& path) {
    loading_ = false;
    progress_.reset();
    cmdCancel_->hide();
    cmdOpen_->setEnabled(true);
    dirty_ = true;
    if (!load.ok) {
        message(load.message);
        return;
    }
    log_ = std::move(load.history);
    logName_ = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    logRecords_ = load.records;
    logBad_ = load.badLines;
    logDropped_ = load.dropped;
    view_.reset();
    if (!log_->empty()) view_.showRange({log_->firstMs(), log_->lastMs() + 1});
    redraw();
}

std::string frmHistory::logFolder() const {
    const QString settingsDir = QFileInfo(QString::fromStdString(settingsPath_)).absolutePath();
    const std::string log = IniLookup("Bridge", "DataLog", settingsPath_)
                                .value_or(settingsDir.toStdString() + "/dataLog.csv");
    return QFileInfo(QString::fromStdString(log)).absolutePath().toStdString();
}

void frmHistory::cmdOpen_Click() {
    if (loading_) return;
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open log"), QString::fromStdString(logFolder()),
        QStringLiteral("CSV log (*.csv);;All files (*)"));
    if (!file.isEmpty()) startLoad(file.toStdString());
}

void frmHistory::startLoad(const std::string& path) {
    if (loading_) return;
    // Read on a thread of its own: a big log takes a moment, and the stream
    // and the displays must not wait for it. Detached: nothing ever waits for
    // it, so a read that hangs can hold up neither the window nor the end of
    // the program.
    loading_ = true;
    loadName_ = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    cmdOpen_->setEnabled(false);
    cmdCancel_->show();
    auto progress = std::make_shared<LoadProgress>();
    progress_ = progress;
    updateStats();
    const double ta = live_.threshold(0), tb = live_.threshold(1);
    QPointer<frmHistory> self(this);
    std::thread([self, path, ta, tb, progress] {
        auto load = std::make_shared<LogLoad>(loadLog(path, ta, tb, progress.get()));
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || progress->cancel) return;
        QMetaObject::invokeMethod(
            app,
            [self, load, path, progress] {
                if (self && self->progress_ == progress) self->applyLoad(std::move(*load), path);
            },
            Qt::QueuedConnection);
    }).detach();
}

void frmHistory::cancelLoad() {
    if (!loading_) return;
    progress_->cancel = true;
    progress_.reset();
    loading_ = false;
    cmdCancel_->hide();
    cmdOpen_->setEnabled(true);
    updateStats();
}

bool frmHistory::exportPng(const std::string& path) {
    if (dirty_) redraw();
    const QPixmap pm = chart_->grab();
    // Whole or not at all: an earlier picture of that name stays until the new
    // one is complete.
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly) && pm.save(&file, "PNG") && file.commit()) return true;
    message("The picture could not be written to " + path + ".");
    return false;
}

bool frmHistory::exportCsv(const std::string& path) {
    if (dirty_) redraw();
    const std::string err = history::exportCsv(source(), shown_, path,
                                               {names_[0].toStdString(), names_[1].toStdString()});
    if (err.empty()) return true;
    message(err);
    return false;
}

void frmHistory::cmdPng_Click() {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Export PNG"),
                                                      QStringLiteral("history.png"),
                                                      QStringLiteral("PNG image (*.png)"));
    if (!file.isEmpty()) exportPng(file.toStdString());
}

void frmHistory::cmdCsv_Click() {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                                      QStringLiteral("history.csv"),
                                                      QStringLiteral("CSV file (*.csv)"));
    if (!file.isEmpty()) exportCsv(file.toStdString());
}

void frmHistory::message(const std::string& text) {
    platform_.messageBox(text, mb::Exclamation, kAppTitle);
}

}  // namespace quellon::history
