#include "datalog/DataLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/Ini.h"

namespace quellon {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// DataRefresh as a 16-bit whole number; anything unusable keeps the 1000 ms default.
int parseRefresh(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || errno != 0 || !std::isfinite(v)) return 1000;
    v = std::nearbyint(v);
    if (v < -32768.0 || v > 32767.0) return 1000;
    return static_cast<int>(v);
}

}  // namespace

DataLogger::DataLogger(ModGlobal& g, Platform& p) : g_(g), p_(p) {}

DataLogger::~DataLogger() { closeFile(); }

std::string DataLogger::headerLine() {
    return "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\","
           "\"PwrDirB\",\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"";
}

std::string DataLogger::recordLine(const LocalTime& t, const std::array<int16_t, 9>& d) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "\"%04d-%02d-%02d\",\"%02d:%02d:%02d.%03d\",%d,%d,%d,%d,%d,%d,%d,%d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond, d[0], d[1], d[2], d[3],
                  d[4], d[5], d[6], d[7]);
    return buf;
}

void DataLogger::closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void DataLogger::fail(const std::string& what, int err) {
    lastError_ = what + " " + path_ + ": " + std::strerror(err);
    closeFile();
    resume_ = false;
    g_.dataLogActive = false;
    p_.messageBox(lastError_ + "\r\nData logging is switched off.", mb::Exclamation, kAppTitle);
}

void DataLogger::startDataLog() {
    if (!g_.dataLogActive) return;
    closeFile();  // a second start must not leak the first file
    g_.logZeroPower = ReadIni("Bridge", "DataPwr", g_.SettingsPath, "0") == "0";

    bool append;
    if (resume_) {
        // The stream was stopped while logging stayed on: carry on with the same
        // file, whatever DataMode says, so no second header lands in the middle.
        append = fileExists(path_);
    } else {
        path_ = ReadIni("Bridge", "DataLog", g_.SettingsPath, g_.ProgramDir + "/dataLog.csv");
        // Both are looked up so that DataMode's default lands in the settings file
        // even when there is no log yet.
        const bool exists = fileExists(path_);
        append = ReadIni("Bridge", "DataMode", g_.SettingsPath, "0") == "0" && exists;
    }
    resume_ = false;
    lastError_.clear();

    if (append) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd_ < 0) fail("Cannot open the data log file", errno);
        return;
    }
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        fail("Cannot create the data log file", errno);
        return;
    }
    if (!writeLine(headerLine())) return;
    refreshMs_ = parseRefresh(ReadIni("Bridge", "DataRefresh", g_.SettingsPath, "1000"));
}

void DataLogger::stopDataLog() {
    if (fd_ >= 0) resume_ = g_.dataLogActive;
    closeFile();
    if (!g_.dataLogActive) resume_ = false;
}

bool DataLogger::writeLine(const std::string& text) {
    // One write() per line into a file opened for appending, without a user-space
    // buffer: a killed program leaves whole lines only, and the line is in the
    // file as soon as this returns.
    std::string line = text + "\r\n";
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail("Cannot write to the data log file", n < 0 ? errno : EIO);
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool DataLogger::writeLogRecord() {
    if (fd_ < 0) return false;  // due while closed by a stream stop: dropped
    double sum = 0;
    for (int i = 0; i < 8; ++i) sum += g_.logData[static_cast<size_t>(i)];
    if (sum == 0 && !g_.logZeroPower) return false;
    return writeLine(recordLine(p_.localTime(), g_.logData));
}

}  // namespace quellon
