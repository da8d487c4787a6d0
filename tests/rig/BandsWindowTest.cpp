// The Bands window offscreen: a log with frequency fills the table and the
// curve, the exports write what the window shows, a foreign file is refused.

#include <gtest/gtest.h>

#include <QImage>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>

#include "history/HistoryStore.h"
#include "rig/ui/frmBands.h"

namespace quellon::rig {
namespace {

struct Window {
    Window() {
        const std::string log = dir.filePath("log.csv").toStdString();
        std::ofstream f(log, std::ios::binary);
        f << "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
             "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\",\"FrequencyHz\",\"Mode\"\r\n";
        // A on 20 m at 100 W with 4 W reflected (SWR 1.5), B silent; then 40 m.
        for (int i = 0; i < 600; ++i) {
            char stamp[40];
            std::snprintf(stamp, sizeof stamp, "\"2026-12-05\",\"11:%02d:%02d.000\"", 27 + i / 60,
                          i % 60);
            f << stamp << ",1000,40,1000,40,0,0,0,0,"
              << (i < 300 ? "14074000,\"USB\"" : "7030000,\"CW\"") << "\r\n";
        }
        path = log;
    }
    QTemporaryDir dir;
    std::string path;
    history::HistoryStore store;
    BandStats live{BandPlan(), 1.0};
};

TEST(BandsWindow, ALogWithFrequencyFillsTheTableAndTheCurve) {
    Window t;
    frmBands w(t.live, t.store);
    w.show();
    EXPECT_EQ(w.table()->rowCount(), 0) << "nothing live yet";
    ASSERT_TRUE(w.openLog(t.path)) << w.lastMessage().toStdString();
    // B had no power, but its readings were on the bands all the same.
    ASSERT_EQ(w.table()->rowCount(), 4);
    auto cell = [&](int row, int col) { return w.table()->item(row, col)->text().toStdString(); };
    EXPECT_EQ((std::vector<std::string>{cell(0, 0), cell(1, 1), cell(1, 2), cell(2, 0), cell(2, 2),
                                        cell(2, 4), cell(2, 6), cell(2, 7)}),
              (std::vector<std::string>{"40m", "B", "0", "20m", "300", "1.50", "100.0", "0:04:59"}))
        << "bands in plan order";
    w.setCurve(5, 0, 0);  // 20 m, channel A, the last hour
    const auto& bins = w.recentCurve().bins;
    const size_t bin = (14'074'000 - 14'000'000) / 5'000;
    ASSERT_GT(bins.size(), bin);
    EXPECT_EQ(bins[bin].n, 300u);
    EXPECT_NEAR(bins[bin].median, 1.5, 0.001);

    const std::string csv = t.dir.filePath("bands.csv").toStdString();
    ASSERT_TRUE(w.exportTableCsv(csv));
    std::ifstream in(csv, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), w.stats().csv());
    const std::string png = t.dir.filePath("curve.png").toStdString();
    ASSERT_TRUE(w.exportCurvePng(png));
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    ASSERT_TRUE(w.exportCurveCsv(t.dir.filePath("curve.csv").toStdString()));

    w.showLive();
    EXPECT_EQ(w.table()->rowCount(), 0);
}

}  // namespace
}  // namespace quellon::rig
