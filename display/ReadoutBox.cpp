#include "display/ReadoutBox.h"

#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <cmath>

namespace quellon {

namespace {
constexpr int kFrame = 2;   // the sunken panel's two lines
constexpr int kMargin = 2;  // between panel and text, as a line edit keeps it
}  // namespace

ReadoutBox::ReadoutBox(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    // The box lays out nothing of its own: the line edit would shape every new
    // text for a display this class never uses (text() still holds the text).
    setEchoMode(QLineEdit::NoEcho);
    // Without a display text of its own the line edit no longer repaints when
    // its text changes: the box asks for that itself, for the inside only (the
    // panel stays as it was painted).
    connect(this, &QLineEdit::textChanged, this,
            [this] { update(rect().adjusted(kFrame, kFrame, -kFrame, -kFrame)); });
    // The paint covers every pixel: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool ReadoutBox::glyphsFor(const QString& text) {
    if (!raw_.isValid() || glyphFont_ != font()) {
        glyphFont_ = font();
        raw_ = QRawFont::fromFont(glyphFont_);
        glyphs_ = {};
    }
    if (!raw_.isValid()) return false;
    runIndexes_.resize(text.size());
    runPositions_.resize(text.size());
    qreal x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // Read-outs hold digits, signs and short words; anything else is left
        // to the full text layout.
        if (c < 32 || c > 126) return false;
        Glyph& g = glyphs_[c - 32];
        if (!g.known) {
            const QList<quint32> idx = raw_.glyphIndexesForString(QString(QChar(c)));
            if (idx.size() != 1 || (idx[0] == 0 && c != ' ')) return false;
            g.index = idx[0];
            const QList<QPointF> adv = raw_.advancesForGlyphIndexes(idx);
            g.advance = adv.isEmpty() ? 0 : adv[0].x();
            g.known = true;
        }
        runIndexes_[i] = g.index;
        runPositions_[i] = QPointF(x, 0);
        x += g.advance;
    }
    runWidth_ = x;
    return true;
}

void ReadoutBox::paintPanel(QPainter& p) const {
    const QPalette& pal = palette();
    const int w = width();
    const int h = height();
    // Sunken panel: dark and shadow above and left, light and midlight below and right.
    p.fillRect(QRect(0, 0, w, 1), pal.color(QPalette::Dark));
    p.fillRect(QRect(0, 0, 1, h), pal.color(QPalette::Dark));
    p.fillRect(QRect(1, 1, w - 2, 1), pal.color(QPalette::Shadow));
    p.fillRect(QRect(1, 1, 1, h - 2), pal.color(QPalette::Shadow));
    p.fillRect(QRect(0, h - 1, w, 1), pal.color(QPalette::Light));
    p.fillRect(QRect(w - 1, 0, 1, h), pal.color(QPalette::Light));
    p.fillRect(QRect(1, h - 2, w - 2, 1), pal.color(QPalette::Midlight));
    p.fillRect(QRect(w - 2, 1, 1, h - 2), pal.color(QPalette::Midlight));
}

void ReadoutBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect inside = rect().adjusted(kFrame, kFrame, -kFrame, -kFrame);
    // A new text repaints the inside only; the panel is drawn when exposed.
    if (!inside.contains(event->rect())) paintPanel(p);
    p.fillRect(inside, pal.color(QPalette::Base));

    const QString t = text();
    if (t.isEmpty()) return;
    const QFontMetrics fm = fontMetrics();
    const QRect lines = inside.adjusted(kMargin, 0, -kMargin, 0);
    const int top = lines.y() + (lines.height() - fm.height() + 1) / 2;
    const Qt::Alignment a = QStyle::visualAlignment(layoutDirection(), alignment());
    p.setClipRect(inside);
    p.setPen(pal.color(QPalette::Text));
    if (!glyphsFor(t)) {
        p.setFont(font());
        p.drawText(lines.adjusted(0, top - lines.y(), 0, 0), int(a & ~Qt::AlignVertical_Mask), t);
        return;
    }
    qreal x = lines.x();
    if (a & Qt::AlignRight) x = lines.right() + 1 - runWidth_;
    else if (a & Qt::AlignHCenter) x = lines.x() + (lines.width() - runWidth_) / 2;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(runIndexes_);
    run.setPositions(runPositions_);
    p.drawGlyphRun(QPointF(std::round(x), top + fm.ascent()), run);
}

}  // namespace quellon
