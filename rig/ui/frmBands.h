#pragma once
// The "Bands" window: SWR per band and channel (count, minimum / median /
// maximum, mean forward power, time on the band, last seen) from the live
// readings or from a log with frequency, and SWR across one band against
// frequency, a recent span beside an older one. Modeless; one of it. The
// table is renewed once a second while visible; a log is read on a thread of
// its own.

#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "history/LogHistory.h"
#include "rig/BandCurve.h"
#include "rig/BandStats.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace quellon::rig {

class CurvePlot;

class frmBands : public QWidget {
    Q_OBJECT
public:
    // Spans of the curve: the recent one is the last span of the data, the
    // older one the span before it.
    static constexpr std::array<int64_t, 4> kSpanMs = {3600'000LL, 86'400'000LL, 7 * 86'400'000LL,
                                                       30 * 86'400'000LL};

    frmBands(const BandStats& live, const history::HistorySource& liveHistory,
             QWidget* parent = nullptr);
    ~frmBands() override;

    // Handlers, public so that tests drive them.
    bool openLog(const std::string& path);  // reads it now; true when shown
    void showLive();
    void refresh();
    void setCurve(int band, int ch, int spanIndex);
    bool exportTableCsv(const std::string& path);
    bool exportCurveCsv(const std::string& path);
    bool exportCurvePng(const std::string& path);

    const BandStats& stats() const { return log_ ? *logStats_ : live_; }
    const history::HistorySource& history() const;
    QTableWidget* table() const { return table_; }
    const BandCurve& recentCurve() const { return recent_; }
    const BandCurve& olderCurve() const { return older_; }
    QString sourceText() const;
    QString lastMessage() const { return lastMessage_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void applyLoad(std::shared_ptr<history::LogLoad> load, std::shared_ptr<BandStats> stats,
                   const std::string& path);
    void rebuildCurve();
    void message(const std::string& text);
    void cmdOpen_Click();

    const BandStats& live_;
    const history::HistorySource& liveHistory_;
    std::unique_ptr<history::LogHistory> log_;
    std::shared_ptr<BandStats> logStats_;
    std::string logName_;
    BandCurve recent_, older_;
    bool loading_ = false;
    QString lastMessage_;

    QTimer* timer_ = nullptr;
    QLabel* lblSource_ = nullptr;
    QTableWidget* table_ = nullptr;
    QComboBox* cboBand_ = nullptr;
    QComboBox* cboChannel_ = nullptr;
    QComboBox* cboSpan_ = nullptr;
    CurvePlot* plot_ = nullptr;
    QPushButton* cmdLive_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
};

}  // namespace quellon::rig
