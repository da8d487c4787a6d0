#pragma once
// The history chart: three panes on one time axis (forward power, reflected
// power, SWR), both channels in each, drawn per pixel column as a line from
// the column's minimum to its maximum; the SWR alarm thresholds as dashed
// lines, the alarm moments as red marks in a strip above the panes, and a
// cursor line where the mouse is. A left drag selects a region to zoom into,
// a right click goes back.

#include <QColor>
#include <QWidget>
#include <memory>
#include <optional>

#include "history/HistoryData.h"
#include "history/HistoryView.h"

namespace quellon::history {

class HistoryPlot : public QWidget {
    Q_OBJECT
public:
    explicit HistoryPlot(QWidget* parent = nullptr);

    static QColor channelColor(int ch);
    static QColor alarmColor() { return QColor(0xd0, 0x00, 0x00); }

    // Recomputes the columns of range r from src (nullptr: nothing) and repaints.
    void setData(const HistorySource* src, TimeRange r);
    // Shows only what was measured on [lowHz, highHz]; lowHz 0: every band.
    void setBand(int64_t lowHz, int64_t highHz) { bandLow_ = lowHz, bandHigh_ = highHz; }
    const Columns* columns() const { return cols_.get(); }
    TimeRange range() const { return range_; }

    // Geometry, for the window and the tests: the rectangle of the columns
    // (all panes), the rectangle of one pane, the value range of a pane, and
    // the pixel row of a value in a pane.
    QRect plotRect() const;
    QRect paneRect(int trace) const;
    QRect alarmStrip() const;
    std::pair<double, double> valueRange(int trace) const { return {lo_[trace], hi_[trace]}; }
    int yOf(int trace, double v) const;
    int plotWidth() const { return plotRect().width(); }

    // The column under x (widget coordinates), if any.
    std::optional<int> columnAt(int x) const;

signals:
    void zoomRequested(double x0, double x1, int width);
    void backRequested();
    void cursorMoved(int column);  // -1: the mouse left the plot

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void recompute();
    void scaleAxes();

    const HistorySource* src_ = nullptr;
    TimeRange range_;
    std::unique_ptr<Columns> cols_;
    int64_t bandLow_ = 0, bandHigh_ = 0;
    double lo_[kTraces] = {0, 0, 1};
    double hi_[kTraces] = {1, 1, 3};
    int cursorX_ = -1;
    int dragFrom_ = -1, dragTo_ = -1;
};

// A "nice" axis top at or above v: 1, 2 or 5 times a power of ten.
double niceCeil(double v);

}  // namespace quellon::history
