// Opens every display mode offscreen with plausible readings and saves pictures
// of its windows: display_shots OUTPUT_DIR (QT_SCALE_FACTOR=2 for a high-DPI look)
#include "DisplayFakes.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <cstdio>

#include "display/Modes.h"

using namespace quellon;
using quellon::testing::FakeHost;

namespace {

void save(QWidget* w, const QString& dir, const QString& name) {
    w->adjustSize();
    QPixmap pm = w->grab();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (!pm.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

ChannelReading sample(const char* ch) {
    ChannelReading r;
    r.channel = ch;
    const bool a = std::string(ch) == "A";
    r.frameScale = a ? 1 : 3;
    r.nDir = a ? 612 : 880;
    r.nRev = a ? 96 : 410;
    r.nDirMax = a ? 640 : 905;
    r.nRevMax = a ? 101 : 432;
    r.pwrDir = a ? 362 : 720;
    r.pwrRef = a ? 9 : 160;
    r.pwrDirMax = a ? 395 : 790;
    r.pwrRefMax = a ? 10 : 180;
    r.pwrDirText = a ? "36" : "72";
    r.pwrRefText = a ? "0" : "16";
    r.pwrDirMaxText = a ? "39" : "79";
    r.pwrRefMaxText = a ? "1" : "18";
    r.swrValue = a ? 1.37f : 8.3f;
    r.swrText = a ? "1.4" : "HIG";
    r.voltDirText = a ? "442" : "628";
    r.voltRefText = a ? "70" : "300";
    r.fullScalePower = 1000;
    r.scaleMultText = "x1";
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    const char* names[] = {"mode0", "mode1", "mode2", "mode3", "mode4"};
    for (int m = 0; m < 5; ++m) {
        FakeHost h;
        h.g.BridgeFirmwareVersion = "2.1";
        h.g.ScaleTextA = {"100W", "1KW"};
        h.g.ScaleTextB = {"200W", "2KW"};
        h.g.params.nFwdMin = 12;
        auto w = createDisplayWindow(std::to_string(m), h);
        w->showDisplay();
        for (int k = 0; k < 7; ++k) {
            for (const char* ch : {"A", "B"}) {
                h.g.reading = sample(ch);
                h.g.streamState = 2;
                h.p.now += 20;
                w->aggiornaDati();
            }
        }
        h.p.advance(1000);  // lamp lit
        const QString base = QString::fromLatin1(names[m]);
        save(w->widget(), dir, base + QStringLiteral("_main"));
        if (auto* f = dynamic_cast<DisplayFrame*>(w.get())) {
            if (auto* a = f->channelWindow('A')) save(a, dir, base + QStringLiteral("_A"));
            if (auto* b = f->channelWindow('B')) save(b, dir, base + QStringLiteral("_B"));
        }
    }
    QPixmap lamps(28 * 6, 28);
    lamps.fill(Qt::white);
    {
        QPainter p(&lamps);
        int x = 0;
        for (int id : {101, 102, 107, 108, 105, 106}) {
            p.drawPixmap(x, 0, lampPixmap(id, 1));
            x += 28;
        }
    }
    lamps.save(QDir(dir).filePath("lamps.png"));
    logoPixmap(QSize(300, 80), 2).save(QDir(dir).filePath("logo.png"));
    QPixmap icons(64 * 4, 64);
    icons.fill(Qt::white);
    {
        QPainter p(&icons);
        int x = 0;
        for (int id : {101, 103, 104, 105}) {
            p.drawPixmap(x, 0, portIcon(id).pixmap(64, 64));
            x += 64;
        }
    }
    icons.save(QDir(dir).filePath("icons.png"));
    return 0;
}
