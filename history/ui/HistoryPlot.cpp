#include "history/ui/HistoryPlot.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quellon::history {

namespace {
constexpr int kLeft = 56, kRight = 8, kTop = 4, kBottom = 22;
constexpr int kStrip = 14;  // alarm marks: a row for A and one for B
constexpr int kGap = 8;
constexpr double kBridgeMs = 1000;  // longer without frames: drawn as a gap
const char* const kPaneTitle[kTraces] = {"Fwd W", "Ref W", "SWR"};
}  // namespace

double niceCeil(double v) {
    if (!(v > 0) || !std::isfinite(v)) return 1;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v * (1 - 1e-9)) return m * p;
    return 10 * p;
}

HistoryPlot::HistoryPlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

QColor HistoryPlot::channelColor(int ch) {
    return ch == 0 ? QColor(0x1f, 0x5f, 0xd0) : QColor(0x1a, 0x9a, 0x2a);
}

QRect HistoryPlot::plotRect() const {
    return QRect(kLeft, kTop + kStrip, std::max(1, width() - kLeft - kRight),
                 std::max(3, height() - kTop - kStrip - kBottom));
}

QRect HistoryPlot::alarmStrip() const { return QRect(kLeft, kTop, plotRect().width(), kStrip - 2); }

QRect HistoryPlot::paneRect(int trace) const {
    const QRect p = plotRect();
    const int h = std::max(1, (p.height() - 2 * kGap) / kTraces);
    return QRect(p.left(), p.top() + trace * (h + kGap), p.width(), h);
}

int HistoryPlot::yOf(int trace, double v) const {
    const QRect r = paneRect(trace);
    const double f = (v - lo_[trace]) / (hi_[trace] - lo_[trace]);
    const double y = r.bottom() - std::clamp(f, 0.0, 1.0) * (r.height() - 1);
    return static_cast<int>(std::lround(y));
}

std::optional<int> HistoryPlot::columnAt(int x) const {
    const QRect p = plotRect();
    if (!cols_ || x < p.left() || x > p.right()) return std::nullopt;
    return std::min(x - p.left(), cols_->width() - 1);
}

void HistoryPlot::setData(const HistorySource* src, TimeRange r) {
    src_ = src;
    range_ = r;
    recompute();
    update();
}

void HistoryPlot::resizeEvent(QResizeEvent*) { recompute(); }

void HistoryPlot::recompute() {
    cols_ = std::make_unique<Columns>(range_.t0, range_.t1, plotRect().width());
    if (bandLow_ > 0) cols_->setBand(bandLow_, bandHigh_);
    if (src_ && !src_->empty()) src_->decimate(*cols_);
    scaleAxes();
}

void HistoryPlot::scaleAxes() {
    double top[kTraces] = {0, 0, 0};
    for (int ch = 0; ch < kChannels; ++ch) {
        const Agg t = cols_->total(ch);
        for (int tr = 0; tr < kTraces; ++tr)
            if (t.has(tr)) top[tr] = std::max(top[tr], static_cast<double>(t.mx[tr]));
    }
    lo_[Fwd] = lo_[Ref] = 0;
    hi_[Fwd] = niceCeil(top[Fwd] * 1.05);
    hi_[Ref] = niceCeil(top[Ref] * 1.05);
    // SWR from 1; room for the thresholds; an open line (no match) would squash
    // everything else, so the top stays at 10.
    double swrTop = std::max(2.0, top[Swr]);
    if (src_)
        for (int ch = 0; ch < kChannels; ++ch) swrTop = std::max(swrTop, src_->threshold(ch) * 1.1);
    lo_[Swr] = 1;
    hi_[Swr] = std::min(10.0, 1 + niceCeil(swrTop - 1));
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect plot = plotRect();
    const QColor grid(0xd8, 0xd8, 0xd8);
    const QFontMetrics fm(font());

    for (int tr = 0; tr < kTraces; ++tr) {
        const QRect r = paneRect(tr);
        p.fillRect(r, Qt::white);
        p.setPen(grid);
        for (int k = 1; k < 4; ++k) {
            const int y = r.top() + k * r.height() / 4;
            p.drawLine(r.left(), y, r.right(), y);
        }
        p.setPen(palette().windowText().color());
        p.drawRect(r.adjusted(0, 0, -1, -1));
        const auto num = [](double v) { return QString::number(v, 'g', 4); };
        p.drawText(QRect(0, r.top() - 2, kLeft - 4, fm.height()), Qt::AlignRight, num(hi_[tr]));
        p.drawText(QRect(0, r.bottom() - fm.height() + 2, kLeft - 4, fm.height()), Qt::AlignRight,
                   num(lo_[tr]));
        p.drawText(QRect(0, r.center().y() - fm.height() / 2, kLeft - 4, fm.height()),
                   Qt::AlignRight, QString::fromLatin1(kPaneTitle[tr]));
    }

    // Time labels at the ends and the middle.
    p.setPen(palette().windowText().color());
    const bool withDate = range_.span() >= 8LL * 3600 * 1000;
    const int ty = plot.bottom() + 4;
    const auto label = [&](int64_t t, Qt::Alignment a, int x) {
        const QString s = QString::fromStdString(formatTime(t, withDate));
        const int w = fm.horizontalAdvance(s);
        int left = a == Qt::AlignLeft ? x : a == Qt::AlignRight ? x - w : x - w / 2;
        p.drawText(QRect(left, ty, w + 2, fm.height()), Qt::AlignLeft, s);
    };
    label(range_.t0, Qt::AlignLeft, plot.left());
    label(range_.t0 + range_.span() / 2, Qt::AlignHCenter, plot.left() + plot.width() / 2);
    label(range_.t1, Qt::AlignRight, plot.right());

    if (!cols_) return;
    const int w = cols_->width();

    // Thresholds under the traces.
    if (src_) {
        for (int ch = 0; ch < kChannels; ++ch) {
            const double th = src_->threshold(ch);
            if (th <= 0) continue;
            QPen pen(channelColor(ch), 1, Qt::DashLine);
            p.setPen(pen);
            const int y = yOf(Swr, th);
            p.drawLine(plot.left(), y, plot.right(), y);
        }
    }

    // Traces: one vertical line per column from its min to its max, stretched
    // to meet the previous column so that a steady line has no gaps. Zoomed in
    // further than the frames come, columns lie between frames: the last one
    // with data is joined to the next by a line, unless a second or more
    // passed in between (then the gap is real: no frames came).
    const int bridgeCols = static_cast<int>(kBridgeMs / std::max(cols_->msPerColumn(), 1e-9));
    QVector<QLine> lines;
    lines.reserve(w);
    for (int ch = kChannels - 1; ch >= 0; --ch) {
        p.setPen(QPen(channelColor(ch), 1));
        for (int tr = 0; tr < kTraces; ++tr) {
            lines.clear();
            int prevLo = -1, prevHi = -1, prevCol = -1, prevMid = -1;
            for (int c = 0; c < w; ++c) {
                const Agg& a = cols_->at(ch, c);
                if (!a.has(tr)) continue;
                int yHi = yOf(tr, a.mx[tr]);  // smaller y
                int yLo = yOf(tr, a.mn[tr]);
                const int x = plot.left() + c;
                const int mid = yOf(tr, a.mean(tr));
                if (prevCol == c - 1) {
                    yHi = std::min(yHi, prevLo);
                    yLo = std::max(yLo, prevHi);
                } else if (prevCol >= 0 && c - prevCol <= bridgeCols) {
                    lines.append(QLine(plot.left() + prevCol, prevMid, x, mid));
                }
                lines.append(QLine(x, yLo, x, yHi));
                prevLo = yOf(tr, a.mn[tr]);
                prevHi = yOf(tr, a.mx[tr]);
                prevMid = mid;
                prevCol = c;
            }
            p.drawLines(lines);
        }
    }

    // Alarm moments.
    const QRect strip = alarmStrip();
    const int rowH = strip.height() / 2;
    p.setPen(QPen(alarmColor(), 1));
    lines.clear();
    for (int ch = 0; ch < kChannels; ++ch) {
        const int y0 = strip.top() + ch * rowH;
        for (int c = 0; c < w; ++c)
            if (cols_->at(ch, c).alarms)
                lines.append(QLine(plot.left() + c, y0, plot.left() + c, y0 + rowH - 2));
    }
    p.drawLines(lines);
    p.setPen(palette().windowText().color());
    p.drawText(QRect(0, strip.top(), kLeft - 4, strip.height()), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Alarm"));

    // Zoom selection and cursor.
    if (dragFrom_ >= 0 && dragTo_ >= 0) {
        const int a = std::min(dragFrom_, dragTo_), b = std::max(dragFrom_, dragTo_);
        p.fillRect(QRect(a, plot.top(), b - a + 1, plot.height()), QColor(0x80, 0x80, 0x80, 60));
    }
    if (cursorX_ >= plot.left() && cursorX_ <= plot.right()) {
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DotLine));
        p.drawLine(cursorX_, plot.top(), cursorX_, plot.bottom());
    }
}

void HistoryPlot::mousePressEvent(QMouseEvent* e) {
    const int x = static_cast<int>(e->position().x());
    if (e->button() == Qt::RightButton) {
        emit backRequested();
    } else if (e->button() == Qt::LeftButton && columnAt(x)) {
        dragFrom_ = dragTo_ = x;
    }
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* e) {
    const int x = static_cast<int>(e->position().x());
    if (dragFrom_ >= 0) dragTo_ = std::clamp(x, plotRect().left(), plotRect().right() + 1);
    cursorX_ = x;
    const auto c = columnAt(x);
    emit cursorMoved(c ? *c : -1);
    update();
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || dragFrom_ < 0) return;
    const int left = plotRect().left();
    const double a = dragFrom_ - left, b = dragTo_ - left;
    dragFrom_ = dragTo_ = -1;
    update();
    if (std::abs(a - b) >= 3) emit zoomRequested(a, b, plotWidth());
}

void HistoryPlot::leaveEvent(QEvent*) {
    cursorX_ = -1;
    emit cursorMoved(-1);
    update();
}

}  // namespace quellon::history
