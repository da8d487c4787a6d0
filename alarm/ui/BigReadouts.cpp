#include "alarm/ui/BigReadouts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellon::alarm {

Palette lightPalette() {
    return {QColor(250, 250, 248), QColor(20, 20, 24),   QColor(100, 100, 110),
            QColor(30, 110, 200),  QColor(230, 120, 0),  QColor(205, 0, 0),
            QColor(255, 255, 255), QColor(150, 150, 150)};
}

Palette darkPalette() {
    return {QColor(14, 16, 20),    QColor(240, 240, 236), QColor(150, 155, 165),
            QColor(60, 170, 255),  QColor(255, 170, 40),  QColor(230, 20, 20),
            QColor(255, 255, 255), QColor(120, 120, 125)};
}

std::string tenthsText(int t) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%s%d.%d", t < 0 ? "-" : "", std::abs(t) / 10, std::abs(t) % 10);
    return buf;
}

std::string swrReadout(SwrKind kind, double swr) {
    if (kind == SwrKind::NoPower) return "---";
    if (kind == SwrKind::NoReflection) return "1.0";
    if (std::isinf(swr)) return "\u221e";
    char buf[24];
    std::snprintf(buf, sizeof buf, "%.1f", swr);
    return buf;
}

std::string thresholdText(double threshold) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%.2f", threshold);
    std::string t = buf;
    if (t.size() > 3 && t.back() == '0') t.pop_back();
    return t;
}

std::string bannerText(double swr, double threshold) {
    return "SWR " + swrReadout(SwrKind::Value, swr) + " > " + thresholdText(threshold);
}

namespace {

QFont digitFont(double capPx) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    // The cap height of this font at 100 px, to size the digits by what the
    // eye sees rather than by the em.
    static const double capAt100 = [] {
        QFont probe(QStringLiteral("DejaVu Sans"));
        probe.setBold(true);
        probe.setPixelSize(100);
        const double c = QFontMetricsF(probe).capHeight();
        return c > 10 ? c : 73.0;
    }();
    f.setPixelSize(std::max(4, static_cast<int>(std::ceil(capPx * 100 / capAt100))));
    return f;
}

QFont textFont(double px, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(bold);
    f.setPixelSize(std::max(6, static_cast<int>(px)));
    return f;
}

// Draws text with its baseline at y, right-aligned at right, squeezed across
// (never up and down) when it would be wider than maxW: a condensed figure
// reads better across a room than a smaller one. Returns the ink's rectangle.
QRectF drawSqueezed(QPainter& p, const QString& text, const QFont& f, double right, double y,
                    double maxW, Qt::Alignment align = Qt::AlignRight) {
    const QFontMetricsF m(f);
    const double w = m.horizontalAdvance(text);
    const double sx = w > maxW && w > 0 ? maxW / w : 1.0;
    const double x = align == Qt::AlignRight ? right - w * sx : right - maxW / 2 - w * sx / 2;
    p.save();
    p.setFont(f);
    p.translate(x, y);
    p.scale(sx, 1.0);
    p.drawText(QPointF(0, 0), text);
    p.restore();
    return QRectF(x, y - m.ascent(), w * sx, m.ascent() + m.descent());
}

}  // namespace

// Large text is drawn as outlines, glyph by glyph, on every paint: at these
// sizes that is milliseconds a paint. Each character of the digits is drawn
// once per size, squeeze and colour into an image, and a paint copies images.
QImage BigReadouts::glyph(QChar ch, const QFont& f, double sx, QColor color) {
    const Key key{f.pixelSize(), static_cast<int>(std::lround(sx * 100)), color.rgba(),
                  ch.unicode()};
    if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
    if (glyphs_.size() > 400) glyphs_.clear();  // a new size: the old ones are of no more use
    const QFontMetricsF m(f);
    const double dpr = devicePixelRatioF();
    const double pad = std::ceil(f.pixelSize() * 0.05);
    const QSizeF size(m.horizontalAdvance(ch) * sx + 2 * pad, m.ascent() + m.descent());
    QImage img((size * dpr).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    QPainter gp(&img);
    gp.setRenderHint(QPainter::Antialiasing);
    gp.setRenderHint(QPainter::TextAntialiasing);
    gp.setFont(f);
    gp.setPen(color);
    gp.translate(pad, m.ascent());
    gp.scale(sx, 1.0);
    gp.drawText(QPointF(0, 0), QString(ch));
    gp.end();
    glyphs_.emplace(key, img);
    return img;
}

void BigReadouts::drawNumber(QPainter& p, const QString& text, const QFont& f, double right,
                             double baseline, double maxW, QColor color) {
    const QFontMetricsF m(f);
    const double w = m.horizontalAdvance(text);
    // Squeezed across in steps of 5 %, so that a handful of images serve every value.
    double sx = w > maxW && w > 0 ? std::floor(maxW / w * 20) / 20 : 1.0;
    sx = std::max(sx, 0.05);
    double x = right - w * sx;
    const double pad = std::ceil(f.pixelSize() * 0.05);
    for (QChar ch : text) {
        p.drawImage(QPointF(x - pad, baseline - m.ascent()), glyph(ch, f, sx, color));
        x += m.horizontalAdvance(ch) * sx;
    }
}

BigReadouts::BigReadouts(QWidget* parent) : QWidget(parent), palette(lightPalette()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
}

void BigReadouts::paintEvent(QPaintEvent*) {
    ++paints;
    numberRects_.clear();
    texts_.clear();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), palette.back);
    std::vector<const ChannelShown*> shown;
    for (const ChannelShown& c : channels)
        if (c.show) shown.push_back(&c);
    if (shown.empty()) return;
    // The window's own height sets the digits (a sixth of it, and more when
    // the panel allows): the read-outs take nearly all of it.
    const double windowH = window()->height();
    const double gap = std::max(2.0, height() * 0.01);
    const double panelH = (height() - gap * static_cast<double>(shown.size() - 1)) /
                          static_cast<double>(shown.size());
    const double capPx = std::max(panelH * 0.42, shown.size() > 1 ? windowH / 6.0 + 1 : 0.0);
    double y = 0;
    for (const ChannelShown* c : shown) {
        paintChannel(p, *c, QRectF(0, y, width(), panelH), std::min(capPx, panelH * 0.6));
        y += panelH + gap;
    }
}

void BigReadouts::paintChannel(QPainter& p, const ChannelShown& c, const QRectF& r, double capPx) {
    const double P = r.height(), W = r.width();
    const double pad = std::max(3.0, W * 0.01);
    const double headH = P * 0.16, labelH = P * 0.09, barH = P * 0.08;
    const QRectF head(r.left(), r.top(), W, headH);

    // Header: the description, or the alarm banner across the whole channel.
    if (c.alarm) {
        p.fillRect(head, flashOn ? palette.alarm : palette.back);
        p.setPen(flashOn ? palette.alarmText : palette.alarm);
        p.setFont(textFont(headH * 0.72, true));
        texts_.push_back(bannerText(c.alarmSwr, c.threshold));
        p.drawText(head, Qt::AlignCenter,
                   QString::fromStdString(c.description + "   " + texts_.back()));
    } else {
        p.setPen(palette.dim);
        p.setFont(textFont(headH * 0.6));
        p.drawText(head.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(c.description));
    }

    const double labelTop = head.bottom() + P * 0.02;
    const double digitsBottom = labelTop + labelH + capPx + P * 0.03;
    const bool stale = !c.seen || nowMs - c.lastMs > 1000;
    if (stale) {
        // No fresh reading: no numbers that look live.
        const QString t = !c.seen
                              ? QStringLiteral("no data yet")
                              : QStringLiteral("no data for %1 s").arg((nowMs - c.lastMs) / 1000);
        texts_.push_back(t.toStdString());
        p.setPen(palette.stale);
        drawSqueezed(p, t, digitFont(capPx * 0.6), r.left() + W - pad, digitsBottom - capPx * 0.2,
                     W - 2 * pad, Qt::AlignCenter);
        return;
    }

    // Three cells: forward, reflected, SWR.
    const double cellW[3] = {W * 0.38, W * 0.34, W * 0.28};
    const char* labels[3] = {"FORWARD", "REFLECTED", "SWR"};
    const std::string values[3] = {tenthsText(c.fwd), tenthsText(c.ref), swrReadout(c.kind, c.swr)};
    const char* units[3] = {"W", "W", ":1"};
    const QFont digits = digitFont(capPx);
    const QFont unitFont = textFont(capPx * 0.38, true);
    const QFont labelFont = textFont(labelH * 0.8);
    double x = r.left();
    for (int i = 0; i < 3; ++i) {
        const double unitW = QFontMetricsF(unitFont).horizontalAdvance(units[i]) + pad;
        p.setPen(palette.dim);
        p.setFont(labelFont);
        p.drawText(QRectF(x + pad, labelTop, cellW[i] - 2 * pad, labelH),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(labels[i]));
        const bool swrHigh = i == 2 && c.alarm;
        const double right = x + cellW[i] - pad - unitW;
        texts_.push_back(values[i] + " " + units[i]);
        drawNumber(p, QString::fromStdString(values[i]), digits, right, digitsBottom,
                   cellW[i] - 2 * pad - unitW, swrHigh ? palette.alarm : palette.text);
        numberRects_.push_back(
            QRectF(x, labelTop + labelH, cellW[i] - unitW, digitsBottom - labelTop - labelH + 2));
        p.setPen(palette.dim);
        p.setFont(unitFont);
        p.drawText(QPointF(right + pad * 0.5, digitsBottom), QString::fromLatin1(units[i]));
        x += cellW[i];
    }

    // The forward-power bar, with the peak as a mark across it.
    const double full = c.fullScale > 0 ? c.fullScale : std::max<double>(c.fwdPeak, 10);
    const QRectF bar(r.left() + pad, std::min(r.bottom() - barH, digitsBottom + P * 0.06),
                     W - 2 * pad, barH);
    p.setPen(Qt::NoPen);
    p.setBrush(palette.dim);
    p.setOpacity(0.25);
    p.drawRect(bar);
    p.setOpacity(1.0);
    p.setBrush(palette.bar);
    const double f = std::clamp(c.fwd / full, 0.0, 1.0);
    p.drawRect(QRectF(bar.left(), bar.top(), bar.width() * f, bar.height()));
    const double pk = std::clamp(c.fwdPeak / full, 0.0, 1.0);
    p.setBrush(palette.peak);
    const double markW = std::max(3.0, W * 0.006);
    p.drawRect(QRectF(bar.left() + bar.width() * pk - markW / 2, bar.top() - barH * 0.25, markW,
                      barH * 1.5));
}

}  // namespace quellon::alarm
