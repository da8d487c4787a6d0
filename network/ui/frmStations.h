#pragma once
// The "Stations" window: every node found under <BaseTopic>/+/status with its
// status, link, the latest forward power and SWR of each channel and the
// alarm, from the nodes' live feeds. A double-click on a row asks for a
// viewer of that node.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/MqttWatcher.h"

class QTableWidget;
class QTimer;
class QLabel;

namespace quellon {

class frmStations : public QWidget {
public:
    explicit frmStations(MqttSettings settings, QWidget* parent = nullptr);
    ~frmStations() override;

    // A row was double-clicked: the node's name.
    std::function<void(const std::string&)> openViewer;

    // Takes what changed from the watcher and updates the rows; the window's
    // timer calls it a few times a second.
    void refresh();

    QTableWidget* table() const { return table_; }
    MqttWatcher& watcher() { return watcher_; }

    enum Column { Node, Status, Link, ForwardA, SwrA, ForwardB, SwrB, Alarm, Columns };

private:
    int rowOf(const std::string& node);

    MqttWatcher watcher_;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;
    std::vector<std::string> nodes_;  // sorted, one per row
};

}  // namespace quellon
