#include "resources/Images.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "resources/NeedleGeometry.h"

namespace quellon {

namespace {

// A transparent pixmap of logicalSize at dpr, ready for painting in logical units.
QPixmap blankPixmap(QSize logicalSize, qreal dpr) {
    if (!(dpr > 0)) dpr = 1;
    const QSize px(std::max(1, static_cast<int>(std::ceil(logicalSize.width() * dpr))),
                   std::max(1, static_cast<int>(std::ceil(logicalSize.height() * dpr))));
    QPixmap pm(px);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    return pm;
}

void paintLamp(QPainter& p, QRectF box, QColor base, bool lit) {
    p.setRenderHint(QPainter::Antialiasing);
    // Bezel
    QLinearGradient bezel(box.topLeft(), box.bottomRight());
    bezel.setColorAt(0, QColor(200, 200, 200));
    bezel.setColorAt(1, QColor(70, 70, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(box.adjusted(1, 1, -1, -1));
    const QRectF glass = box.adjusted(4, 4, -4, -4);
    QRadialGradient g(glass.center() - QPointF(glass.width() * 0.18, glass.height() * 0.18),
                      glass.width() * 0.7);
    if (lit) {
        g.setColorAt(0, base.lighter(190));
        g.setColorAt(0.45, base);
        g.setColorAt(1, base.darker(150));
    } else {
        QColor dim = base.darker(330);
        g.setColorAt(0, dim.lighter(160));
        g.setColorAt(1, dim.darker(140));
    }
    p.setBrush(g);
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    p.drawEllipse(glass);
    // Reflection
    QRectF spot(glass.left() + glass.width() * 0.22, glass.top() + glass.height() * 0.14,
                glass.width() * 0.32, glass.height() * 0.22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, lit ? 170 : 60));
    p.drawEllipse(spot);
}

QPointF onArc(QPointF pivot, double theta, double radius) {
    return pivot + QPointF(std::sin(theta) * radius, std::cos(theta) * radius);
}

}  // namespace

QPixmap lampPixmap(int id, qreal dpr) {
    QPixmap pm = blankPixmap(QSize(28, 28), dpr);
    QPainter p(&pm);
    QColor base(140, 140, 140);
    bool lit = false;
    switch (id) {
        case lamp::GreenLit:
            base = QColor(40, 220, 40);
            lit = true;
            break;
        case lamp::GreenDark: base = QColor(40, 220, 40); break;
        case lamp::RedLit:
            base = QColor(235, 30, 30);
            lit = true;
            break;
        case lamp::RedDark: base = QColor(235, 30, 30); break;
        case lamp::YellowLit:
            base = QColor(250, 215, 20);
            lit = true;
            break;
        case lamp::YellowDark: base = QColor(250, 215, 20); break;
        default: break;
    }
    paintLamp(p, QRectF(0, 0, 28, 28), base, lit);
    return pm;
}

QPixmap dialFace(DialKind kind, QSize logicalSize, qreal dpr, double unitsPerPixel) {
    QPixmap pm = blankPixmap(logicalSize, dpr);
    if (!(unitsPerPixel > 0)) unitsPerPixel = 15.0;
    const double w = logicalSize.width(), h = logicalSize.height();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Face and frame
    QLinearGradient face(0, 0, 0, h);
    face.setColorAt(0, QColor(255, 252, 235));
    face.setColorAt(1, QColor(238, 232, 205));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(face);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));

    // The needle's pivot and sweep, in pixels.
    const double emax = (kind == DialKind::Power) ? 100.0 : 60.0;
    const NeedleGeometry ng =
        needleGeometry(w * unitsPerPixel, h * unitsPerPixel, 3, 0, emax, 7.8, 21.8, -0.4, 0);
    const QPointF pivot(ng.pivotX / unitsPerPixel, ng.pivotY / unitsPerPixel);
    const double rho = pivot.y() * 0.92;
    auto theta = [&](double v) { return needleTheta(3, 0, emax, 7.8, 21.8, v); };

    // Red zone of the SWR dial: from 3:1 to the end.
    if (kind == DialKind::Swr) {
        QPainterPath zone;
        const int steps = 24;
        for (int k = 0; k <= steps; ++k) {
            QPointF pt = onArc(pivot, theta(30 + 30.0 * k / steps), rho);
            k == 0 ? zone.moveTo(pt) : zone.lineTo(pt);
        }
        for (int k = steps; k >= 0; --k)
            zone.lineTo(onArc(pivot, theta(30 + 30.0 * k / steps), rho - h * 0.07));
        zone.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawPath(zone);
    }

    // Scale arc
    {
        QPainterPath arc;
        const int steps = 48;
        for (int k = 0; k <= steps; ++k) {
            QPointF pt = onArc(pivot, theta(emax * k / steps), rho);
            k == 0 ? arc.moveTo(pt) : arc.lineTo(pt);
        }
        p.setPen(QPen(QColor(20, 20, 20), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc);
    }

    QFont f;
    f.setPixelSize(std::max(7, static_cast<int>(h / 11)));
    f.setBold(true);
    p.setFont(f);
    const double major = h * 0.08, minor = h * 0.045;
    auto tick = [&](double v, bool isMajor) {
        p.setPen(QPen(QColor(20, 20, 20), isMajor ? 1.4 : 0.9));
        p.drawLine(onArc(pivot, theta(v), rho),
                   onArc(pivot, theta(v), rho - (isMajor ? major : minor)));
    };
    auto label = [&](double v, const QString& text, double inward = 0) {
        QPointF c = onArc(pivot, theta(v), rho - major - f.pixelSize() * (0.75 + inward));
        QRectF r(c.x() - 20, c.y() - f.pixelSize() * 0.6, 40, f.pixelSize() * 1.2);
        p.setPen(QColor(20, 20, 20));
        p.drawText(r, Qt::AlignCenter, text);
    };

    if (kind == DialKind::Power) {
        for (int v = 0; v <= 100; v += 5) tick(v, v % 10 == 0);
        for (int v = 0; v <= 100; v += 20) label(v, QString::number(v));
        QFont uf = f;
        uf.setPixelSize(std::max(7, static_cast<int>(h / 8)));
        p.setFont(uf);
        p.drawText(QRectF(0, h * 0.66, w, h * 0.3), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("W"));
    } else {
        const double minors[] = {0, 5, 12.5, 17.5, 25, 40, 60};
        for (double v : minors) tick(v, false);
        // 1, 1.5 and 2 sit close together: 1.5 goes one line further in.
        const struct {
            double v;
            const char* t;
            double in;
        } marks[] = {{10, "1", 0}, {15, "1.5", 1.0}, {20, "2", 0}, {30, "3", 0}, {50, "5", 0}};
        for (const auto& m : marks) {
            tick(m.v, true);
            label(m.v, QString::fromLatin1(m.t), m.in);
        }
        QFont uf = f;
        uf.setPixelSize(std::max(7, static_cast<int>(h / 8)));
        p.setFont(uf);
        p.drawText(QRectF(0, h * 0.66, w, h * 0.3), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("SWR"));
    }
    return pm;
}

QPixmap logoPixmap(QSize logicalSize, qreal dpr) {
    QPixmap pm = blankPixmap(logicalSize, dpr);
    const double w = logicalSize.width(), h = logicalSize.height();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0, QColor(24, 46, 82));
    bg.setColorAt(1, QColor(10, 20, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0, 0, w, h), h * 0.08, h * 0.08);

    // A small meter on the left: arc, ticks and a needle.
    const double side = std::min(h * 0.9, w * 0.4);
    const QPointF pivot(h * 0.08 + side / 2, h * 0.5 + side * 0.3);
    const double rad = side * 0.5;
    p.setPen(QPen(QColor(230, 230, 230), std::max(1.0, side / 40)));
    p.setBrush(Qt::NoBrush);
    QRectF arcBox(pivot.x() - rad, pivot.y() - rad, 2 * rad, 2 * rad);
    p.drawArc(arcBox, 30 * 16, 120 * 16);
    for (int k = 0; k <= 6; ++k) {
        double a = (150 - 20 * k) * std::numbers::pi / 180.0;
        QPointF o(pivot.x() + std::cos(a) * rad, pivot.y() - std::sin(a) * rad);
        QPointF in(pivot.x() + std::cos(a) * rad * 0.86, pivot.y() - std::sin(a) * rad * 0.86);
        p.drawLine(o, in);
    }
    // Red end of the scale
    p.setPen(QPen(QColor(230, 60, 50), std::max(2.0, side / 18)));
    p.drawArc(arcBox.adjusted(rad * 0.06, rad * 0.06, -rad * 0.06, -rad * 0.06), 30 * 16, 30 * 16);
    // Needle
    double na = 70 * std::numbers::pi / 180.0;
    p.setPen(QPen(QColor(255, 200, 40), std::max(1.5, side / 28), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, QPointF(pivot.x() + std::cos(na) * rad * 0.95,
                              pivot.y() - std::sin(na) * rad * 0.95));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(pivot, side / 16, side / 16);

    // Name
    QFont f;
    f.setBold(true);
    f.setPixelSize(std::max(8, static_cast<int>(h * 0.42)));
    p.setFont(f);
    p.setPen(QColor(245, 245, 245));
    QRectF textBox(h * 0.08 + side + h * 0.1, 0, w - side - h * 0.26, h * 0.8);
    p.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quellon"));
    QFont sf = f;
    sf.setBold(false);
    sf.setPixelSize(std::max(6, static_cast<int>(h * 0.14)));
    p.setFont(sf);
    p.setPen(QColor(170, 190, 220));
    p.drawText(QRectF(textBox.left(), h * 0.68, textBox.width(), h * 0.25),
               Qt::AlignLeft | Qt::AlignTop, QStringLiteral("RF power & SWR bridge"));
    return pm;
}

namespace {

// A DB9-like connector, drawn in a 32 x 32 box.
void paintConnector(QPainter& p, QColor shell) {
    QPainterPath d;
    d.moveTo(3, 9);
    d.lineTo(29, 9);
    d.lineTo(26, 24);
    d.lineTo(6, 24);
    d.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(shell);
    p.drawPath(d);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    for (int k = 0; k < 5; ++k) p.drawEllipse(QPointF(8 + k * 4, 14), 1.3, 1.3);
    for (int k = 0; k < 4; ++k) p.drawEllipse(QPointF(10 + k * 4, 19.5), 1.3, 1.3);
}

QPixmap portPixmap(int id, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    switch (id) {
        case porticon::Serial: paintConnector(p, QColor(170, 180, 195)); break;
        case porticon::InUse:
            paintConnector(p, QColor(170, 180, 195));
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(QColor(240, 170, 20));
            p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
            p.setPen(QPen(Qt::white, 1.8));
            p.drawLine(QPointF(24, 20), QPointF(24, 24.5));
            p.drawLine(QPointF(24, 24.5), QPointF(27, 26));
            break;
        case porticon::Error:
            paintConnector(p, QColor(170, 180, 195));
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(QColor(210, 30, 30));
            p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
            p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(21.5, 21.5), QPointF(26.5, 26.5));
            p.drawLine(QPointF(26.5, 21.5), QPointF(21.5, 26.5));
            break;
        case porticon::Bridge: {
            p.setPen(QPen(QColor(40, 40, 40), 1.2));
            p.setBrush(QColor(50, 70, 110));
            p.drawRoundedRect(QRectF(2, 5, 28, 22), 3, 3);
            p.setBrush(QColor(255, 250, 225));
            p.drawRect(QRectF(5, 8, 22, 12));
            p.setPen(QPen(QColor(20, 20, 20), 0.8));
            p.drawArc(QRectF(7, 10, 18, 18), 40 * 16, 100 * 16);
            p.setPen(QPen(QColor(210, 30, 30), 1.3));
            p.drawLine(QPointF(16, 19), QPointF(21, 11));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 220, 40));
            p.drawEllipse(QPointF(8, 23.5), 1.6, 1.6);
            p.setBrush(QColor(250, 215, 20));
            p.drawEllipse(QPointF(13, 23.5), 1.6, 1.6);
            break;
        }
        default: paintConnector(p, QColor(150, 150, 150)); break;
    }
    return pm;
}

}  // namespace

QIcon portIcon(int id) {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64}) icon.addPixmap(portPixmap(id, s));
    return icon;
}

}  // namespace quellon
