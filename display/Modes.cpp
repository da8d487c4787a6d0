#include "core/modGlobal.h"

#include "display/Modes.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "display/PaintCoalescer.h"
#include "display/ReadoutBox.h"
#include "link/Format.h"
#include "platform/Platform.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

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

QLineEdit* makeBox(const QString& name, const QString& designText, int minWidth = 70) {
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

// Needle arguments of both instruments.
constexpr int kMtype = 3;
constexpr double kMmin = 7.8, kMmax = 21.8, kHandl = -0.4;
constexpr int kHandw = 1;
const std::string kBlue = "16711680";  // 0xFF0000 in blue-green-red order

}  // namespace

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

DeferredReadouts::DeferredReadouts(QWidget* window, Show show)
    : window_(window), show_(std::move(show)) {
    if (PaintCoalescer* c = PaintCoalescer::of(window_)) c->setBeforePaint([this] { flush(); });
}

void DeferredReadouts::post(int channel, const ChannelReading& r) {
    const size_t i = channel == 0 ? 0 : 1;
    pending_[i] = r;
    dirty_[i] = true;
    PaintCoalescer* c = PaintCoalescer::of(window_);
    if (c && c->holdsPaint()) {
        c->scheduleReplay();  // shown right before that paint
        return;
    }
    flush();
}

void DeferredReadouts::flush() {
    for (size_t i = 0; i < 2; ++i) {
        if (!dirty_[i]) continue;
        dirty_[i] = false;
        show_(static_cast<int>(i), pending_[i].withTexts());
    }
}

// ---------------------------------------------------------------- mode 0

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelBar::setRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = std::max(minimum, maximum);
    setValue(value_);
}

void LevelBar::setValue(int v) {
    v = std::clamp(v, min_, max_);
    if (v == value_) return;
    value_ = v;
    update();
}

QSize LevelBar::sizeHint() const { return QSize(200, std::max(18, fontMetrics().height() + 6)); }

void LevelBar::paintEvent(QPaintEvent*) {
    // Plain rectangles, painted by hand: the style's rounded, shaded progress
    // bar costs far more per paint, and this bar repaints with every frame.
    QPainter p(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    p.fillRect(r, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const QRect inside = r.adjusted(2, 2, -2, -2);
    if (max_ <= min_ || inside.width() <= 0) return;
    const int filled =
        static_cast<int>(static_cast<long long>(value_ - min_) * inside.width() / (max_ - min_));
    if (filled > 0)
        p.fillRect(QRect(inside.left(), inside.top(), filled, inside.height()),
                   pal.color(QPalette::Highlight));
}

frmPwrSwrChannel::frmPwrSwrChannel(DisplayHost& host, char letter)
    : ChannelWindow(host, "PwrSwr", letter) {
    setObjectName(withLetter("frmPwrSwr", letter));
    setWindowTitle(QStringLiteral("Channel ") + QChar::fromLatin1(letter));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 6);

    QWidget* pic = makeDragArea("Picture1");
    auto* picLay = new QHBoxLayout(pic);
    picLay->setContentsMargins(6, 6, 6, 6);
    auto* logo = new QLabel;
    logo->setPixmap(logoPixmap(QSize(150, 40), devicePixelRatioF()));
    picLay->addWidget(logo);
    QFont bold = lblChannel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    lblChannel->setFont(bold);
    picLay->addWidget(lblChannel, 1);
    pic->setAutoFillBackground(true);
    QPalette pal = pic->palette();
    pal.setColor(QPalette::Window, QColor(16, 32, 60));
    pal.setColor(QPalette::WindowText, QColor(240, 240, 240));
    pic->setPalette(pal);
    lay->addWidget(pic);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 0, 8, 0);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    txtPwr = makeBox(withLetter("txtPwr", letter), QStringLiteral("0"), 90);
    txtSWR = makeBox(withLetter("txtSWR", letter), QStringLiteral("0"), 90);
    txtPwr->setFont(big);
    txtSWR->setFont(big);
    row->addWidget(new QLabel(QStringLiteral("Watt")));
    row->addWidget(txtPwr);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("SWR")));
    row->addWidget(txtSWR);
    lay->addLayout(row);

    ProgressBar1 = new LevelBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1024);
    ProgressBar1->setValue(0);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(8, 0, 8, 0);
    barRow->addWidget(ProgressBar1);
    lay->addLayout(barRow);
    readouts = std::make_unique<DeferredReadouts>(
        this, [this](int, const ChannelReading& r) { showReading(r); });
}

void frmPwrSwrChannel::showReading(const ChannelReading& r) {
    setTextIfChanged(txtPwr, qs(r.pwrDirMaxText));
    showSwrText(txtSWR, r.swrText);
}

frmPwrSwrMain::frmPwrSwrMain(DisplayHost& host)
    : DisplayFrame(host,
                   Mode{"frmPwrSwrMain", "Power & SWR", "PwrSwr", true, true, true, false, true}) {
    a_ = new frmPwrSwrChannel(host, 'A');
    b_ = new frmPwrSwrChannel(host, 'B');
    setChannelWindows(a_, b_);
}

void frmPwrSwrMain::updateStep() {
    const ChannelReading& r = g_.reading;
    frmPwrSwrChannel* w = r.channel == "A" ? a_ : b_;
    w->readouts->post(0, r);
    // A count beyond the bar's range shows as a full (or empty) bar.
    w->ProgressBar1->setValue(r.nDir > g_.params.nFwdMin ? r.nDir : 0);
}

// ---------------------------------------------------------------- mode 1

DialArea::DialArea(DialKind kind, QSize logicalSize, QWidget* parent)
    : QWidget(parent), kind_(kind) {
    setFixedSize(logicalSize);
    // The face pixmap covers every pixel of a paint: the window beneath need
    // not be painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect DialArea::needleRect() const {
    // The stroke's bounding box, widened by the pen and a pixel of antialiasing.
    const double tpp = winpos::twipsPerPixel();
    const QRectF line = QRectF(QPointF(needle_.pivotX / tpp, needle_.pivotY / tpp),
                               QPointF(needle_.tipX / tpp, needle_.tipY / tpp))
                            .normalized();
    const int margin = static_cast<int>(std::ceil(width_ * 1.5)) + 2;
    return line.toAlignedRect().adjusted(-margin, -margin, margin, margin) & rect();
}

void DialArea::setNeedle(const NeedleGeometry& g, QColor color, int width) {
    if (hasNeedle_ && g.pivotX == needle_.pivotX && g.pivotY == needle_.pivotY &&
        g.tipX == needle_.tipX && g.tipY == needle_.tipY && color == color_ &&
        std::max(1, width) == width_) {
        needle_ = g;
        return;  // drawn the same: nothing to paint
    }
    // Only the dial under the old and the new needle is painted again.
    const QRect before = hasNeedle_ ? needleRect() : rect();
    needle_ = g;
    color_ = color;
    width_ = std::max(1, width);
    hasNeedle_ = true;
    update(QRegion(before) | QRegion(needleRect()));
}

void DialArea::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    const double tpp = winpos::twipsPerPixel();
    if (face_.isNull() || face_.devicePixelRatio() != dpr ||
        face_.size() != QSize(static_cast<int>(std::ceil(width() * dpr)),
                              static_cast<int>(std::ceil(height() * dpr))))
        face_ = dialFace(kind_, size(), dpr, tpp);
    QPainter p(this);
    // The face is drawn once into a pixmap; a paint copies back only the part
    // the needle left or entered, then strokes the needle over it.
    const QRect dirty = event->rect() & rect();
    p.drawPixmap(dirty, face_,
                 QRectF(dirty.x() * dpr, dirty.y() * dpr, dirty.width() * dpr, dirty.height() * dpr)
                     .toAlignedRect());
    if (!hasNeedle_) return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRegion(event->region());
    const QPointF pivot(needle_.pivotX / tpp, needle_.pivotY / tpp);
    const QPointF tip(needle_.tipX / tpp, needle_.tipY / tpp);
    // A needle 1.5 pixels wide as two one-pixel lines half a pixel apart:
    // one-pixel lines take the painter's fast line path, while a wider pen
    // is outlined and filled as a path, several times the cost per paint.
    if (width_ == 1) {
        const QPointF d = tip - pivot;
        const double len = std::hypot(d.x(), d.y());
        const QPointF half = len > 0 ? QPointF(-d.y() / len, d.x() / len) * 0.25 : QPointF(0.25, 0);
        p.setPen(QPen(color_, 1));
        p.drawLine(pivot + half, tip + half);
        p.drawLine(pivot - half, tip - half);
        return;
    }
    p.setPen(QPen(color_, width_ * 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, tip);
}

frmGaugeChannel::frmGaugeChannel(DisplayHost& host, char letter)
    : ChannelWindow(host, "Gauge", letter) {
    setObjectName(withLetter("frmGauge", letter));
    setWindowTitle(QStringLiteral("Channel ") + QChar::fromLatin1(letter));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    QWidget* pic = makeDragArea("Picture2");
    pic->setAutoFillBackground(true);
    QPalette pal = pic->palette();
    pal.setColor(QPalette::Window, QColor(16, 32, 60));
    pal.setColor(QPalette::WindowText, QColor(240, 240, 240));
    pic->setPalette(pal);
    lay->addWidget(pic);

    auto* grid = new QGridLayout(pic);
    grid->setContentsMargins(8, 6, 8, 8);
    QFont bold = lblChannel->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lblChannel->setFont(bold);
    grid->addWidget(lblChannel, 0, 0, 1, 2);

    const QSize dial(240, 150);
    swr_ = new DialArea(DialKind::Swr, dial, pic);
    swr_->setObjectName(QStringLiteral("Picture1_3"));
    power_ = new DialArea(DialKind::Power, dial, pic);
    power_->setObjectName(QStringLiteral("Picture1_1"));
    grid->addWidget(swr_, 1, 0);
    grid->addWidget(power_, 1, 1);

    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    auto* swrRow = new QHBoxLayout;
    auto* l4 = new QLabel(QStringLiteral("SWR"));
    l4->setObjectName(QStringLiteral("Label4"));
    txtSWR = makeBox(withLetter("txtSWR", letter), QStringLiteral("---"), 90);
    txtSWR->setFont(big);
    swrRow->addWidget(l4);
    swrRow->addWidget(txtSWR, 1);
    grid->addLayout(swrRow, 2, 0);

    auto* pwrRow = new QHBoxLayout;
    auto* l2 = new QLabel(QStringLiteral("Watt"));
    l2->setObjectName(QStringLiteral("Label2"));
    txtPwr = makeBox(withLetter("txtPwr", letter), QStringLiteral("1000"), 90);
    txtPwr->setFont(big);
    lblScaleMult = new QLabel;
    lblScaleMult->setObjectName(withLetter("lblScaleMult", letter));
    lblScaleMult->setMinimumWidth(40);
    lblScaleMult->setFont(bold);
    pwrRow->addWidget(l2);
    pwrRow->addWidget(txtPwr, 1);
    pwrRow->addWidget(lblScaleMult);
    grid->addLayout(pwrRow, 2, 1);

    chkPeak = new QCheckBox(QStringLiteral("Peak / Average"));
    chkPeak->setObjectName(withLetter("chkPeak", letter));
    grid->addWidget(chkPeak, 3, 1);
    readouts = std::make_unique<DeferredReadouts>(this, [this](int, const ChannelReading& r) {
        setTextIfChanged(txtPwr, qs(r.pwrDirMaxText));
        showSwrText(txtSWR, r.swrText);
        setTextIfChanged(lblScaleMult, qs(r.scaleMultText));
    });
}

void frmGaugeChannel::analogmeter(int Index, int Mtype, double Emin, double Emax, double Mmin,
                                  double Mmax, int Handw, const std::string& Color, double Handl,
                                  double Value) {
    DialArea* a = area(Index);
    if (!a) return;
    const double tpp = winpos::twipsPerPixel();
    NeedleGeometry g = needleGeometry(a->width() * tpp, a->height() * tpp, Mtype, Emin, Emax, Mmin,
                                      Mmax, Handl, Value);
    const double c = leadingNumber(Color);
    const uint32_t v = (c >= 0 && c <= 16777215) ? static_cast<uint32_t>(c) : 0;
    a->setNeedle(g, QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF), Handw);
}

void frmGaugeChannel::loadExtra() {
    const std::string key = letter_ == 'A' ? "PeakA" : "PeakB";
    auto v = roundHalfEven16(leadingNumber(ReadIni("Gauge", key, host_.state().SettingsPath, "0")));
    chkPeak->setChecked(v && *v != 0);
}

void frmGaugeChannel::unloadExtra() {
    WriteIni("Gauge", letter_ == 'A' ? "PeakA" : "PeakB", chkPeak->isChecked() ? "1" : "0",
             host_.state().SettingsPath);
}

frmGaugeMain::frmGaugeMain(DisplayHost& host)
    : DisplayFrame(host,
                   Mode{"frmGaugeMain", "Power & SWR", "Gauge", true, true, true, true, true}) {
    a_ = new frmGaugeChannel(host, 'A');
    b_ = new frmGaugeChannel(host, 'B');
    setChannelWindows(a_, b_);
}

void frmGaugeMain::loadMode() {
    g_.reading.scaleMultText.clear();
    g_.reading.fullScalePower = 100;
    for (frmGaugeChannel* w : {a_, b_}) {
        w->analogmeter(1, kMtype, 0, 100, kMmin, kMmax, kHandw, kBlue, kHandl, 0);
        w->analogmeter(3, kMtype, 0, 60, kMmin, kMmax, kHandw, kBlue, kHandl, 0);
    }
}

void frmGaugeMain::updateStep() {
    const std::string& ch = g_.reading.channel;
    if (ch == "A") updateGauge(*a_);
    else if (ch == "B" && b_->isVisible()) updateGauge(*b_);
}

void frmGaugeMain::updateGauge(frmGaugeChannel& w) {
    ChannelReading& r = g_.reading;
    double power = 0;
    if (r.nDir > g_.params.nFwdMin) power = w.chkPeak->isChecked() ? r.pwrDir : r.pwrDirMax;
    w.analogmeter(1, kMtype, 0, r.fullScalePower, kMmin, kMmax, kHandw, kBlue, kHandl, power);
    if (r.swrValue > 6) r.swrValue = 6;
    w.analogmeter(3, kMtype, 0, 60, kMmin, kMmax, kHandw, kBlue, kHandl,
                  static_cast<double>(r.swrValue) * 10);
    w.readouts->post(0, r);
}

// ---------------------------------------------------------------- grouped modes

GroupedDisplay::GroupedDisplay(DisplayHost& host, Mode mode) : DisplayFrame(host, std::move(mode)) {
    auto* row = new QHBoxLayout;
    frameA = new QGroupBox(QStringLiteral("Channel A"));
    frameA->setObjectName(QStringLiteral("frameA"));
    frameB = new QGroupBox(QStringLiteral("Channel B"));
    frameB->setObjectName(QStringLiteral("frameB"));
    row->addWidget(frameA);
    row->addWidget(frameB);
    content()->addLayout(row);
}

void GroupedDisplay::readChannelNames() {
    const std::string& file = g_.SettingsPath;
    for (auto [frame, key, def] : {std::tuple{frameA, "ChannelA", "Channel A"},
                                   std::tuple{frameB, "ChannelB", "Channel B"}}) {
        const QString name = qs(ReadIni("Bridge", key, file, def));
        const QString shown = elideChannelName(frame->fontMetrics(), name);
        frame->setTitle(shown);
        frame->setToolTip(shown == name ? QString() : name);
    }
}

frmWattMeter::frmWattMeter(DisplayHost& host)
    : GroupedDisplay(
          host, Mode{"frmWattMeter", "WattMeter", "WattMeter", true, false, true, false, true}) {
    for (char c : {'A', 'B'}) {
        Boxes& b = c == 'A' ? a_ : b_;
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.4);
        big.setBold(true);
        b.vDir = makeBox(withLetter("txtVDir", c), QString());
        b.vRev = makeBox(withLetter("txtVRev", c), QString());
        b.vDirMax = makeBox(withLetter("txtVDirMax", c), QString());
        b.vRevMax = makeBox(withLetter("txtVRevMax", c), QString());
        b.swr = makeBox(withLetter("txtSWR", c), QString());
        for (QLineEdit* e : {b.vDir, b.vRev, b.vDirMax, b.vRevMax, b.swr}) e->setFont(big);
        grid->addWidget(new QLabel(QStringLiteral("Power FWD")), 0, 0);
        grid->addWidget(b.vDir, 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Peak")), 0, 2);
        grid->addWidget(b.vDirMax, 0, 3);
        grid->addWidget(new QLabel(QStringLiteral("Power REF")), 1, 0);
        grid->addWidget(b.vRev, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Max")), 1, 2);
        grid->addWidget(b.vRevMax, 1, 3);
        grid->addWidget(new QLabel(QStringLiteral("SWR")), 2, 0);
        grid->addWidget(b.swr, 2, 1);
    }
    readouts_ = std::make_unique<DeferredReadouts>(
        this, [this](int channel, const ChannelReading& r) { showReading(channel, r); });
}

void frmWattMeter::updateStep() { readouts_->post(g_.reading.channel == "A" ? 0 : 1, g_.reading); }

void frmWattMeter::showReading(int channel, const ChannelReading& r) {
    Boxes& b = channel == 0 ? a_ : b_;
    setTextIfChanged(b.vDir, qs(r.pwrDirText));
    setTextIfChanged(b.vRev, qs(r.pwrRefText));
    setTextIfChanged(b.vDirMax, qs(r.pwrDirMaxText));
    setTextIfChanged(b.vRevMax, qs(r.pwrRefMaxText));
    setTextIfChanged(b.swr, qs(r.swrText));
}

frmVoltage::frmVoltage(DisplayHost& host)
    : GroupedDisplay(host,
                     Mode{"frmVoltage", "Voltage", "Voltage", false, false, false, false, false}) {
    for (char c : {'A', 'B'}) {
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.6);
        big.setBold(true);
        QLineEdit* d = makeBox(withLetter("txtVDir", c), QString(), 100);
        QLineEdit* rv = makeBox(withLetter("txtVRev", c), QString(), 100);
        d->setFont(big);
        rv->setFont(big);
        grid->addWidget(new QLabel(QStringLiteral("Volt RMS")), 0, 0, 1, 2, Qt::AlignHCenter);
        grid->addWidget(new QLabel(QStringLiteral("FWD")), 1, 0);
        grid->addWidget(d, 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("REF")), 2, 0);
        grid->addWidget(rv, 2, 1);
        (c == 'A' ? vDirA_ : vDirB_) = d;
        (c == 'A' ? vRevA_ : vRevB_) = rv;
    }
    readouts_ = std::make_unique<DeferredReadouts>(
        this, [this](int channel, const ChannelReading& r) { showReading(channel, r); });
}

void frmVoltage::updateStep() { readouts_->post(g_.reading.channel == "A" ? 0 : 1, g_.reading); }

void frmVoltage::showReading(int channel, const ChannelReading& r) {
    const bool a = channel == 0;
    setTextIfChanged(a ? vDirA_ : vDirB_, qs(r.voltDirText));
    setTextIfChanged(a ? vRevA_ : vRevB_, qs(r.voltRefText));
}

frmTiming::frmTiming(DisplayHost& host)
    : GroupedDisplay(host, Mode{"frmTiming", "Test", "Test", true, false, true, false, false}) {
    for (char c : {'A', 'B'}) {
        Boxes& b = c == 'A' ? a_ : b_;
        QGroupBox* box = c == 'A' ? frameA : frameB;
        auto* grid = new QGridLayout(box);
        b.vDir = makeBox(withLetter("txtVDir", c), QString());
        b.vRev = makeBox(withLetter("txtVRev", c), QString());
        b.vDirMax = makeBox(withLetter("txtVDirMax", c), QString());
        b.vRevMax = makeBox(withLetter("txtVRevMax", c), QString());
        b.swr = makeBox(withLetter("txtSWR", c), QString());
        b.nDir = makeBox(withLetter("txtNDir", c), QString(), 50);
        b.nRev = makeBox(withLetter("txtNRev", c), QString(), 50);
        b.nDirMax = makeBox(withLetter("txtNDirMax", c), QString(), 50);
        b.nRevMax = makeBox(withLetter("txtNRevMax", c), QString(), 50);
        b.voltDir = makeBox(withLetter("txtVoltDir", c), QString(), 50);
        b.voltRef = makeBox(withLetter("txtVoltRef", c), QString(), 50);
        b.vDet = makeBox(withLetter("txtV", c), QString(), 50);
        b.vDetRev = makeBox(withLetter("txtV", c) + QStringLiteral("rev"), QString(), 50);
        b.descScala = new QLabel(QStringLiteral("Scale : "));
        b.descScala->setObjectName(withLetter("lblDescScala", c));
        int row = 0;
        grid->addWidget(new QLabel(QStringLiteral("FWD Watt")), row, 0);
        grid->addWidget(b.vDir, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("Peak")), row, 2);
        grid->addWidget(b.vDirMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("REF Watt")), row, 0);
        grid->addWidget(b.vRev, row, 1);
        grid->addWidget(new QLabel(QStringLiteral("Max")), row, 2);
        grid->addWidget(b.vRevMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("SWR")), row, 0);
        grid->addWidget(b.swr, row, 1);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Samples")), row, 0);
        grid->addWidget(b.nDir, row, 1);
        grid->addWidget(b.nDirMax, row, 3);
        ++row;
        grid->addWidget(b.nRev, row, 1);
        grid->addWidget(b.nRevMax, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Volt at Load")), row, 0);
        grid->addWidget(b.voltDir, row, 1);
        grid->addWidget(b.voltRef, row, 3);
        ++row;
        grid->addWidget(new QLabel(QStringLiteral("Detector V")), row, 0);
        grid->addWidget(b.vDet, row, 1);
        grid->addWidget(b.vDetRev, row, 3);
        ++row;
        grid->addWidget(b.descScala, row, 0, 1, 4);
        if (c == 'A') {
            ++row;
            txtTimeFwdA = makeBox(QStringLiteral("txtTimeFwdA"), QString(), 50);
            grid->addWidget(new QLabel(QStringLiteral("Refresh rate  mS")), row, 0, 1, 2);
            grid->addWidget(txtTimeFwdA, row, 3);
        }
    }
    auto* refRow = new QHBoxLayout;
    VScrollVref = new QScrollBar(Qt::Vertical);
    VScrollVref->setObjectName(QStringLiteral("VScrollVref"));
    VScrollVref->setRange(100, 1000);
    VScrollVref->setInvertedAppearance(true);
    VScrollVref->setInvertedControls(false);
    VScrollVref->setFixedHeight(48);
    txtVRef = makeBox(QStringLiteral("txtVRef"), QStringLiteral("2.5"), 50);
    lblVersion = new QLabel;
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    refRow->addWidget(new QLabel(QStringLiteral("VRef")));
    refRow->addWidget(VScrollVref);
    refRow->addWidget(txtVRef);
    refRow->addStretch(1);
    refRow->addWidget(lblVersion);
    content()->addLayout(refRow);
    connect(VScrollVref, &QScrollBar::valueChanged, this,
            [this](int v) { setTextIfChanged(txtVRef, qs(format0_00(v / 100.0))); });
    readouts_ =
        std::make_unique<DeferredReadouts>(this, [this](int channel, const ChannelReading& r) {
            if (channel == 0) fill(a_, r, g_.ScaleTextA);
            else fill(b_, r, g_.ScaleTextB);
        });
}

void frmTiming::loadMode() {
    lblVersion->setText(QStringLiteral("Win v") + QString::fromLatin1(kProgramVersion) +
                        QStringLiteral(" -- Pic v") + qs(g_.BridgeFirmwareVersion));
}

void frmTiming::loadModeLate() {
    auto v = roundHalfEven16(leadingNumber(ReadIni("Test", "VRef", g_.SettingsPath, "250")));
    VScrollVref->setValue(v ? *v : 250);
    setTextIfChanged(txtVRef, qs(format0_00(VScrollVref->value() / 100.0)));
}

void frmTiming::saveOnExit() {
    SaveWindowSettings();
    WriteIni("Test", "VRef", std::to_string(VScrollVref->value()), g_.SettingsPath);
}

void frmTiming::fill(Boxes& b, const ChannelReading& r,
                     const std::array<std::string, 2>& scaleText) {
    setTextIfChanged(b.vDir, qs(r.pwrDirText));
    setTextIfChanged(b.vRev, qs(r.pwrRefText));
    setTextIfChanged(b.vDirMax, qs(r.pwrDirMaxText));
    setTextIfChanged(b.vRevMax, qs(r.pwrRefMaxText));
    setTextIfChanged(b.swr, qs(r.swrText));
    setTextIfChanged(b.nDir, QString::number(r.nDir));
    setTextIfChanged(b.nRev, QString::number(r.nRev));
    setTextIfChanged(b.nDirMax, QString::number(r.nDirMax));
    setTextIfChanged(b.nRevMax, QString::number(r.nRevMax));
    setTextIfChanged(b.voltDir, qs(format0_0(leadingNumber(r.voltDirText) / 10)));
    setTextIfChanged(b.voltRef, qs(format0_0(leadingNumber(r.voltRefText) / 10)));
    const double ref = VScrollVref->value();
    setTextIfChanged(b.vDet, qs(format0_0(ref / 102400.0 * r.nDirMax)));
    setTextIfChanged(b.vDetRev, qs(format0_0(ref / 102400.0 * r.nRevMax)));
    std::string desc = "Scale : " + scaleText[r.frameScale >= 2 ? 1 : 0];
    if (r.frameScale == 0 || r.frameScale == 3) desc += " AUTO";
    setTextIfChanged(b.descScala, qs(desc));
}

void frmTiming::updateStep() {
    if (g_.reading.channel == "A") {
        prevTick_ = lastTick_;
        lastTick_ = host_.platform().tickCount();
        // The first A frame has no earlier one: it only starts the first interval.
        if (haveTick_) {
            if (count_ < 5) {
                accum_ += lastTick_ -
                          prevTick_;  // unsigned: a wrapped tick counter still subtracts right
                ++count_;
            } else {
                setTextIfChanged(txtTimeFwdA, qs(formatHash0(accum_ / 5.0)));
                count_ = 0;
                accum_ = 0;
            }
        }
        haveTick_ = true;
        readouts_->post(0, g_.reading);
    } else {
        readouts_->post(1, g_.reading);
    }
}

// ---------------------------------------------------------------- factory

std::unique_ptr<DisplayWindow> createDisplayWindow(const std::string& guiMode, DisplayHost& host) {
    if (guiMode == "0") return std::make_unique<frmPwrSwrMain>(host);
    if (guiMode == "1") return std::make_unique<frmGaugeMain>(host);
    if (guiMode == "2") return std::make_unique<frmWattMeter>(host);
    if (guiMode == "3") return std::make_unique<frmVoltage>(host);
    if (guiMode == "4") return std::make_unique<frmTiming>(host);
    return nullptr;
}

}  // namespace quellon
