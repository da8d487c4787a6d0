#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "datalog/DataLogger.h"
#include "datalog/LogPairing.h"
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
        record = {499, 3, 510, 5, 0, 0, 0, 0, 0};
        plat.local = {2026, 12, 5, 11, 27, 22, 7};
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path logPath() const { return dir / "dataLog.csv"; }
    void set(const char* key, const std::string& v) { WriteIni("Bridge", key, v, g.SettingsPath); }
    void logOn() { logger.setDataLogActive(true), logger.startDataLog(); }
    void logOff() { logger.setDataLogActive(false), logger.stopDataLog(), logger.flush(); }
    // Logging is off, and one report names the file and the reason, from a timer tick.
    void expectOneReport(const std::string& file, const char* reason, bool modeless = false) {
        logger.flush();
        EXPECT_FALSE(logger.isOpen() || logger.dataLogActive());
        plat.advance(5);
        ASSERT_EQ(plat.messageBoxes.size(), 1u);
        const MessageBoxCall& box = plat.messageBoxes[0];
        EXPECT_EQ(std::tuple(box.modeless, box.title), std::tuple(modeless, "Quellon by WEXLO"));
        EXPECT_NE(box.text.find(file), std::string::npos) << box.text;
        EXPECT_NE(box.text.find(reason), std::string::npos) << box.text;
    }

    fs::path dir;
    ModGlobal g;
    std::array<int16_t, 9> record{};
    FakePlatform plat;
    DataLogger logger{g, plat};
};

TEST(DataLogFormat, RecordLinePadsEveryFieldAsPrintfDid) {
    // Expected texts are what "%04d-%02d-%02d" ... "%d" printed for the same values;
    // element 8 of the numbers is not logged.
    // clang-format off
    const std::tuple<LocalTime, std::array<int16_t, 9>, const char*> rows[] = {
        {{2027, 1, 9, 0, 0, 0, 7}, {-1, 32767, -32768, 0, 1, 2, 3, 4, 77},
         "\"2027-01-09\",\"00:00:00.007\",-1,32767,-32768,0,1,2,3,4"},
        {{12345, 10, 10, 10, 10, 10, 10}, {}, "\"12345-10-10\",\"10:10:10.010\",0,0,0,0,0,0,0,0"},
        {{-5, 1, 1, 1, 1, 1, 100}, {1, 1, 1, 1, 1, 1, 1, 1, 1}, "\"-005-01-01\",\"01:01:01.100\",1,1,1,1,1,1,1,1"},
    };
    // clang-format on
    for (const auto& [t, n, line] : rows) EXPECT_EQ(DataLogger::recordLine(t, n), line);
}

TEST_F(DataLoggerTest, FrequencyColumnsComeAtTheEndOfTheHeaderAndOfEveryRecord) {
    set("DataMode", "1");
    RigTag tag{14'074'000, "USB"};
    logger.frequencySource = [&] { return tag; };
    logOn();
    EXPECT_TRUE(logger.writeLogRecord(record));
    tag = {0, ""};  // the rig not answering: no frequency
    EXPECT_TRUE(logger.writeLogRecord(record));
    tag = {7'030'000, "C\"W,"};  // nothing that would break the record gets in
    EXPECT_TRUE(logger.writeLogRecord(record));
    logOff();
    const std::string base = kRecord.substr(0, kRecord.size() - 2);
    EXPECT_EQ(slurp(logPath()),
              kHeader.substr(0, kHeader.size() - 2) + ",\"FrequencyHz\",\"Mode\"\r\n" + base +
                  ",14074000,\"USB\"\r\n" + base + ",,\"\"\r\n" + base + ",7030000,\"CW\"\r\n");
}

// Each A reading is paired with the B right after it into one record; a B after
// anything else, or after forget() (a resync, a new connection), writes nothing.
TEST_F(DataLoggerTest, OneRecordPerAThenBOfOneStretch) {
    LogPairing pairing(logger, [this] { return logger.dataLogActive(); });
    const BridgeState state{};
    ChannelReading r;
    const auto feed = [&](const std::string& channels) {
        for (const char c : channels) {
            r.channel = std::string(1, c);
            ++r.pwrDir;
            if (c == '|') pairing.forget();
            else pairing.onReading({r, state, 0});
        }
    };
    feed("AB");  // logging off
    logOn();
    feed("ABBAB|BAAB");
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + rec("11:27:22.007", "3,0,0,0,4,0,0,0") +
                                    rec("11:27:22.007", "6,0,0,0,7,0,0,0") +
                                    rec("11:27:22.007", "11,0,0,0,12,0,0,0"));
}

TEST_F(DataLoggerTest, ZeroRecordsFollowDataPwrAndShortWritesThatCompleteGiveWholeLines) {
    logger.writeFn = [](int fd, const void* d, size_t n) {
        return ::write(fd, d, std::min<size_t>(n, 7));
    };
    record = {};
    set("DataPwr", "1");
    logOn();
    EXPECT_FALSE(logger.writeLogRecord(record));  // all eight zero: skipped
    record[8] = 5;                                // element 8 is not logged and does not count
    EXPECT_FALSE(logger.writeLogRecord(record));
    record[7] = 1;  // one non-zero value brings the whole record back
    EXPECT_TRUE(logger.writeLogRecord(record));
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + rec("11:27:22.007", "0,0,0,0,0,0,0,1"));
}

TEST_F(DataLoggerTest, StreamStopThenRestartContinuesSameFile) {
    set("DataMode", "1");  // would truncate on a fresh start
    logOn();
    logger.writeLogRecord(record);
    logger.stopDataLog();                         // stream stopped, logging stays on
    EXPECT_FALSE(logger.writeLogRecord(record));  // due while closed: not written, no throw
    // Even a changed path does not split the session over two files.
    set("DataLog", (dir / "elsewhere.csv").string());
    logger.startDataLog();  // stream restarted
    logger.writeLogRecord(record);
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord + kRecord);
    EXPECT_FALSE(fs::exists(dir / "elsewhere.csv"));
}

// Every way the log fails (cannot open, a full disk, a write that stops part way, the
// file deleted or replaced under it): reported once and never from inside the receive
// path, logging switched off, and the file left ending with its last whole record.
TEST_F(DataLoggerTest, FailureIsReportedOnceAndLeavesOnlyWholeRecords) {
    using Spoil = std::function<void(const fs::path&)>;
    const auto failWrites = [this](std::vector<ssize_t> results) -> Spoil {  // >0 taken, <0 -errno
        return [this, results](const fs::path&) {
            logger.writeFn = [results, step = size_t{0}](int fd, const void* d,
                                                         size_t n) mutable -> ssize_t {
                const ssize_t r = step < results.size() ? results[step++] : ssize_t(n);
                if (r < 0) return errno = int(-r), -1;
                return ::write(fd, d, std::min(n, size_t(r)));
            };
        };
    };
    struct Case {
        std::string name, path;  // no path: a file of its own in a new folder
        Spoil spoil;             // after one good record
        const char* reason;
        bool byTimer = false;   // noticed by the periodic look, with no record due
        bool modeless = false;  // unattended: a box that does not wait, a later one replaces it
        std::string left = {};  // the file afterwards, when checked
    };
    const std::string whole = kHeader + kRecord;
    const Case cases[] = {
        {"missing folder", (dir / "no such dir" / "log.csv").string(), {}, "No such file"},
        // Only a regular file is a log: a pipe would block the writer for good.
        {"pipe", (dir / "fifo").string(), {}, "not a regular file"},
        {"short then enospc", "", failWrites({17, -ENOSPC}), "No space left", false, false, whole},
        {"short then nothing", "", failWrites({5, 0}), "No space left", false, false, whole},
        {"file deleted", "", [](const fs::path& p) { fs::remove(p); }, "deleted"},
        {"folder removed", "", [](const fs::path& p) { fs::remove_all(p.parent_path()); },
         "deleted", true},
        {"replaced", "",
         [](const fs::path& p) { fs::rename(p, p.string() + ".old"), std::ofstream(p) << "x"; },
         "another file", true, false, "x"},
        {"eio after part", "", failWrites({30, -EIO}), "Input/output error", false, true, whole},
    };
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const auto plainWrite = logger.writeFn;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = c.path;
        if (path.empty()) fs::create_directories(dir / c.name), path = dir / c.name / "log.csv";
        logger.writeFn = plainWrite;
        logger.setModelessReports(c.modeless);
        plat.messageBoxes.clear();
        set("DataLog", path);
        logOn();
        if (c.spoil) {
            ASSERT_TRUE(logger.writeLogRecord(record) && logger.flush());
            c.spoil(path);
        }
        if (c.byTimer) {
            plat.advance(2100);
        } else {
            logger.writeLogRecord(record);
            logger.flush();
            EXPECT_TRUE(plat.messageBoxes.empty());
        }
        expectOneReport(path, c.reason, c.modeless);
        EXPECT_FALSE(logger.writeLogRecord(record));
        plat.advance(5);
        EXPECT_EQ(plat.messageBoxes.size(), 1u);  // no box per record
        EXPECT_EQ(plat.openMessages().size(), c.modeless ? 1u : 0u);
        EXPECT_EQ(c.left.empty() ? "" : slurp(path), c.left);
    }
}

// A write that never comes back (a stalled network mount) holds up neither the
// records nor the user interface: it runs on the writer thread, and after
// kStallMs without progress logging is switched off with a report.
TEST_F(DataLoggerTest, AStuckWriteIsLeftBehindAndReported) {
    logOn();
    ASSERT_TRUE(logger.flush());
    // Shared with the writer left behind, which outlives the test.
    const auto gate = std::make_shared<std::promise<void>>();
    const auto writer = std::make_shared<std::atomic<std::thread::id>>();
    logger.writeFn = [open = gate->get_future().share(), writer](int fd, const void* d,
                                                                 size_t n) -> ssize_t {
        *writer = std::this_thread::get_id();
        open.wait_for(std::chrono::seconds(5));
        return ::write(fd, d, n);
    };
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(logger.writeLogRecord(record));
    plat.advance(DataLogger::kStallMs + 2 * DataLogger::kBatchMs);
    expectOneReport(logPath().string(), "has taken nothing for 10 s");
    EXPECT_NE(writer->load(), std::this_thread::get_id());
    gate->set_value();
}

// DataMode "0" appends to a log that is there, without a header, and never continues
// a line that a full disk or a crash cut off; any other mode starts afresh.
TEST_F(DataLoggerTest, AppendingCutsATornLastLineBackFirstAndOtherModesStartAfresh) {
    const std::string older = kHeader + kRecord;
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"0", "old line\r\n", "old line\r\n" + kRecord},
        {"0", older + "\"2026", older + kRecord},
        {"0", older + kRecord.substr(0, kRecord.size() - 1), older + kRecord},  // CR without LF
        {"0", std::string(9000, 'x'), kHeader + kRecord},  // nothing whole: a new file
        {"0", std::string(5000, 'x') + "\n" + std::string(5000, 'y'),
         std::string(5000, 'x') + "\n" + kRecord},
        {"1", older, kHeader + kRecord},
    };
    for (const auto& [mode, before, after] : cases) {
        { std::ofstream(logPath(), std::ios::binary) << before; }
        set("DataMode", mode);
        logOn();
        EXPECT_TRUE(logger.writeLogRecord(record));
        logOff();
        EXPECT_EQ(slurp(logPath()), after) << mode << " " << before.substr(0, 40);
    }
}

}  // namespace
}  // namespace quellon
