// The big view as a user sees it: digits measured on the window's own pixels
// at three sizes, the banner and the "no data" text, in both themes. With
// QUELLON_SHOTS=dir the screenshots are kept there to be looked at.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <algorithm>

#include "alarm/ui/BigReadouts.h"
#include "alarm/ui/frmBigView.h"

using namespace quellon;
using namespace quellon::alarm;

namespace {

struct Rig {
    int64_t now = 5200;  // the banner in its red phase at the alarm
    AlarmMonitor monitor{
        {300, 1.0}, [this] { return now; }, [] { return int64_t{1'800'000'000'000}; }};
    ModGlobal g;
    ChannelReading rd;
    std::unique_ptr<frmBigView> w;

    explicit Rig(Theme theme = Theme::Light) {
        g.params.MaxSwrA = 300;
        g.params.MaxSwrB = 250;
        AlarmSettings s;
        s.theme = theme;
        w = std::make_unique<frmBigView>(frmBigView::Parts{&monitor, nullptr, nullptr, nullptr}, s,
                                         "");
    }
    // A frame of channel ch to the monitor and the view, as the bus would.
    void frame(const char* ch, int16_t fwd, int16_t ref, SwrKind kind, float swr) {
        ChannelReading& c = rd;
        std::tie(c.channel, c.pwrDir, c.pwrRef, c.pwrDirMax, c.fullScalePower, c.swrKind,
                 c.swrValue) = std::tuple(ch, fwd, ref, fwd, 20000.0, kind, swr);
        const ReadingEvent e{rd, g, 0};
        monitor.onReading(e);
        w->onReading(e);
    }
    QImage shot(const char* name) {
        w->show();
        QApplication::processEvents();
        w->tick();
        w->readouts()->repaint();
        const QImage img = w->grab().toImage();
        if (const char* dir = std::getenv("QUELLON_SHOTS"))
            img.save(QString::fromLatin1(dir) + "/" + QString::fromLatin1(name) + ".png");
        return img;
    }
};

// Rows of the rectangle holding pixels much darker (light theme) or lighter
// (dark theme) than the background: the ink's height in pixels.
int inkHeight(const QImage& img, const QRectF& r, QColor back) {
    int top = -1, bottom = -1;
    for (int y = std::max(0, int(r.top())); y < std::min(img.height(), int(r.bottom())); ++y)
        for (int x = std::max(0, int(r.left())); x < std::min(img.width(), int(r.right())); ++x)
            if (std::abs(QColor(img.pixel(x, y)).lightness() - back.lightness()) > 100) {
                if (top < 0) top = y;
                bottom = y;
                break;
            }
    return top < 0 ? 0 : bottom - top + 1;
}

TEST(BigView, DigitsAreASixthOfTheWindowAtEverySize) {
    for (Theme theme : {Theme::Light, Theme::Dark}) {
        Rig r(theme);
        r.frame("A", 12345, 567, SwrKind::Value, 1.5f);
        r.frame("B", 1000, 0, SwrKind::NoReflection, 0);
        // The last: full screen, whatever the screen's size.
        for (QSize size : {QSize(480, 320), QSize(1280, 800), QSize(3840, 2160), QSize()}) {
            if (size.isValid()) {
                r.w->resize(size);
            } else {
                r.w->toggleFullScreen();
                size = r.w->screen()->size();
                QElapsedTimer t;
                t.start();
                while (r.w->size() != size && !t.hasExpired(3000)) QApplication::processEvents();
                EXPECT_EQ(r.w->size(), size);
            }
            const std::string name = "bigview-" + std::to_string(size.width()) + "x" +
                                     std::to_string(size.height()) +
                                     (theme == Theme::Dark ? "-dark" : "-light");
            const QImage img = r.shot(name.c_str());
            const auto& texts = r.w->readouts()->drawnTexts();
            EXPECT_EQ(texts, (std::vector<std::string>{"1234.5 W", "56.7 W", "1.5 :1", "100.0 W",
                                                       "0.0 W", "1.0 :1"}));
            const auto& rects = r.w->readouts()->numberRects();
            ASSERT_EQ(rects.size(), 6u);
            const QPoint origin = r.w->readouts()->mapTo(r.w.get(), QPoint(0, 0));
            for (size_t i = 0; i < rects.size(); ++i) {
                const int ink =
                    inkHeight(img, rects[i].translated(origin), r.w->readouts()->palette.back);
                EXPECT_GE(ink * 6, img.height()) << name << " number " << i;
                EXPECT_LE(ink * 3, img.height()) << name << " number " << i;
            }
        }
        r.w->toggleFullScreen();
    }
}

TEST(BigView, BannerWhileInAlarmAndNoDataAfterASilence) {
    Rig r;
    r.w->resize(800, 500);
    r.frame("A", 1000, 300, SwrKind::High, 3.4f);
    r.frame("B", 500, 10, SwrKind::Value, 1.3f);
    r.now += 300;
    r.frame("A", 1000, 300, SwrKind::High, 3.4f);
    r.frame("B", 500, 10, SwrKind::Value, 1.3f);
    ASSERT_TRUE(r.monitor.active(0));
    r.shot("bigview-alarm");
    auto texts = r.w->readouts()->drawnTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "SWR 3.4 > 3.0");
    // The SWR stays in its place beside the banner.
    EXPECT_NE(std::find(texts.begin(), texts.end(), "3.4 :1"), texts.end());

    // Silence: after a second (and not at it) the numbers give way to how long it has lasted.
    r.now += 1000;
    r.shot("bigview-fresh");
    EXPECT_EQ(r.w->readouts()->drawnTexts().size(), 7u);
    r.now += 12000;
    r.shot("bigview-nodata");
    texts = r.w->readouts()->drawnTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "no data for 13 s"), texts.end());
    EXPECT_TRUE(std::ranges::none_of(
        texts, [](const std::string& t) { return t.find(" W") != std::string::npos; }));
}

TEST(BigView, TextsOfTheNumbers) {
    EXPECT_EQ(tenthsText(0), "0.0");
    EXPECT_EQ(tenthsText(-5), "-0.5");
    EXPECT_EQ(tenthsText(32767), "3276.7");
    EXPECT_EQ(swrReadout(SwrKind::NoPower, 0), "---");
    EXPECT_EQ(swrReadout(SwrKind::High, std::numeric_limits<double>::infinity()), "\u221e");
    EXPECT_EQ(bannerText(3.4, 2.55), "SWR 3.4 > 2.55");
    EXPECT_EQ(bannerText(10.0, 3.0), "SWR 10.0 > 3.0");
}

}  // namespace
