// Reading the program's CSV log back: good, damaged, foreign and big files.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "history/HistoryExport.h"
#include "history/LogHistory.h"

using namespace quellon::history;

namespace {

const std::string kHeader =
    "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
    "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"";
const std::string kRecord = "\"2026-01-02\",\"00:00:00.000\",1,2,3,4,5,6,7,8";
const std::string kTop = kHeader + "\r\n";

struct TempFile {
    explicit TempFile(const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath("log.csv").toStdString();
};

int64_t localMs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)).toMSecsSinceEpoch();
}

}  // namespace

TEST(LogReader, GoodFileGivesBothChannels) {
    const TempFile f(kTop +
                     "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r\n"
                     "\"2026-12-05\",\"23:59:59.999\",480,120,500,125,100,0,100,0\r\n");
    const LogLoad l = loadLog(f.path, 2.0, 0);
    ASSERT_TRUE(l.ok) << l.message;
    const auto &a = l.history->samples(0), &b = l.history->samples(1);
    ASSERT_EQ(std::tuple(l.records, l.badLines, a.size(), b.size()), std::tuple(2u, 0u, 2u, 2u));
    EXPECT_EQ(a[0].t, localMs(2026, 12, 5, 11, 27, 22, 7));
    EXPECT_EQ(a[1].t, localMs(2026, 12, 5, 23, 59, 59, 999));  // the last moment of a day
    EXPECT_FLOAT_EQ(a[0].v[Fwd], 49.9f);                       // tenths of a watt
    EXPECT_FLOAT_EQ(a[0].v[Ref], 0.3f);
    // SWR from the peak powers: 50.0 W forward, 12.5 W reflected: rho 0.5, SWR 3.
    EXPECT_NEAR(a[1].v[Swr], 3.0f, 1e-4);
    EXPECT_FLOAT_EQ(b[1].v[Swr], 1.0f);
    // A's second above the threshold 2; B's threshold unknown: only a no-match would count.
    EXPECT_EQ(std::tuple(a[0].alarm, a[1].alarm, b[1].alarm), std::tuple(0, 1, 0));
}

// Lines that are no records are skipped and counted; the others still load.
TEST(LogReader, DamagedLinesAreCounted) {
    const std::tuple<const char*, std::string, uint64_t, uint64_t> rows[] = {
        {"LF only", kHeader + "\n" + kRecord + "\n", 1, 0},
        {"cut off last line, fields complete", kTop + kRecord, 0, 1},
        {"nine values", kTop + kRecord + ",9\r\n", 0, 1},
        {"value too big", kTop + "\"2026-01-02\",\"00:00:00.000\",1,2,3,4,5,6,7,40000\r\n", 0, 1},
        {"int16 ends", kTop + "\"2026-01-02\",\"00:00:00.000\",-32768,2,3,4,5,6,7,32767\r\n", 1, 0},
        {"one past", kTop + "\"2026-01-02\",\"00:00:00.000\",1,2,3,4,5,6,7,32768\r\n", 0, 1},
        {"bad month", kTop + "\"2026-13-02\",\"00:00:00.000\",1,2,3,4,5,6,7,8\r\n", 0, 1},
        {"31 February", kTop + "\"2026-02-31\",\"00:00:00.000\",1,2,3,4,5,6,7,8\r\n", 0, 1},
        {"28 February", kTop + "\"2026-02-28\"" + kRecord.substr(12) + "\r\n", 1, 0},
        {"31 June", kTop + "\"2026-06-31\"" + kRecord.substr(12) + "\r\n", 0, 1},
        {"31 November", kTop + "\"2026-11-31\"" + kRecord.substr(12) + "\r\n", 0, 1},
        {"the first year and a month's last day",
         kTop + "\"1970-01-31\"" + kRecord.substr(12) + "\r\n", 1, 0},
        {"a month's first day", kTop + "\"2026-02-01\"" + kRecord.substr(12) + "\r\n", 1, 0},
        {"before 1970", kTop + "\"1969-12-31\"" + kRecord.substr(12) + "\r\n", 0, 1},
        {"day 0", kTop + "\"2026-01-00\"" + kRecord.substr(12) + "\r\n", 0, 1},
        {"hour 24", kTop + "\"2026-01-02\",\"24:00:00.000\"" + kRecord.substr(27) + "\r\n", 0, 1},
        {"minute 60", kTop + "\"2026-01-02\",\"00:60:00.000\"" + kRecord.substr(27) + "\r\n", 0, 1},
        {"second 60", kTop + "\"2026-01-02\",\"00:00:60.000\"" + kRecord.substr(27) + "\r\n", 0, 1},
        {"empty line and junk", kTop + "\r\nhello\r\n" + kRecord + "\r\n", 1, 2},
        {"NUL inside", kTop + kRecord.substr(0, 33) + '\0' + kRecord.substr(33) + "\r\n", 0, 1},
        {"header again", kTop + kTop + kRecord + "\r\n", 1, 0},
        {"no header", kRecord + "\r\n", 1, 0},
        {"header only", kTop, 0, 0},
    };
    for (const auto& [what, body, records, bad] : rows) {
        const TempFile f(body);
        const LogLoad l = loadLog(f.path, 0, 0);
        ASSERT_TRUE(l.ok) << what << ": " << l.message;
        EXPECT_EQ(std::tuple(l.records, l.badLines), std::tuple(records, bad)) << what;
    }
}

// Not a log: refused with a message, nothing loaded.
TEST(LogReader, ForeignFilesAreRefused) {
    const std::tuple<const char*, std::string, const char*> rows[] = {
        {"other CSV", "a,b,c\r\n1,2,3\r\n", "not a Quellon log"},
        {"one huge line", std::string(6 << 20, 'x'), "not a Quellon log"},
        {"empty", "", "empty"},
        {"header with other columns", "\"Date\",\"Time\",\"PwrDirA\"\r\n", "not a Quellon log"},
    };
    for (const auto& [what, body, message] : rows) {
        const TempFile f(body);
        const LogLoad l = loadLog(f.path, 0, 0);
        EXPECT_FALSE(l.ok || l.history) << what;
        EXPECT_NE(l.message.find(message), std::string::npos) << what << ": " << l.message;
    }
    // Only a regular file is read: a pipe never answers (nor lets the open return).
    char dir[] = "/tmp/quellon-logreader-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, const char*> paths[] = {
        {"/nonexistent/dir/dataLog.csv", "cannot be opened"},
        {fifo, "fifo is not a regular file"},
    };
    for (const auto& [path, message] : paths) {
        const LogLoad l = loadLog(path, 0, 0);
        EXPECT_FALSE(l.ok);
        EXPECT_NE(l.message.find(message), std::string::npos) << path << ": " << l.message;
    }
    ::unlink(fifo.c_str()), ::rmdir(dir);
    // A load told to stop ends at its next block with nothing loaded.
    const TempFile big(kTop + std::string(5 << 20, '\n'));
    LoadProgress stop;
    stop.cancel = true;
    const LogLoad cancelled = loadLog(big.path, 0, 0, &stop);
    EXPECT_TRUE(cancelled.cancelled && !cancelled.ok && !cancelled.history);
    EXPECT_EQ(stop.bytesTotal, kTop.size() + (5u << 20));
}

// A large generated log (records across chunk boundaries of the reader, an
// hour change, out-of-order time stamps) loads completely and sorted.
TEST(LogReader, LargeFileLoadsCompletely) {
    std::string body = kTop;
    const int n = 150000;
    char line[96];
    for (int i = 0; i < n; ++i) {
        const int ms = (i * 7) % 1000, s = (i / 143) % 60, m = (i / 8580) % 60;
        const int h = 10 + i / 120000;
        std::snprintf(line, sizeof line,
                      "\"2025-06-30\",\"%02d:%02d:%02d.%03d\",%d,%d,%d,%d,%d,%d,%d,%d\r\n", h, m, s,
                      ms, i % 2000, i % 13, i % 2000 + 5, i % 13, 7, 0, 7, 0);
        body += line;
        if (i == 77777) body += "garbage line\r\n";
    }
    const TempFile f(body);
    const LogLoad l = loadLog(f.path, 0, 0);
    ASSERT_TRUE(l.ok) << l.message;
    const auto& a = l.history->samples(0);
    ASSERT_EQ(std::tuple(l.records, l.badLines, a.size()), std::tuple(uint64_t(n), 1u, size_t(n)));
    EXPECT_TRUE(std::is_sorted(a.begin(), a.end(),
                               [](const Sample& x, const Sample& y) { return x.t < y.t; }));
    EXPECT_EQ(l.history->firstMs(), localMs(2025, 6, 30, 10, 0, 0, 0));
}

// The export writes the span's frames of both channels in time order.
TEST(Export, CsvHoldsTheVisibleSpanInOrder) {
    const TempFile in(kTop +
                      "\"2026-12-05\",\"11:00:00.000\",100,0,100,0,200,0,200,0\r\n"
                      "\"2026-12-05\",\"11:00:01.000\",110,0,110,0,210,0,210,0\r\n"
                      "\"2026-12-05\",\"11:00:02.000\",120,0,120,0,220,0,220,0\r\n");
    const LogLoad l = loadLog(in.path, 0, 0);
    ASSERT_TRUE(l.ok);
    const TempFile out("");
    const int64_t t = l.history->firstMs();
    ASSERT_EQ(exportCsv(*l.history, {t + 500, t + 2000}, out.path, {"HF \"dipole\"", "VHF"}), "");
    std::ifstream f(out.path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::string want =
        exportHeaderLine() + "\r\n" +
        "\"2026-12-05 11:00:01.000\",\"A\",\"HF "
        "\"\"dipole\"\"\",11.0,11.0,11.0,0.0,0.0,0.0,1.00,1.00,1.00,0\r\n"
        "\"2026-12-05 11:00:01.000\",\"B\",\"VHF\",21.0,21.0,21.0,0.0,0.0,0.0,1.00,1.00,1.00,0\r\n";
    EXPECT_EQ(text, want);
    EXPECT_NE(exportCsv(*l.history, {t, t + 1}, "/nonexistent/dir/x.csv", {"A", "B"}), "");

    // On a full disk the export fails whole: an earlier one of the same name
    // stays as it was and no part of the new one is left (a 64 KB tmpfs; needs
    // the right to mount).
    char dir[] = "/tmp/quellon-export-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    if (::mount("tmpfs", dir, "tmpfs", 0, "size=64k") != 0) {
        ::rmdir(dir);
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    const std::string target = std::string(dir) + "/h.csv";
    ASSERT_EQ(exportCsv(*l.history, {t, t + 2001}, target, {"A", "B"}), "");
    std::ofstream(std::string(dir) + "/filler", std::ios::binary) << std::string(1 << 20, 'x');
    const std::string err = exportCsv(*l.history, {t, t + 1}, target, {"A", "B"});
    std::ifstream g(target, std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(g)), std::istreambuf_iterator<char>());
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.exists();
    ::umount(dir), ::rmdir(dir);
    EXPECT_NE(err.find("No space left"), std::string::npos) << err;
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 7) << "the earlier export, whole";
    EXPECT_EQ(entries, 2) << "no temporary file left";
}
