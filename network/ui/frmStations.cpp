#include "network/ui/frmStations.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace quellon {

namespace {

// The table is redrawn at most this often: a person reads no faster, and 50
// nodes at 10 messages a second cost nothing more than one.
constexpr int kRefreshMs = 200;

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

frmStations::frmStations(MqttSettings settings, QWidget* parent)
    : QWidget(parent), watcher_(std::move(settings)) {
    setWindowTitle(QStringLiteral("Stations"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, Columns, this);
    table_->setHorizontalHeaderLabels(
        {"Node", "Status", "Link", "A forward", "A SWR", "B forward", "B SWR", "Alarm"});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    // Fixed widths: fitting the columns to their contents measures every cell
    // at every change, which with 50 busy stations costs more than the rest.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setDefaultSectionSize(80);
    table_->setColumnWidth(Node, 140);
    layout->addWidget(table_);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (openViewer && row >= 0 && row < static_cast<int>(nodes_.size()))
            openViewer(nodes_[static_cast<size_t>(row)]);
    });
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_->start(kRefreshMs);
    resize(640, 320);
    watcher_.start();
}

frmStations::~frmStations() { watcher_.stop(); }

int frmStations::rowOf(const std::string& node) {
    const auto it = std::lower_bound(nodes_.begin(), nodes_.end(), node);
    const int row = static_cast<int>(it - nodes_.begin());
    if (it == nodes_.end() || *it != node) {
        nodes_.insert(it, node);
        table_->insertRow(row);
        for (int c = 0; c < Columns; ++c) table_->setItem(row, c, new QTableWidgetItem);
        table_->item(row, Node)->setText(q(node));
    }
    return row;
}

void frmStations::refresh() {
    for (const RemoteNode& n : watcher_.take()) {
        const int row = rowOf(n.node);
        auto set = [&](int column, const std::string& text) {
            QTableWidgetItem* item = table_->item(row, column);
            if (item->text() != q(text)) item->setText(q(text));
        };
        set(Status, n.status);
        set(Link, n.link);
        std::string alarm;
        for (size_t i = 0; i < 2; ++i) {
            const LiveChannel& c = n.live.ch[i];
            if (!c.count) continue;
            // The texts the remote station's displays show.
            const ChannelReading& r = c.reading.withTexts();
            set(i == 0 ? ForwardA : ForwardB, r.pwrDirText + " W");
            set(i == 0 ? SwrA : SwrB, r.swrText);
            if (c.alarm) alarm += alarm.empty() ? (i == 0 ? "A" : "B") : (i == 0 ? " A" : " B");
        }
        if (n.liveCount) set(Alarm, alarm);
    }
    const QString status =
        q(watcher_.statusText()) +
        (watcher_.dropped() ? QStringLiteral(" (%1 messages dropped)").arg(watcher_.dropped())
                            : QString());
    if (status_->text() != status) status_->setText(status);
}

}  // namespace quellon
