#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "datalog/DataLogger.h"
#include "settings/Ini.h"

namespace fs = std::filesystem;
using namespace quellon;

namespace {

// Only the clock and the message box matter to the logger.
class LogPlatform : public Platform {
public:
    LocalTime now{2026, 12, 5, 11, 27, 22, 7};
    struct Box {
        std::string text;
        int style;
        std::string title;
    };
    std::vector<Box> boxes;

    uint32_t tickCount() override { return 0; }
    void sleep(int) override {}
    void processEvents() override {}
    int messageBox(const std::string& text, int style, const std::string& title) override {
        boxes.push_back({text, style, title});
        return mb::IdOk;
    }
    void beep() override {}
    LocalTime localTime() override { return now; }
    std::unique_ptr<SerialPort> newSerialPort() override { return nullptr; }
    std::unique_ptr<Timer> newTimer() override { return nullptr; }
    void endProgram(int) override {}
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const std::string kHeader =
    "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\",\"PwrDirB\","
    "\"PwrRefB\","
    "\"PwrDirMaxB\",\"PwrRefMaxB\"\r\n";

class DataLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/datalog_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        g.ProgramDir = dir.string();
        g.SettingsPath = (dir / "Quellon.ini").string();
        g.logData = {499, 3, 510, 5, 0, 0, 0, 0, 0};
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path logPath() const { return dir / "dataLog.csv"; }
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
    LogPlatform plat;
    DataLogger logger{g, plat};
};

}  // namespace

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

TEST_F(DataLoggerTest, NewFileGetsHeaderAndCrLfRecords) {
    logOn();
    ASSERT_TRUE(logger.isOpen());
    EXPECT_EQ(logger.path(), logPath().string());
    EXPECT_TRUE(logger.writeLogRecord());
    plat.now.millisecond = 45;
    g.logData[4] = 12;
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_FALSE(logger.isOpen());
    EXPECT_EQ(slurp(logPath()), kHeader +
                                    "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r\n"
                                    "\"2026-12-05\",\"11:27:22.045\",499,3,510,5,12,0,0,0\r\n");
    // The defaults were written back to the settings file.
    EXPECT_EQ(IniLookup("Bridge", "DataMode", g.SettingsPath).value_or(""), "0");
    EXPECT_EQ(IniLookup("Bridge", "DataPwr", g.SettingsPath).value_or(""), "0");
    EXPECT_EQ(IniLookup("Bridge", "DataLog", g.SettingsPath).value_or(""), logPath().string());
    EXPECT_EQ(IniLookup("Bridge", "DataRefresh", g.SettingsPath).value_or(""), "1000");
}

TEST_F(DataLoggerTest, DataModeDecidesAppendOrNew) {
    { std::ofstream(logPath(), std::ios::binary) << "old line\r\n"; }
    logOn();  // DataMode "0" and the file exists: appended, no header
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()),
              "old line\r\n\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r\n");

    WriteIni("Bridge", "DataMode", "1", g.SettingsPath);
    logOn();  // any other mode starts afresh
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()),
              kHeader + "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r\n");
}

TEST_F(DataLoggerTest, CustomPathAndRefreshInterval) {
    const auto custom = dir / "other.csv";
    WriteIni("Bridge", "DataLog", custom.string(), g.SettingsPath);
    WriteIni("Bridge", "DataRefresh", "250", g.SettingsPath);
    logOn();
    EXPECT_EQ(logger.refreshInterval(), 250);
    logOff();
    EXPECT_EQ(slurp(custom), kHeader);
    EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(DataLoggerTest, ZeroRecordsFollowDataPwr) {
    g.logData = {};
    logOn();  // DataPwr "0": zero records are logged too
    EXPECT_TRUE(g.logZeroPower);
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();

    WriteIni("Bridge", "DataPwr", "1", g.SettingsPath);
    logOn();
    EXPECT_FALSE(g.logZeroPower);
    EXPECT_FALSE(logger.writeLogRecord());  // all eight zero: skipped
    g.logData[8] = 5;                       // element 8 is not logged and does not count
    EXPECT_FALSE(logger.writeLogRecord());
    g.logData[7] = 1;  // one non-zero value brings the whole record back
    EXPECT_TRUE(logger.writeLogRecord());
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader + "\"2026-12-05\",\"11:27:22.007\",0,0,0,0,0,0,0,0\r\n" +
                                    "\"2026-12-05\",\"11:27:22.007\",0,0,0,0,0,0,0,1\r\n");
    EXPECT_TRUE(plat.boxes.empty());
}

TEST_F(DataLoggerTest, StartDoesNothingWhileLoggingIsOff) {
    logger.startDataLog();
    EXPECT_FALSE(logger.isOpen());
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_FALSE(logger.writeLogRecord());
}

TEST_F(DataLoggerTest, StreamStopThenRestartContinuesSameFile) {
    WriteIni("Bridge", "DataMode", "1", g.SettingsPath);  // would truncate on a fresh start
    logOn();
    logger.writeLogRecord();
    logger.stopDataLog();  // stream stopped, logging stays on
    EXPECT_TRUE(g.dataLogActive);
    EXPECT_FALSE(logger.writeLogRecord());  // due while closed: not written, no throw
    // Even a changed path does not split the session over two files.
    WriteIni("Bridge", "DataLog", (dir / "elsewhere.csv").string(), g.SettingsPath);
    logger.startDataLog();  // stream restarted
    ASSERT_TRUE(logger.isOpen());
    plat.now.second = 23;
    logger.writeLogRecord();
    logOff();
    EXPECT_EQ(slurp(logPath()), kHeader +
                                    "\"2026-12-05\",\"11:27:22.007\",499,3,510,5,0,0,0,0\r\n" +
                                    "\"2026-12-05\",\"11:27:23.007\",499,3,510,5,0,0,0,0\r\n");
    EXPECT_FALSE(fs::exists(dir / "elsewhere.csv"));

    // After the user switched logging off, the next start follows the settings again.
    logOn();
    EXPECT_EQ(logger.path(), (dir / "elsewhere.csv").string());
    logOff();
}

TEST_F(DataLoggerTest, UncreatableFileIsReportedAndLoggingSwitchedOff) {
    const auto bad = dir / "no such dir" / "log.csv";
    WriteIni("Bridge", "DataLog", bad.string(), g.SettingsPath);
    logOn();
    EXPECT_FALSE(logger.isOpen());
    EXPECT_FALSE(g.dataLogActive);
    ASSERT_EQ(plat.boxes.size(), 1u);
    EXPECT_EQ(plat.boxes[0].style, 48);
    EXPECT_EQ(plat.boxes[0].title, "Quellon by WEXLO");
    EXPECT_NE(plat.boxes[0].text.find(bad.string()), std::string::npos);
    EXPECT_NE(plat.boxes[0].text.find("No such file or directory"), std::string::npos);
    EXPECT_NE(logger.lastError().find(bad.string()), std::string::npos);
    EXPECT_FALSE(logger.writeLogRecord());
    EXPECT_EQ(plat.boxes.size(), 1u);  // no box per record
}

TEST_F(DataLoggerTest, PathThatIsADirectoryIsReported) {
    WriteIni("Bridge", "DataLog", dir.string(), g.SettingsPath);
    logOn();  // exists, so it is appended to, which fails
    EXPECT_FALSE(logger.isOpen());
    EXPECT_FALSE(g.dataLogActive);
    ASSERT_EQ(plat.boxes.size(), 1u);
    EXPECT_NE(plat.boxes[0].text.find(dir.string()), std::string::npos);
}

TEST_F(DataLoggerTest, WriteFailureClosesAndReportsOnce) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    WriteIni("Bridge", "DataLog", "/dev/full", g.SettingsPath);
    logOn();  // exists, DataMode "0": opened for appending, the write fails
    ASSERT_TRUE(logger.isOpen());
    EXPECT_FALSE(logger.writeLogRecord());
    EXPECT_FALSE(logger.isOpen());
    EXPECT_FALSE(g.dataLogActive);
    ASSERT_EQ(plat.boxes.size(), 1u);
    EXPECT_NE(plat.boxes[0].text.find("/dev/full"), std::string::npos);
    EXPECT_FALSE(logger.writeLogRecord());
    EXPECT_EQ(plat.boxes.size(), 1u);
}
