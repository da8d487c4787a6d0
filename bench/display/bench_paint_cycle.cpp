// What one paint of changed read-outs costs when it comes the way it does in
// the program: some 55 times a second, with the process asleep in between, so
// that each paint finds its data out of the caches. Ten read-out boxes (the
// program's own) change all their texts at every tick of an 18 ms timer;
// beside them, the same timer changing nothing (the cost of the wake-up
// alone), and one widget painting the same ten texts itself (what merging a
// window's boxes into one paint would give). Prints the CPU per tick of each,
// twice in turn.

#include <QApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QStaticText>
#include <QTimer>
#include <array>
#include <cstdio>

#include "bench/Process.h"
#include "display/DisplayFrame.h"
#include "display/ModeParts.h"

using namespace quellon;

namespace {

constexpr int kBoxes = 10;
constexpr int kTickMs = 18;
constexpr int kSecondsEach = 5;

// Ten read-outs drawn by one widget, each text laid out once when it changes.
class Panel : public QWidget {
public:
    Panel() {
        font_ = font();
        font_.setBold(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(320, 170);
    }
    void set(int i, const QString& s) {
        if (text_[i] == s) return;
        text_[i] = s;
        static_[i].setText(s);
        static_[i].prepare(QTransform(), font_);
        update(inside(i));
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.setFont(font_);
        if (!e->region().isEmpty() && e->rect().width() > inside(0).width())
            p.fillRect(rect(), palette().window());
        for (int i = 0; i < kBoxes; ++i) {
            const QRect r = inside(i);
            if (!e->region().intersects(r)) continue;
            p.fillRect(r, Qt::white);
            p.drawStaticText(QPointF(r.right() - 2 - static_[i].size().width(), r.top() + 2),
                             static_[i]);
        }
    }

private:
    static QRect inside(int i) { return QRect(12 + (i % 2) * 150, 12 + (i / 2) * 30, 126, 20); }
    QFont font_;
    std::array<QString, kBoxes> text_;
    std::array<QStaticText, kBoxes> static_;
};

enum class Variant { WakeOnly, Boxes, Panel };

// Runs one variant for kSecondsEach and returns its CPU µs per tick.
double run(QApplication& app, Variant v) {
    QWidget window;
    auto* grid = new QGridLayout(&window);
    std::array<QLineEdit*, kBoxes> boxes{};
    Panel* panel = nullptr;
    if (v == Variant::Panel) {
        panel = new Panel;
        grid->addWidget(panel);
    } else {
        for (int i = 0; i < kBoxes; ++i) {
            boxes[i] = makeBox(QStringLiteral("box%1").arg(i), QStringLiteral("0"), 130);
            QFont big = boxes[i]->font();
            big.setBold(true);
            boxes[i]->setFont(big);
            grid->addWidget(boxes[i], i / 2, i % 2);
        }
    }
    window.show();
    app.processEvents();

    long long ticks = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        if (v == Variant::WakeOnly) return;
        for (int i = 0; i < kBoxes; ++i) {
            const QString s = QString::number(100 + (ticks * 7 + i * 13) % 900);
            if (panel) panel->set(i, s);
            else setTextIfChanged(boxes[i], s);
        }
    });
    tick.start(kTickMs);
    QEventLoop loop;
    const double cpu0 = bench::cpuSeconds();
    QTimer::singleShot(kSecondsEach * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = bench::cpuSeconds() - cpu0;
    return ticks ? 1e6 * cpu / static_cast<double>(ticks) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The same event dispatcher as the program uses.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    std::printf("CPU per %d ms tick (µs): wake-up only, ten read-out boxes, one panel\n", kTickMs);
    for (int round = 0; round < 2; ++round) {
        const double wake = run(app, Variant::WakeOnly);
        const double boxes = run(app, Variant::Boxes);
        const double panel = run(app, Variant::Panel);
        std::printf("paint_cycle_us %.1f %.1f %.1f\n", wake, boxes, panel);
    }
    return 0;
}
