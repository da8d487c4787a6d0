#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "datalog/DataLogger.h"
#include "platform/testing/FakePlatform.h"
#include "settings/Ini.h"

namespace fs = std::filesystem;

namespace quellon {
namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
std::string rec(const char* time, const char* values) {
    return "\"2026-12-05\",\"" + std::string(time) + "\"," + values + "\r\n";
}

const std::string kHeader =
    "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
    "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n";
const std::string kRecord = rec("11:27:22.007", "499,3,510,5,0,0,0,0");

struct DataLoggerTest : ::testing::Test {
    void SetUp() override {
        char tmpl[] = "/tmp/datalog_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        g.ProgramDir = dir.string();
        g.SettingsPath = (dir / "Quellon.ini").string();
        g.logData = {499, 3, 510, 5, 0, 0, 0, 0, 0};
        plat.local = {2026, 12, 5, 11, 27, 22, 7};
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path logPath() const { return dir / "dataLog.csv"; }
    void set(const char* key, const std::string& v) { WriteIni("Bridge", key, v, g.SettingsPath); }
    void logOn() { g.dataLogActive = true, logger.startDataLog(); }
    void logOff() { g.dataLogActive = false, logger.stopDataLog(); }

    fs::path dir;
    ModGlobal g;
    FakePlatform plat;
    DataLogger logger{g, plat};
};

TEST(DataLogFormat, RecordLinePadsEveryFieldAsPrintfDid) {
    // Expected texts are what "%04d-%02d-%02d" ... "%d" printed for the same values.
    struct Row {
        LocalTime t;
        std::array<int16_t, 9> n;  // element 8 is not logged
        const char* line;
    };
    const Row rows[] = {
        {{2027, 1, 9, 0, 0, 0, 7},
         {-1, 32767, -32768, 0, 1, 2, 3, 4, 77},
         "\"2027-01-09\",\"00:00:00.007\",-1,32767,-32768,0,1,2,3,4"},
        {{999, 12, 31, 23, 59, 59, 999},
         {10, -10, 100, -100, 9, -9, 1000, -1000, 0},
         "\"0999-12-31\",\"23:59:59.999\",10,-10,100,-100,9,-9,1000,-1000"},
        {{12345, 10, 10, 10, 10, 10, 10},
         {0, 0, 0, 0, 0, 0, 0, 0, 0},
         "\"12345-10-10\",\"10:10:10.010\",0,0,0,0,0,0,0,0"},
        {{7, 2, 3, 4, 5, 6, 0},
         {5, 50, 500, 5000, -5, -50, -500, -5000, 0},
         "\"0007-02-03\",\"04:05:06.000\",5,50,500,5000,-5,-50,-500,-5000"},
        {{-5, 1, 1, 1, 1, 1, 100},
         {1, 1, 1, 1, 1, 1, 1, 1, 1},
         "\"-005-01-01\",\"01:01:01.100\",1,1,1,1,1,1,1,1"},
    };
    for (const Row& r : rows) EXPECT_EQ(DataLogger::recordLine(r.t, r.n), r.line);
}

TEST_F(DataLoggerTest, DataModeDecidesAppendOrNewFileWithHeaderAndCrLfRecords) {
    { std::ofstream(logPath(), std::ios::binary) << "old line\r\n"; }
    logOn();  // DataMode "0" and the file exists: appended, no header
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_EQ(slurp(logPath()), "old line\r\n" + kRecord);
    set("DataMode", "1");
    logOn();  // any other mode starts afresh
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader);
}

TEST_F(DataLoggerTest, ZeroRecordsFollowDataPwr) {
    g.logData = {};
    set("DataPwr", "1");
    logOn();
    EXPECT_FALSE(logger.writeLogRecord());  // all eight zero: skipped
    g.logData[8] = 5;                       // element 8 is not logged and does not count
    EXPECT_FALSE(logger.writeLogRecord());
    g.logData[7] = 1;  // one non-zero value brings the whole record back
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + rec("11:27:22.007", "0,0,0,0,0,0,0,1"));
}

TEST_F(DataLoggerTest, StreamStopThenRestartContinuesSameFile) {
    set("DataMode", "1");  // would truncate on a fresh start
    logOn();
    logger.writeLogRecord();
    logger.stopDataLog();                   // stream stopped, logging stays on
    EXPECT_FALSE(logger.writeLogRecord());  // due while closed: not written, no throw
    // Even a changed path does not split the session over two files.
    set("DataLog", (dir / "elsewhere.csv").string());
    logger.startDataLog();  // stream restarted
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord + kRecord);
    EXPECT_FALSE(fs::exists(dir / "elsewhere.csv"));
}

TEST_F(DataLoggerTest, OpenOrWriteFailureIsReportedOnceAndSwitchesLoggingOff) {
    // A missing folder; a full device, which opens but fails on the first record.
    // Reported in a box that waits for its answer, or (unattended) in one that
    // does not, which a later failure replaces.
    const std::pair<std::string, const char*> cases[] = {
        {(dir / "no such dir" / "log.csv").string(), "No such file"},
        {"/dev/full", "No space left"}};
    for (const bool modeless : {false, true}) {
        logger.setModelessReports(modeless);
        for (const auto& [path, reason] : cases) {
            SCOPED_TRACE(path + (modeless ? " modeless" : " modal"));
            if (!fs::exists(path) && path == "/dev/full") continue;  // no /dev/full here
            plat.messageBoxes.clear();
            set("DataLog", path);
            logOn();
            EXPECT_FALSE(logger.writeLogRecord());
            EXPECT_FALSE(logger.isOpen() || g.dataLogActive);
            EXPECT_TRUE(plat.messageBoxes.empty());  // not from inside the receive path
            plat.advance(5);
            ASSERT_EQ(plat.messageBoxes.size(), 1u);
            EXPECT_EQ(plat.messageBoxes[0].modeless, modeless);
            EXPECT_EQ(plat.messageBoxes[0].title, "Quellon by WEXLO");
            EXPECT_NE(plat.messageBoxes[0].text.find(path), std::string::npos);
            EXPECT_NE(plat.messageBoxes[0].text.find(reason), std::string::npos);
            EXPECT_FALSE(logger.writeLogRecord());
            plat.advance(5);
            EXPECT_EQ(plat.messageBoxes.size(), 1u);  // no box per record
            if (modeless) {
                EXPECT_EQ(plat.openMessages().size(), 1u);
            }
        }
    }
}

// Writes that stop part way (a full disk): the record is cut off again, the
// file ends with the last whole record, one message names file and reason.
TEST_F(DataLoggerTest, FailedWriteLeavesOnlyWholeRecords) {
    struct Case {
        const char* name;
        std::vector<ssize_t> results;  // >0: bytes taken, <0: -errno
        const char* reason;
    };
    const Case cases[] = {
        {"enospc at once", {-ENOSPC}, "No space left"},
        {"short then enospc", {17, -ENOSPC}, "No space left"},
        {"short then nothing", {5, 0}, "No space left"},
        {"eio after part", {30, -EIO}, "Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(logPath());
        plat.messageBoxes.clear();
        logOn();
        ASSERT_TRUE(logger.writeLogRecord());
        size_t step = 0;
        logger.writeFn = [&](int fd, const void* d, size_t n) -> ssize_t {
            const ssize_t r = step < c.results.size() ? c.results[step++] : ssize_t(n);
            if (r < 0) return errno = int(-r), -1;
            return ::write(fd, d, std::min(n, size_t(r)));
        };
        EXPECT_FALSE(logger.writeLogRecord());
        EXPECT_FALSE(logger.isOpen() || g.dataLogActive);
        EXPECT_EQ(slurp(logPath()), kHeader + kRecord);
        plat.advance(5);
        ASSERT_EQ(plat.messageBoxes.size(), 1u);
        EXPECT_NE(plat.messageBoxes[0].text.find(logPath().string()), std::string::npos);
        EXPECT_NE(plat.messageBoxes[0].text.find(c.reason), std::string::npos);
        logger.writeFn = [](int fd, const void* d, size_t n) { return ::write(fd, d, n); };
    }
}

TEST_F(DataLoggerTest, ShortWritesThatCompleteStillGiveOneWholeRecord) {
    logOn();
    logger.writeFn = [](int fd, const void* d, size_t n) {
        return ::write(fd, d, std::min<size_t>(n, 7));
    };
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord);
}

// A real full disk: a 64 KB tmpfs (needs the right to mount; skipped without).
TEST_F(DataLoggerTest, FullFileSystemLeavesOnlyWholeRecords) {
    const fs::path mnt = dir / "tiny";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    set("DataLog", (mnt / "log.csv").string());
    logOn();
    int records = 0;
    while (logger.writeLogRecord() && records < 100000) ++records;
    EXPECT_FALSE(logger.isOpen() || g.dataLogActive);
    const std::string all = slurp(mnt / "log.csv");
    ::umount(mnt.c_str());
    EXPECT_GT(records, 100);
    EXPECT_EQ(
        all, kHeader + [&] {
            std::string r;
            for (int i = 0; i < records; ++i) r += kRecord;
            return r;
        }());
    plat.advance(5);
    ASSERT_EQ(plat.messageBoxes.size(), 1u);
    EXPECT_NE(plat.messageBoxes[0].text.find("No space left"), std::string::npos);
}

// The next session never continues a line that a full disk or a crash cut off.
TEST_F(DataLoggerTest, AppendingCutsATornLastLineBackFirst) {
    const std::string older = kHeader + kRecord;
    const std::pair<std::string, std::string> cases[] = {
        {older + "\"2026", older + kRecord},
        {older + "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r", older + kRecord},
        {older, older + kRecord},
        {"\"Da", kHeader + kRecord},  // nothing whole at all: a new file
        {std::string(9000, 'x'), kHeader + kRecord},
        {std::string(5000, 'x') + "\n" + std::string(5000, 'y'),
         std::string(5000, 'x') + "\n" + kRecord},
    };
    for (const auto& [before, after] : cases) {
        { std::ofstream(logPath(), std::ios::binary) << before; }
        logOn();
        logger.writeLogRecord();
        logOff();
        EXPECT_EQ(slurp(logPath()), after) << before.substr(0, 40);
    }
}

// A file removed or replaced under the open log: noticed within seconds and
// reported; a deleted file gets no record more.
TEST_F(DataLoggerTest, LogFileRemovedOrReplacedIsNoticedWithinSeconds) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;
        const char* reason;
        bool byTimer;
    };
    const Case cases[] = {
        {"file deleted", [](const fs::path& p) { fs::remove(p); }, "deleted", false},
        {"folder removed", [](const fs::path& p) { fs::remove_all(p.parent_path()); }, "deleted",
         true},
        {"replaced",
         [](const fs::path& p) { fs::rename(p, p.string() + ".old"), std::ofstream(p) << "x"; },
         "another file", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path sub = dir / c.name;
        fs::create_directories(sub);
        set("DataLog", (sub / "log.csv").string());
        plat.messageBoxes.clear();
        logOn();
        ASSERT_TRUE(logger.writeLogRecord());
        c.change(sub / "log.csv");
        if (c.byTimer) {
            plat.advance(2100);  // no records due: the periodic look finds it
        } else {
            EXPECT_FALSE(logger.writeLogRecord());
            plat.advance(5);
        }
        EXPECT_FALSE(logger.isOpen() || g.dataLogActive);
        ASSERT_EQ(plat.messageBoxes.size(), 1u);
        EXPECT_NE(plat.messageBoxes[0].text.find((sub / "log.csv").string()), std::string::npos);
        EXPECT_NE(plat.messageBoxes[0].text.find(c.reason), std::string::npos);
        if (fs::exists(sub / "log.csv")) {
            EXPECT_EQ(slurp(sub / "log.csv"), "x");
        }
    }
}

}  // namespace
}  // namespace quellon
