// The history window offscreen: the traces land where their values say, a log
// opens with its count of bad lines, a foreign file is refused with a message.

#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <fstream>

#include "history/ui/HistoryPlot.h"
#include "history/ui/frmHistory.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

using namespace quellon;
using namespace quellon::history;

namespace {

struct Rig {
    Rig() {
        // The last minute: A steady at 50 W / 5 W / SWR 1.9, B at 20 W / 0 W / SWR 1;
        // one alarm of A 30 s ago.
        for (int64_t t = p.epoch - 60'000; t < p.epoch; t += 20) {
            store.add(0, Sample{t, {50, 5, 1.9f}, t == p.epoch - 30'000});
            store.add(1, Sample{t + 10, {20, 0, 1}, 0});
        }
        store.setThreshold(0, 3.0);
        w = std::make_unique<frmHistory>(store, p, "");
        w->resize(900, 640);
        w->show();
        w->redraw();
    }
    FakePlatform p;
    HistoryStore store;
    std::unique_ptr<frmHistory> w;
};

std::string write(const QTemporaryDir& d, const char* name, const std::string& body) {
    const std::string path = d.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream(path, std::ios::binary) << body;
    return path;
}

}  // namespace

TEST(HistoryWindow, TracesAppearWhereTheValuesSay) {
    Rig r;
    HistoryPlot* plot = r.w->plot();
    const QImage img = plot->grab().toImage();
    ASSERT_EQ(img.width(), plot->width());
    const QRect area = plot->plotRect();
    // The value scale on its own: 50 W sits half way up a pane that ends at 100 W.
    EXPECT_EQ(plot->valueRange(Fwd), (std::pair<double, double>{0, 100}));
    EXPECT_NEAR(plot->yOf(Fwd, 50), plot->paneRect(Fwd).center().y(), 1);
    const int w = area.width();
    const std::tuple<int, int, double> probes[] = {
        {0, Fwd, 50}, {1, Fwd, 20}, {0, Ref, 5}, {1, Ref, 0}, {0, Swr, 1.9}};
    for (const auto& [ch, trace, value] : probes) {
        const int y = plot->yOf(trace, value);
        ASSERT_TRUE(plot->paneRect(trace).contains(area.left(), y));
        for (int c : {w / 10, w / 3, w - 10})
            EXPECT_EQ(img.pixelColor(area.left() + c, y), HistoryPlot::channelColor(ch))
                << "ch " << ch << " trace " << trace << " column " << c;
        // Nothing of the channel a few rows away from the value.
        const int off = y - 6 > plot->paneRect(trace).top() ? y - 6 : y + 6;
        EXPECT_NE(img.pixelColor(area.left() + w / 3, off), HistoryPlot::channelColor(ch));
    }
    // The alarm 30 s ago: a red mark in A's row of the strip at its column, none elsewhere.
    const Columns* cols = plot->columns();
    const int alarmCol = cols->column(r.p.epoch - 30'000);
    const QRect strip = plot->alarmStrip();
    EXPECT_EQ(img.pixelColor(area.left() + alarmCol, strip.top() + 2), HistoryPlot::alarmColor());
    EXPECT_NE(img.pixelColor(area.left() + alarmCol + 20, strip.top() + 2),
              HistoryPlot::alarmColor());
    // A's threshold (SWR 3) is a dashed line of A's colour across the SWR pane.
    int dashes = 0;
    for (int x = area.left(); x < area.left() + 40; ++x)
        dashes += img.pixelColor(x, plot->yOf(Swr, 3.0)) == HistoryPlot::channelColor(0);
    EXPECT_TRUE(dashes > 5 && dashes < 40) << dashes;
}

TEST(HistoryWindow, StatsAndCursorReadTheVisibleSpan) {
    Rig r;
    EXPECT_EQ(r.w->statsText(0, Fwd), "50.0 / 50.0 / 50.0");
    EXPECT_EQ(r.w->statsText(1, Swr), "1.00 / 1.00 / 1.00");
    HistoryPlot* plot = r.w->plot();
    const QPointF at(plot->plotRect().left() + plot->plotRect().width() / 2,
                     plot->plotRect().center().y());
    QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    const QString text = r.w->cursorText();
    EXPECT_TRUE(text.contains(QStringLiteral("Fwd 50.0 W")) &&
                text.contains(QStringLiteral("Fwd 20.0 W")))
        << text.toStdString();
    const int col = *plot->columnAt(static_cast<int>(at.x()));
    const QString when =
        QString::fromStdString(formatTime(plot->columns()->columnStart(col), false));
    EXPECT_TRUE(text.startsWith(when)) << text.toStdString();
}

// The span in use is the one button checked, none while zoomed; Back leaves the zoom.
TEST(HistoryWindow, SpanButtonsFollowTheViewAndBackLeavesTheZoom) {
    Rig r;
    auto span = [&](int i) {
        return r.w->findChild<QToolButton*>(QStringLiteral("cmdSpan%1").arg(i))->isChecked();
    };
    r.w->findChild<QToolButton*>(QStringLiteral("cmdSpan2"))->click();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(span(i), i == 2) << i;
    ASSERT_TRUE(r.w->zoom(100, 300, 600));
    EXPECT_FALSE(span(2));
    r.w->findChild<QPushButton*>(QStringLiteral("cmdBack"))->click();
    EXPECT_TRUE(r.w->view().zoomDepth() == 0 && span(2));
}

// Open starts in the log's folder: the DataLog setting's, else beside the settings.
TEST(HistoryWindow, OpenStartsInTheLogsFolder) {
    QTemporaryDir d;
    const std::string ini = d.filePath(QStringLiteral("Quellon.ini")).toStdString();
    FakePlatform p;
    HistoryStore store;
    frmHistory w(store, p, ini);
    EXPECT_EQ(w.logFolder(), d.path().toStdString());
    WriteIni("Bridge", "DataLog", "/var/log/shack/tx.csv", ini);
    EXPECT_EQ(w.logFolder(), "/var/log/shack");
}

TEST(HistoryWindow, LogOpensWithItsBadLinesCounted) {
    Rig r;
    QTemporaryDir d;
    const std::string header =
        "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
        "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n";
    const std::string good =
        write(d, "good.csv",
              header +
                  "\"2026-12-05\",\"11:00:00.000\",1000,10,1000,10,0,0,0,0\r\n"
                  "broken\r\n"
                  "\"2026-12-05\",\"11:00:10.000\",1200,10,1200,10,0,0,0,0\r\n"
                  "\"2026-12-05\",\"11:00:20.000\",1100,10,1100,10,0,0,0,0,9\r\n");
    ASSERT_TRUE(r.w->openLog(good));
    EXPECT_TRUE(r.w->showingLog());
    EXPECT_TRUE(r.w->sourceText().contains(QStringLiteral("2 records, 2 bad lines skipped")))
        << r.w->sourceText().toStdString();
    EXPECT_EQ(r.w->visibleRange().span(), 10'001);  // the whole log
    for (int i = 0; i < 5; ++i)                     // a zoom, not one of the spans
        EXPECT_FALSE(r.w->findChild<QToolButton*>(QStringLiteral("cmdSpan%1").arg(i))->isChecked());
    EXPECT_EQ(r.w->statsText(0, Fwd), "100.0 / 110.0 / 120.0");
    EXPECT_TRUE(r.p.messageBoxes.empty());

    const std::string foreign = write(d, "other.csv", "name,call\r\nJohn,W1AW\r\n");
    EXPECT_FALSE(r.w->openLog(foreign));
    ASSERT_EQ(r.p.messageBoxes.size(), 1u);
    EXPECT_NE(r.p.messageBoxes[0].text.find("not a Quellon log"), std::string::npos);
    EXPECT_TRUE(r.w->showingLog());  // the log shown before stays

    const std::string png = d.filePath(QStringLiteral("h.png")).toStdString();
    ASSERT_TRUE(r.w->exportPng(png));
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());

    // Read on a thread: a cancelled load frees Open at once and its result,
    // when it comes, is dropped.
    r.w->showLive();
    r.w->startLoad(good);
    EXPECT_TRUE(r.w->loading());
    r.w->cancelLoad();
    EXPECT_FALSE(r.w->loading());
    QTest::qWait(200);
    EXPECT_FALSE(r.w->showingLog());
    r.w->startLoad(good);
    EXPECT_TRUE(QTest::qWaitFor([&] { return r.w->showingLog(); }, 10000));

    r.w->showLive();
    EXPECT_FALSE(r.w->showingLog());
    r.w->redraw();
    EXPECT_EQ(r.w->visibleRange(), (TimeRange{r.p.epoch - 60'000, r.p.epoch}));
}
