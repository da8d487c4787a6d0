#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

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
// One CR LF record of 2026-12-05.
std::string rec(const char* time, const char* values) {
    return "\"2026-12-05\",\"" + std::string(time) + "\"," + values + "\r\n";
}

const std::string kHeader =
    "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
    "\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n";
const std::string kRecord = rec("11:27:22.007", "499,3,510,5,0,0,0,0");

class DataLoggerTest : public ::testing::Test {
protected:
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
    void set(const char* key, const std::string& value) {
        WriteIni("Bridge", key, value, g.SettingsPath);
    }
    void logOn() {
        g.dataLogActive = true;
        logger.startDataLog();
    }
    void logOff() {
        g.dataLogActive = false;
        logger.stopDataLog();
    }

    fs::path dir;
    ModGlobal g;
    FakePlatform plat;
    DataLogger logger{g, plat};
};

TEST(DataLogFormat, RecordLinePadsEveryField) {
    std::array<int16_t, 9> d{499, 3, 510, 5, 0, 0, 0, 0, 77};
    EXPECT_EQ(DataLogger::recordLine({2026, 12, 5, 11, 27, 22, 7}, d),
              "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0");
    std::array<int16_t, 9> n{-1, 32767, -32768, 0, 1, 2, 3, 4, 0};
    EXPECT_EQ(DataLogger::recordLine({2027, 1, 9, 0, 0, 0, 0}, n),
              "\"2027-01-09\",\"00:00:00.000\",-1,32767,-32768,0,1,2,3,4");
    EXPECT_EQ(DataLogger::recordLine({2026, 10, 31, 23, 59, 59, 999}, n).substr(0, 27),
              "\"2026-10-31\",\"23:59:59.999\"");
}

TEST_F(DataLoggerTest, NewFileGetsHeaderAndCrLfRecordsAndDefaultsAreWrittenBack) {
    logOn();
    ASSERT_TRUE(logger.isOpen());
    EXPECT_EQ(logger.path(), logPath().string());
    EXPECT_TRUE(logger.writeLogRecord());
    plat.local.millisecond = 45;
    g.logData[4] = 12;
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_FALSE(logger.isOpen());
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord + rec("11:27:22.045", "499,3,510,5,12,0,0,0"));
    std::string ini;  // the defaults were written back
    for (const char* key : {"DataMode", "DataPwr", "DataLog", "DataRefresh"})
        ini += IniLookup("Bridge", key, g.SettingsPath).value_or("?") + ";";
    EXPECT_EQ(ini, "0;0;" + logPath().string() + ";1000;");
}

TEST_F(DataLoggerTest, DataModeDecidesAppendOrNewAndPathAndRefreshAreRead) {
    { std::ofstream(logPath(), std::ios::binary) << "old line\r\n"; }
    logOn();  // DataMode "0" and the file exists: appended, no header
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()), "old line\r\n" + kRecord);

    set("DataMode", "1");
    logOn();  // any other mode starts afresh
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord);

    set("DataLog", (dir / "other.csv").string());
    set("DataRefresh", "250");
    logOn();
    EXPECT_EQ(logger.refreshInterval(), 250);
    logOff();
    EXPECT_EQ(slurp(dir / "other.csv"), kHeader);
}

TEST_F(DataLoggerTest, ZeroRecordsFollowDataPwr) {
    g.logData = {};
    logOn();  // DataPwr "0": zero records are logged too
    EXPECT_TRUE(g.logZeroPower);
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();

    set("DataPwr", "1");
    logOn();
    EXPECT_FALSE(g.logZeroPower);
    EXPECT_FALSE(logger.writeLogRecord());  // all eight zero: skipped
    g.logData[8] = 5;                       // element 8 is not logged and does not count
    EXPECT_FALSE(logger.writeLogRecord());
    g.logData[7] = 1;  // one non-zero value brings the whole record back
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + rec("11:27:22.007", "0,0,0,0,0,0,0,0") +
                                    rec("11:27:22.007", "0,0,0,0,0,0,0,1"));
    EXPECT_TRUE(plat.messageBoxes.empty());
}

TEST_F(DataLoggerTest, StreamStopThenRestartContinuesSameFile) {
    logger.startDataLog();  // logging off: nothing happens
    EXPECT_FALSE(logger.isOpen());
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_FALSE(logger.writeLogRecord());

    set("DataMode", "1");  // would truncate on a fresh start
    logOn();
    logger.writeLogRecord();
    logger.stopDataLog();  // stream stopped, logging stays on
    EXPECT_TRUE(g.dataLogActive);
    EXPECT_FALSE(logger.writeLogRecord());  // due while closed: not written, no throw
    // Even a changed path does not split the session over two files.
    set("DataLog", (dir / "elsewhere.csv").string());
    logger.startDataLog();  // stream restarted
    ASSERT_TRUE(logger.isOpen());
    plat.local.second = 23;
    logger.writeLogRecord();
    logger.stopDataLog();
    EXPECT_EQ(slurp(logPath()), kHeader + kRecord + rec("11:27:23.007", "499,3,510,5,0,0,0,0"));
    EXPECT_FALSE(fs::exists(dir / "elsewhere.csv"));

    // Once the user switches logging off, even while the stream is stopped, the
    // next start follows the settings again.
    logOff();
    logOn();
    EXPECT_EQ(logger.path(), (dir / "elsewhere.csv").string());
    logOff();
}

TEST_F(DataLoggerTest, OpenOrWriteFailureIsReportedOnceAndSwitchesLoggingOff) {
    // A missing folder; a folder as the path (it exists, so it is appended to); a
    // full device, which opens for appending but fails on the first record.
    const std::tuple<std::string, const char*, bool> cases[] = {
        {(dir / "no such dir" / "log.csv").string(), "No such file", false},
        {dir.string(), "", false},
        {"/dev/full", "No space left", true}};
    for (const auto& [path, reason, opens] : cases) {
        SCOPED_TRACE(path);
        if (!fs::exists(path) && opens) continue;  // no /dev/full here
        plat.messageBoxes.clear();
        set("DataLog", path);
        logOn();
        EXPECT_EQ(logger.isOpen(), opens);
        EXPECT_FALSE(logger.writeLogRecord());
        EXPECT_FALSE(logger.isOpen());
        EXPECT_FALSE(g.dataLogActive);
        ASSERT_EQ(plat.messageBoxes.size(), 1u);
        const MessageBoxCall& box = plat.messageBoxes[0];
        EXPECT_EQ(std::to_string(box.style) + " " + box.title, "48 Quellon by WEXLO");
        EXPECT_NE(box.text.find(path), std::string::npos);
        EXPECT_NE(box.text.find(reason), std::string::npos);
        EXPECT_NE(logger.lastError().find(path), std::string::npos);
        EXPECT_FALSE(logger.writeLogRecord());
        EXPECT_EQ(plat.messageBoxes.size(), 1u);  // no box per record
    }
}

}  // namespace
}  // namespace quellon
