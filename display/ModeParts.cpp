#include "display/ModeParts.h"

#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QStyle>
#include <QStyleFactory>

#include "display/DisplayFrame.h"
#include "display/PaintCoalescer.h"
#include "display/ReadoutBox.h"
#include "link/Format.h"

namespace quellon {

namespace {

// The read-outs change with every frame. The desktop style's rounded, shaded
// text box costs several times more to paint than a plain sunken one, so the
// read-outs all share one plain style.
QStyle* readoutStyle() {
    static QStyle* const style = [] {
        QStyle* s = QStyleFactory::create(QStringLiteral("Windows"));
        if (s) s->setParent(qApp);
        return s;
    }();
    return style;
}

}  // namespace

QLineEdit* makeBox(const QString& name, const QString& designText, int minWidth) {
    auto* box = new ReadoutBox(designText);
    if (QStyle* s = readoutStyle()) {
        box->setStyle(s);
        // That box covers all of its rectangle, so what lies beneath (a group
        // box frame, itself costly to draw) need not be painted again with it.
        box->setAttribute(Qt::WA_OpaquePaintEvent);
    }
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setMinimumWidth(minWidth);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QString withLetter(const char* base, char letter) {
    return QString::fromLatin1(base) + QChar::fromLatin1(letter);
}

void showSwrText(QLineEdit* box, const std::string& swrText) {
    const std::string t = formatText0_0(swrText);
    if (swrText == "HIG") {
        setTextColorIfChanged(box, QColor(255, 0, 0));
        setTextIfChanged(box, qs(t));
    } else {
        setTextColorIfChanged(box, QColor(0, 0, 0));
        setTextIfChanged(box, swrText == "---" ? qs(t) : qs(t + ":1"));
    }
}

void useBannerColours(QWidget* area) {
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, QColor(16, 32, 60));
    pal.setColor(QPalette::WindowText, QColor(240, 240, 240));
    area->setPalette(pal);
}

DeferredReadouts::DeferredReadouts(QWidget* window, Show show)
    : window_(window), coalescer_(PaintCoalescer::of(window)), show_(std::move(show)) {
    if (coalescer_) coalescer_->setBeforePaint([this] { flush(); });
}

void DeferredReadouts::post(int channel, const ChannelReading& r) {
    const size_t i = channel == 0 ? 0 : 1;
    pending_[i] = r;
    dirty_[i] = true;
    // Shown right before the window's next paint: the frames of one batch
    // set the texts once, those of the last frame.
    if (PaintCoalescer* c = coalescer_.data()) c->requestPaint();
    else flush();
}

void DeferredReadouts::flush() {
    for (size_t i = 0; i < 2; ++i) {
        if (!dirty_[i]) continue;
        dirty_[i] = false;
        show_(static_cast<int>(i), pending_[i].withTexts());
    }
}

}  // namespace quellon
