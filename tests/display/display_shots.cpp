// Opens every display mode offscreen with plausible readings and saves pictures
// of its windows: display_shots OUTPUT_DIR (QT_SCALE_FACTOR=2 for a high-DPI look)
#include "DisplayFakes.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "display/Modes.h"

using namespace quellon;

namespace {

void save(QWidget* w, const QString& path) {
    w->adjustSize();
    if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

// Channel A moderate and matched, channel B strong with a high SWR.
ChannelReading sample(bool a) {
    ChannelReading r;
    r.channel = a ? "A" : "B";
    r.frameScale = a ? 1 : 3;
    r.nDir = r.nDirMax = a ? 612 : 880;
    r.nRev = r.nRevMax = a ? 96 : 410;
    r.pwrDir = r.pwrDirMax = a ? 362 : 720;
    r.pwrRef = r.pwrRefMax = a ? 9 : 160;
    r.pwrDirText = r.pwrDirMaxText = a ? "36" : "72";
    r.pwrRefText = r.pwrRefMaxText = a ? "0" : "16";
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
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    dir.mkpath(QStringLiteral("."));
    for (int m = 0; m < 5; ++m) {
        quellon::testing::FakeHost h;
        h.g.BridgeFirmwareVersion = "2.1";
        h.g.ScaleTextA = {"100W", "1KW"};
        h.g.ScaleTextB = {"200W", "2KW"};
        h.g.params.nFwdMin = 12;
        auto w = createDisplayWindow(std::to_string(m), h);
        w->showDisplay();
        for (int k = 0; k < 14; ++k) {  // enough A frames for the timing average
            h.p.now += 20;
            h.frame(*w, sample(k % 2 == 0));
        }
        h.p.advance(1000);  // lamp lit
        const QString base = dir.filePath(QStringLiteral("mode%1_").arg(m));
        save(w->widget(), base + QStringLiteral("main.png"));
        if (auto* f = dynamic_cast<DisplayFrame*>(w.get())) {
            for (char c : {'A', 'B'})
                if (auto* ch = f->channelWindow(c))
                    save(ch, base + QChar(c) + QStringLiteral(".png"));
        }
    }
    return 0;
}
