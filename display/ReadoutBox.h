#pragma once
// A read-only text box for values that change with every frame. It is a
// QLineEdit (text(), palette and alignment work as for any other box), but it
// paints itself: a flat sunken panel and the text from glyphs looked up once
// per character and font. The style's line-edit paint draws the panel as
// polygons and shapes the text again on every paint, which at some fifty
// paints a second per box was most of a display window's cost.

#include <QLineEdit>
#include <QRawFont>
#include <QVector>
#include <array>

class QPainter;

namespace quellon {

class ReadoutBox : public QLineEdit {
public:
    explicit ReadoutBox(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Glyph and advance of the printable ASCII characters in the current font.
    struct Glyph {
        quint32 index = 0;
        qreal advance = 0;
        bool known = false;
    };
    bool glyphsFor(const QString& text);
    void paintPanel(QPainter& p) const;

    QFont glyphFont_;
    QRawFont raw_;
    std::array<Glyph, 95> glyphs_{};
    QVector<quint32> runIndexes_;
    QVector<QPointF> runPositions_;
    qreal runWidth_ = 0;
};

}  // namespace quellon
