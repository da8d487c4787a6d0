// Painting: needle geometry worked by hand, widgets that repaint only part of
// themselves (the screen must equal a fresh paint), and held paints.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QScreen>
#include <QThread>
#include <cmath>

#include "display/DialArea.h"
#include "display/DisplayFrame.h"
#include "display/PaintCoalescer.h"
#include "display/ReadoutBox.h"

namespace quellon {
namespace {

// The gauge's 2265 x 930 area, pivot below the face.
TEST(NeedleGeometry, WorkedExampleOfTheGaugeArea) {
    auto at = [](double lo, double hi, double v) {
        return needleGeometry(2265, 930, 3, lo, hi, 7.8, 21.8, -0.4, v);
    };
    auto degrees = [](double rad) { return rad * 180 / 3.141592654; };
    const NeedleGeometry s = at(0, 100, 0), e = at(0, 100, 100);
    EXPECT_EQ(s.pivotX, 1132);  // 1132.5 rounds to even
    EXPECT_FLOAT_EQ(s.r, 975);
    EXPECT_NEAR(degrees(s.theta), 223.2, 1e-9);
    EXPECT_NEAR(s.tipX, 197.6, 0.05);
    EXPECT_NEAR(s.tipY, -15.0, 0.05);
    EXPECT_NEAR(degrees(e.theta), 139.2, 1e-9);
    EXPECT_NEAR(e.tipX, 2023.9, 0.05);
    EXPECT_NEAR(e.tipY, -53.3, 0.05);
    EXPECT_LT(at(0, 100, 150).theta, e.theta);  // no clamping beyond the range
    const NeedleGeometry z = at(5, 5, 3);       // an empty range: no division by zero
    EXPECT_TRUE(std::isfinite(z.tipX) && std::isfinite(z.tipY));
    EXPECT_DOUBLE_EQ(z.theta, needleTheta(3, 0, 100, 7.8, 21.8, 0));
}

QImage rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); }
QImage onScreen(QWidget& top, QWidget& w) {
    const QImage all = top.screen()->grabWindow(top.winId()).toImage();
    return rgb(all.copy(QRect(w.mapTo(&top, QPoint(0, 0)), w.size())));
}

TEST(DialArea, MovedNeedleLeavesNothingOfItsOldPlace) {
    const QSize size(240, 150);
    QWidget top;
    auto* dial = new DialArea(DialKind::Power, size, &top);
    top.resize(size);
    top.show();
    const double tpp = winpos::twipsPerPixel();
    for (double value : {0, 100, 50, 3, 97, 49, 51, 0}) {
        SCOPED_TRACE(value);
        dial->setNeedle(needleGeometry(size.width() * tpp, size.height() * tpp, 3, 0, 100, 7.8,
                                       21.8, -0.4, value),
                        Qt::blue, 1);
        QApplication::processEvents();  // paints only what the needle left and entered
        EXPECT_EQ(onScreen(top, *dial), rgb(dial->grab().toImage()));
    }
}

TEST(ReadoutBox, ShowsEveryNewTextAndColour) {
    QWidget top;
    auto* box = new ReadoutBox(QStringLiteral("0"), &top);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->resize(90, 28);
    top.resize(100, 40);
    top.show();
    QApplication::processEvents();
    for (const char* text : {"12", "99", "1.0:1", "HIG", "", "12.5"}) {
        SCOPED_TRACE(text);
        box->setText(QString::fromLatin1(text));
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, text[0] == 'H' ? Qt::red : Qt::black);
        box->setPalette(pal);
        QApplication::processEvents();
        EXPECT_EQ(onScreen(top, *box), rgb(box->grab().toImage()));
    }
}

struct Counting : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// A held paint is replayed by the first frame after the interval (no wake-up
// of its own), or by the fallback timer when no frame follows.
TEST(PaintCoalescer, HeldPaintIsReplayedByTheNextFrameOrByTheFallback) {
    constexpr int kInterval = 200;  // long enough that nothing here outruns it
    Counting w;
    w.resize(50, 20);
    PaintCoalescer::install(&w, kInterval);
    w.show();
    QApplication::processEvents();  // the first paint goes through at once
    ASSERT_GE(w.paints, 1);
    int before = w.paints;
    w.update();
    QApplication::processEvents();
    PaintCoalescer::replayDue();  // a frame before the interval is over: still held
    EXPECT_EQ(w.paints, before);
    QThread::msleep(kInterval + 5);
    PaintCoalescer::replayDue();
    EXPECT_EQ(w.paints, before + 1);

    before = w.paints;
    w.update();
    QApplication::processEvents();
    EXPECT_EQ(w.paints, before);
    QElapsedTimer clock;
    clock.start();
    while (w.paints == before && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(w.paints, before + 1);
}

// Work put off until the paint (the texts of a batch's last frame) is done
// once, and painted by the very request that brought it: the update the new
// text asks for must not stay queued, or it comes in right after the paint,
// is held and wakes the program again for a paint of nothing.
TEST(PaintCoalescer, PutOffWorkIsDoneOnceAndPaintedByItsOwnRequest) {
    constexpr int kInterval = 200;
    struct RequestCounter : QObject {
        int requests = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            requests += e->type() == QEvent::UpdateRequest;
            return false;
        }
    } counter;
    Counting w;
    w.resize(80, 30);
    auto* box = new QLineEdit(&w);
    PaintCoalescer::install(&w, kInterval);
    w.show();
    QApplication::processEvents();
    PaintCoalescer* c = PaintCoalescer::of(&w);
    int made = 0;
    c->setBeforePaint([&] { box->setText(QString::number(++made)); });
    QThread::msleep(kInterval + 5);
    w.installEventFilter(&counter);
    for (int frame = 0; frame < 14; ++frame) c->requestPaint();
    for (int turn = 0; turn < 3; ++turn) QApplication::processEvents();
    EXPECT_EQ(std::tuple(made, box->text(), counter.requests), std::tuple(1, QString("1"), 1));

    // The toolkit still paints a plain update later: dropping its request
    // left nothing of its own bookkeeping behind.
    c->setBeforePaint({});
    QThread::msleep(kInterval + 5);
    const int paints = w.paints;
    w.update();
    for (int turn = 0; turn < 3; ++turn) QApplication::processEvents();
    EXPECT_EQ(w.paints, paints + 1);
}

}  // namespace
}  // namespace quellon
