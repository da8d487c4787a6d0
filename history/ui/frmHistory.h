#pragma once
// The history window: power and SWR of both channels over time, live from the
// session or from a CSV log. Modeless; one of it. Redraws run from a timer at
// most ten times a second while the window is visible, never per frame, so the
// stream and the displays do not wait for it.

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "history/HistoryStore.h"
#include "history/HistoryView.h"
#include "history/LogHistory.h"
#include "rig/BandPlan.h"

class QComboBox;
class QLabel;
class QTimer;
class QToolButton;
class QPushButton;

namespace quellon {
class Platform;
}

namespace quellon::history {

class HistoryPlot;

class frmHistory : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRedrawMs = 100;  // the timer: a change shows within this
    static constexpr int kFollowMs = 200;  // new data while following: at most 5 redraws/s
    static constexpr int kTextsMs = 500;   // figures under the chart while following

    frmHistory(HistoryStore& live, Platform& platform, std::string settingsPath,
               QWidget* parent = nullptr);
    ~frmHistory() override;

    // Handlers, public so that tests drive them.
    void setSpan(int index);
    void setFollow(bool on);
    bool zoom(double x0, double x1, int width);
    void back();
    void showLive();
    // Reads a log now (the Open button reads it on a worker thread). True when shown.
    bool openLog(const std::string& path);
    // What Open does after its dialog: reads the log on a thread of its own,
    // with its progress shown and Cancel beside it. The thread is never waited
    // for: cancelled, or with the window gone, its result is dropped.
    void startLoad(const std::string& path);
    void cancelLoad();
    bool loading() const { return loading_; }
    // Where Open starts: the folder of the program's log ([Bridge] DataLog).
    std::string logFolder() const;
    bool exportPng(const std::string& path);
    bool exportCsv(const std::string& path);
    // Redraws now (the timer calls it when something changed; with only new
    // data, the texts are renewed at most every kTextsMs).
    void redraw(bool newDataOnly = false);

    HistoryPlot* plot() const { return plot_; }
    const HistorySource& source() const;
    bool showingLog() const { return log_ != nullptr; }
    TimeRange visibleRange() const { return shown_; }
    QString sourceText() const;
    QString statsText(int ch, int trace) const;
    QString cursorText() const;
    QString channelName(int ch) const;
    const ViewState& view() const { return view_; }
    long long redraws() const { return redraws_; }
    // The rig's status line, shown above the chart (set by main when the rig is on).
    std::function<std::string()> rigStatusSource;
    // Opens the Bands window; its button shows only when set (by main, with the rig on).
    void setBandsWindow(std::function<void()> open);
    QString rigText() const;
    // Shows one band of the band plan only; -1: every band.
    void setBand(int index);
    int band() const { return band_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    int64_t now() const;
    void tick();
    void applyLoad(LogLoad load, const std::string& path);
    void readChannelNames();
    void updateStats();
    void updateCursor(int column);
    void syncButtons();
    void cmdOpen_Click();
    void cmdPng_Click();
    void cmdCsv_Click();
    void message(const std::string& text);

    HistoryStore& live_;
    Platform& platform_;
    std::string settingsPath_;
    std::unique_ptr<LogHistory> log_;
    std::string logName_;
    uint64_t logRecords_ = 0, logBad_ = 0, logDropped_ = 0;
    ViewState view_;
    TimeRange shown_;
    uint64_t shownVersion_ = ~uint64_t(0);
    bool dirty_ = true;
    long long redraws_ = 0;
    QElapsedTimer textsClock_, redrawClock_;
    int cursorColumn_ = -1;
    std::array<QString, 2> names_;
    bool loading_ = false;
    std::shared_ptr<LoadProgress> progress_;  // of the load going on
    std::string loadName_;

    QTimer* timer_ = nullptr;
    HistoryPlot* plot_ = nullptr;
    QWidget* chart_ = nullptr;  // what the PNG export shows
    QLabel* lblSource_ = nullptr;
    QLabel* lblRig_ = nullptr;
    QComboBox* cboBand_ = nullptr;
    QPushButton* cmdBands_ = nullptr;
    std::function<void()> bandsWindow_;
    rig::BandPlan bands_;
    int band_ = -1;
    QLabel* lblCursor_ = nullptr;
    std::array<QLabel*, 2> lblName_{};
    std::array<std::array<QLabel*, kTraces>, 2> lblStats_{};
    std::array<QToolButton*, 5> cmdSpan_{};
    QToolButton* cmdFollow_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QPushButton* cmdLive_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdPng_ = nullptr;
    QPushButton* cmdCsv_ = nullptr;
};

}  // namespace quellon::history
