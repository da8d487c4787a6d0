#include "rig/ui/frmBands.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <ctime>
#include <thread>

#include "rig/RigClient.h"

namespace quellon::rig {

// The curve: SWR (up) against frequency (across); the recent span's median
// as a line over its 25-75 % spread, the older span's median dashed.
class CurvePlot : public QWidget {
public:
    explicit CurvePlot(QWidget* parent) : QWidget(parent) { setMinimumSize(480, 240); }
    void setCurves(const BandCurve* recent, const BandCurve* older) {
        recent_ = recent;
        older_ = older;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        const QRectF area = QRectF(rect()).adjusted(48, 12, -12, -28);
        p.setPen(Qt::black);
        p.drawRect(area);
        if (!recent_ || recent_->bins.empty()) return;
        double top = 2.0;
        for (const BandCurve* c : {recent_, older_})
            for (const CurveBin& b : c->bins)
                if (b.n && std::isfinite(b.p75)) top = std::max(top, std::min(b.p75, 10.0));
        top = std::ceil(top);
        const auto x = [&](size_t i) {
            return area.left() + area.width() * (static_cast<double>(i) + 0.5) /
                                     static_cast<double>(recent_->bins.size());
        };
        const auto y = [&](double swr) {
            return area.bottom() - area.height() * (std::clamp(swr, 1.0, top) - 1.0) / (top - 1.0);
        };
        p.setPen(QColor(200, 200, 200));
        for (int s = 1; s <= static_cast<int>(top); ++s) {
            p.drawLine(QPointF(area.left(), y(s)), QPointF(area.right(), y(s)));
            p.drawText(QRectF(0, y(s) - 8, 44, 16), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(s));
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), area.bottom() + 4, area.width(), 20), Qt::AlignLeft,
                   QString::fromStdString(frequencyText(recent_->band.lowHz)));
        p.drawText(QRectF(area.left(), area.bottom() + 4, area.width(), 20), Qt::AlignRight,
                   QString::fromStdString(frequencyText(recent_->band.highHz)));
        // The spread of the recent span.
        for (size_t i = 0; i < recent_->bins.size(); ++i) {
            const CurveBin& b = recent_->bins[i];
            if (!b.n) continue;
            const double w =
                std::max(2.0, area.width() / static_cast<double>(recent_->bins.size()));
            p.fillRect(QRectF(x(i) - w / 2, y(b.p75), w, y(b.p25) - y(b.p75)),
                       QColor(120, 160, 255, 90));
        }
        const auto line = [&](const BandCurve* c, QPen pen) {
            QPainterPath path;
            bool open = false;
            for (size_t i = 0; i < c->bins.size(); ++i) {
                if (!c->bins[i].n) {
                    open = false;
                    continue;
                }
                const QPointF pt(x(i), y(c->bins[i].median));
                if (open) path.lineTo(pt);
                else path.moveTo(pt);
                open = true;
                if (c->bins.size() > 1)
                    p.fillRect(QRectF(pt.x() - 1.5, pt.y() - 1.5, 3, 3), pen.color());
            }
            p.setPen(pen);
            p.drawPath(path);
        };
        if (older_) line(older_, QPen(QColor(160, 90, 0), 1.5, Qt::DashLine));
        line(recent_, QPen(QColor(0, 60, 200), 2));
    }

private:
    const BandCurve* recent_ = nullptr;
    const BandCurve* older_ = nullptr;
};

namespace {

const char* const kColumns[] = {"Band",    "Ch",           "Readings",     "Min SWR",  "Median SWR",
                                "Max SWR", "Mean fwd (W)", "Time on band", "Last seen"};

QString duration(int64_t ms) {
    const int64_t s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString localTime(int64_t epochMs) {
    if (epochMs <= 0) return {};
    const std::time_t secs = static_cast<std::time_t>(epochMs / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    char buf[80];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return QString::fromLatin1(buf);
}

}  // namespace

frmBands::frmBands(const BandStats& live, const history::HistorySource& liveHistory,
                   QWidget* parent)
    : QWidget(parent), live_(live), liveHistory_(liveHistory) {
    setWindowTitle(QStringLiteral("Bands"));
    setObjectName("frmBands");
    auto* outer = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    cmdLive_ = new QPushButton(QStringLiteral("Live"));
    cmdOpen_ = new QPushButton(QStringLiteral("Open log..."));
    auto* cmdCsv = new QPushButton(QStringLiteral("Export CSV..."));
    for (QPushButton* b : {cmdLive_, cmdOpen_, cmdCsv}) bar->addWidget(b);
    bar->addStretch();
    outer->addLayout(bar);
    lblSource_ = new QLabel;
    outer->addWidget(lblSource_);
    auto* tabs = new QTabWidget;
    outer->addWidget(tabs, 1);

    table_ = new QTableWidget(0, static_cast<int>(std::size(kColumns)));
    for (int c = 0; c < table_->columnCount(); ++c)
        table_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(kColumns[c])));
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabs->addTab(table_, QStringLiteral("Per band"));

    auto* curveTab = new QWidget;
    auto* curveLayout = new QVBoxLayout(curveTab);
    auto* curveBar = new QHBoxLayout;
    cboBand_ = new QComboBox;
    for (const Band& b : live_.plan().bands()) cboBand_->addItem(QString::fromStdString(b.name));
    cboChannel_ = new QComboBox;
    cboChannel_->addItems({QStringLiteral("A"), QStringLiteral("B")});
    cboSpan_ = new QComboBox;
    cboSpan_->addItems({QStringLiteral("Last hour against the hour before"),
                        QStringLiteral("Last day against the day before"),
                        QStringLiteral("Last week against the week before"),
                        QStringLiteral("Last 30 days against the 30 before")});
    cboSpan_->setCurrentIndex(2);
    auto* cmdPng = new QPushButton(QStringLiteral("Export PNG..."));
    auto* cmdCurveCsv = new QPushButton(QStringLiteral("Export CSV..."));
    for (QWidget* w : std::initializer_list<QWidget*>{cboBand_, cboChannel_, cboSpan_})
        curveBar->addWidget(w);
    curveBar->addStretch();
    curveBar->addWidget(cmdPng);
    curveBar->addWidget(cmdCurveCsv);
    curveLayout->addLayout(curveBar);
    plot_ = new CurvePlot(curveTab);
    curveLayout->addWidget(plot_, 1);
    tabs->addTab(curveTab, QStringLiteral("Across a band"));

    connect(cmdLive_, &QPushButton::clicked, this, [this] { showLive(); });
    connect(cmdOpen_, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    const auto saveAs = [this](const QString& filter, auto fn) {
        const QString f =
            QFileDialog::getSaveFileName(this, QStringLiteral("Export"), QString(), filter);
        if (!f.isEmpty()) (this->*fn)(f.toStdString());
    };
    connect(cmdCsv, &QPushButton::clicked, this,
            [=] { saveAs(QStringLiteral("CSV (*.csv)"), &frmBands::exportTableCsv); });
    connect(cmdCurveCsv, &QPushButton::clicked, this,
            [=] { saveAs(QStringLiteral("CSV (*.csv)"), &frmBands::exportCurveCsv); });
    connect(cmdPng, &QPushButton::clicked, this,
            [=] { saveAs(QStringLiteral("PNG (*.png)"), &frmBands::exportCurvePng); });
    for (QComboBox* c : {cboBand_, cboChannel_, cboSpan_})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { rebuildCurve(); });

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!log_) refresh();
    });
    resize(760, 420);
    refresh();
}

// A loader is never waited for (it may hang in a read of a stalled mount): it
// is detached, and its result finds no window when the window is gone.
frmBands::~frmBands() = default;

const history::HistorySource& frmBands::history() const {
    if (log_) return *log_;
    return liveHistory_;
}

void frmBands::showEvent(QShowEvent*) {
    refresh();
    timer_->start();
}

void frmBands::hideEvent(QHideEvent*) { timer_->stop(); }

QString frmBands::sourceText() const { return lblSource_->text(); }

void frmBands::refresh() {
    const BandStats& s = stats();
    int rows = 0;
    for (size_t b = 0; b < s.plan().bands().size(); ++b)
        for (int ch = 0; ch < 2; ++ch)
            if (s.cell(static_cast<int>(b), ch).n || s.cell(static_cast<int>(b), ch).timeMs) ++rows;
    table_->setRowCount(rows);
    int r = 0;
    const auto set = [&](int col, const QString& text) {
        QTableWidgetItem* it = table_->item(r, col);
        if (!it) table_->setItem(r, col, it = new QTableWidgetItem);
        if (it->text() != text) it->setText(text);
    };
    for (size_t b = 0; b < s.plan().bands().size(); ++b) {
        for (int ch = 0; ch < 2; ++ch) {
            const BandCell& c = s.cell(static_cast<int>(b), ch);
            if (!c.n && !c.timeMs) continue;
            set(0, QString::fromStdString(s.plan().bands()[b].name));
            set(1, ch ? QStringLiteral("B") : QStringLiteral("A"));
            set(2, QString::number(c.n));
            set(3, c.n ? QString::fromStdString(swrText(c.minSwr)) : QString());
            set(4, c.n ? QString::fromStdString(swrText(c.medianSwr())) : QString());
            set(5, c.n ? QString::fromStdString(swrText(c.maxSwr)) : QString());
            set(6, c.n ? QString::number(c.meanFwdW(), 'f', 1) : QString());
            set(7, duration(c.timeMs));
            set(8, localTime(c.lastSeenMs));
            ++r;
        }
    }
    QString src = log_ ? QStringLiteral("Log %1").arg(QString::fromStdString(logName_))
                       : QStringLiteral("Live readings");
    if (loading_) src += QStringLiteral(" (loading the log...)");
    src += QStringLiteral("; readings counted from %1 W forward").arg(s.minPowerW());
    if (lblSource_->text() != src) lblSource_->setText(src);
    cmdLive_->setEnabled(log_ != nullptr);
    rebuildCurve();
}

void frmBands::setCurve(int band, int ch, int spanIndex) {
    cboBand_->setCurrentIndex(band);
    cboChannel_->setCurrentIndex(ch);
    cboSpan_->setCurrentIndex(spanIndex);
    rebuildCurve();
}

void frmBands::rebuildCurve() {
    const auto& bands = live_.plan().bands();
    const int bi = cboBand_->currentIndex();
    if (bi < 0 || bi >= static_cast<int>(bands.size())) return;
    const history::HistorySource& src = history();
    const int64_t span = kSpanMs[static_cast<size_t>(std::clamp(cboSpan_->currentIndex(), 0, 3))];
    const int64_t end = src.empty() ? 0 : src.lastMs() + 1;
    const Band& band = bands[static_cast<size_t>(bi)];
    const int ch = cboChannel_->currentIndex() == 1 ? 1 : 0;
    recent_ = buildCurve(src, ch, band, defaultBinHz(band), stats().minPowerW(), end - span, end);
    older_ = buildCurve(src, ch, band, defaultBinHz(band), stats().minPowerW(), end - 2 * span,
                        end - span);
    plot_->setCurves(&recent_, &older_);
}

void frmBands::showLive() {
    log_.reset();
    logStats_.reset();
    refresh();
}

bool frmBands::openLog(const std::string& path) {
    auto load = std::make_shared<history::LogLoad>(history::loadLog(path, 0, 0));
    auto stats = std::make_shared<BandStats>(live_.plan(), live_.minPowerW());
    if (load->ok) addHistory(*stats, *load->history);
    const bool ok = load->ok;
    applyLoad(load, stats, path);
    return ok;
}

void frmBands::applyLoad(std::shared_ptr<history::LogLoad> load, std::shared_ptr<BandStats> stats,
                         const std::string& path) {
    loading_ = false;
    cmdOpen_->setEnabled(true);
    if (!load->ok) {
        message(load->message);
        refresh();
        return;
    }
    log_ = std::move(load->history);
    logStats_ = std::move(stats);
    logName_ = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    refresh();
}

void frmBands::cmdOpen_Click() {
    if (loading_) return;
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open log"), QString(),
                                     QStringLiteral("CSV log (*.csv);;All files (*)"));
    if (file.isEmpty()) return;
    loading_ = true;
    cmdOpen_->setEnabled(false);
    const std::string path = file.toStdString();
    const BandPlan plan = live_.plan();
    const double minPower = live_.minPowerW();
    QPointer<frmBands> self(this);
    // A log of a million records takes a moment: read and count it off the
    // user-interface thread, where the stream is handled.
    std::thread([self, path, plan, minPower] {
        auto load = std::make_shared<history::LogLoad>(history::loadLog(path, 0, 0));
        auto stats = std::make_shared<BandStats>(plan, minPower);
        if (load->ok) addHistory(*stats, *load->history);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, load, stats, path] {
                if (self) self->applyLoad(load, stats, path);
            },
            Qt::QueuedConnection);
    }).detach();
    refresh();
}

bool frmBands::exportTableCsv(const std::string& path) {
    const std::string err = writeFileWhole(path, stats().csv());
    if (err.empty()) return true;
    message(err);
    return false;
}

bool frmBands::exportCurveCsv(const std::string& path) {
    const std::string err = writeFileWhole(path, curvesCsv(recent_, older_));
    if (err.empty()) return true;
    message(err);
    return false;
}

bool frmBands::exportCurvePng(const std::string& path) {
    if (plot_->grab().save(QString::fromStdString(path), "PNG")) return true;
    message("The picture could not be written to " + path + ".");
    return false;
}

void frmBands::message(const std::string& text) {
    lastMessage_ = QString::fromStdString(text);
    // A box that waits for nobody: the stream goes on behind it.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Bands"), lastMessage_,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

}  // namespace quellon::rig
