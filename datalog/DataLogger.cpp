#include "datalog/DataLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/Format.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

// How often an open log is compared with what its path names.
constexpr int kCheckEveryMs = 2000;

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

int refreshFromText(const std::string& text) {
    // Read as the C library reads a number (hexadecimal too); a value out of the
    // double's normal range or not finite is unusable.
    const NumberScan n = scanLeadingNumber(text, kCLibraryRules);
    if (!n.found || n.outOfRange || !std::isfinite(n.value)) return 1000;
    const double v = std::nearbyint(n.value);
    if (v < -32768.0 || v > 32767.0) return 1000;
    return static_cast<int>(v);
}

DataLogger::DataLogger(ModGlobal& g, Platform& p)
    : g_(g), p_(p), reportTimer_(p.newTimer()), checkTimer_(p.newTimer()) {
    writeFn = [](int fd, const void* data, size_t size) { return ::write(fd, data, size); };
    reportTimer_->setInterval(1);
    reportTimer_->onTimeout = [this] { showReport(); };
    checkTimer_->setInterval(kCheckEveryMs);
    checkTimer_->onTimeout = [this] {
        if (fd_ >= 0) checkFile();
    };
}

DataLogger::~DataLogger() {
    *alive_ = false;
    closeFile();
}

std::string DataLogger::headerLine(bool withFrequency) {
    std::string h =
        "\"Date\",\"Time\",\"PwrDirA\",\"PwrRefA\",\"PwrDirMaxA\",\"PwrRefMaxA\","
        "\"PwrDirB\",\"PwrRefB\",\"PwrDirMaxB\",\"PwrRefMaxB\"";
    if (withFrequency) h += ",\"FrequencyHz\",\"Mode\"";
    return h;
}

namespace {

// Appends v with at least `width` digits, zero-padded as printf's %0*d pads.
void putNumber(std::string& out, int v, int width) {
    char digits[12];
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0) {
        out += '-';
        --width;  // printf counts the sign in the width
    }
    for (int i = n; i < width; ++i) out += '0';
    while (n > 0) out += digits[--n];
}

}  // namespace

std::string DataLogger::recordLine(const LocalTime& t, const std::array<int16_t, 9>& d,
                                   const RigTag* tag) {
    // Written out by hand: printf's format parsing was most of a record's cost
    // at some 300 records a second. The text is exactly what
    // "\"%04d-%02d-%02d\",\"%02d:%02d:%02d.%03d\",%d,...,%d" gives.
    struct Field {
        int value;
        int width;
        const char* before;
    };
    const Field stamp[] = {{t.year, 4, "\""},      {t.month, 2, "-"},  {t.day, 2, "-"},
                           {t.hour, 2, "\",\""},   {t.minute, 2, ":"}, {t.second, 2, ":"},
                           {t.millisecond, 3, "."}};
    std::string s;
    s.reserve(80);
    for (const Field& f : stamp) {
        s += f.before;
        putNumber(s, f.value, f.width);
    }
    s += '"';
    for (size_t i = 0; i < 8; ++i) {
        s += ',';
        putNumber(s, d[i], 0);
    }
    if (tag) {
        s += ',';
        if (tag->hz > 0) s += std::to_string(tag->hz);
        s += ",\"";
        // A mode name is letters and digits; a quote or a comma would break the
        // record, so such a character is left out.
        for (char c : tag->mode)
            if (c != '"' && c != ',' && c != '\r' && c != '\n') s += c;
        s += '"';
    }
    return s;
}

void DataLogger::closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    checkTimer_->stop();
}

void DataLogger::fail(const std::string& what, int err) {
    failWith(what + " " + path_ + ": " + std::strerror(err));
}

void DataLogger::failWith(const std::string& text) {
    lastError_ = text;
    closeFile();
    resume_ = false;
    g_.dataLogActive = false;
    // One message per failure, however many records were due meanwhile.
    if (reportShowing_ || !pendingReport_.empty()) return;
    pendingReport_ = lastError_ + "\r\nData logging is switched off.";
    reportTimer_->start();
}

void DataLogger::showReport() {
    reportTimer_->stop();
    if (pendingReport_.empty()) return;
    const std::string text = std::move(pendingReport_);
    pendingReport_.clear();
    if (modelessReports_) {
        // A new failure replaces the report of an older one still on screen.
        report_.reset();
        report_ = p_.showMessage(text, mb::Exclamation, kAppTitle);
        return;
    }
    const std::shared_ptr<bool> alive = alive_;
    reportShowing_ = true;
    p_.messageBox(text, mb::Exclamation, kAppTitle);
    if (*alive) reportShowing_ = false;
}

bool DataLogger::cutTornLine() {
    // A last line without its line end was cut off (a full disk, a crash): cut
    // the file back to the end of the last whole line before anything follows it.
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        fail("Cannot open the data log file", errno);
        return false;
    }
    off_t end = st.st_size;
    char buf[4096];
    while (end > 0) {
        const off_t from =
            end > static_cast<off_t>(sizeof buf) ? end - static_cast<off_t>(sizeof buf) : 0;
        const ssize_t n = ::pread(fd_, buf, static_cast<size_t>(end - from), from);
        if (n != end - from) {
            fail("Cannot read the data log file", n < 0 ? errno : EIO);
            return false;
        }
        const char* hit = static_cast<const char*>(::memrchr(buf, '\n', static_cast<size_t>(n)));
        if (hit) {
            end = from + (hit - buf) + 1;
            break;
        }
        end = from;
    }
    if (end != st.st_size && ::ftruncate(fd_, end) != 0) {
        fail("Cannot repair the data log file", errno);
        return false;
    }
    goodEnd_ = end;
    // Nothing but a torn line: the file starts again as a new one would.
    if (end == 0 && st.st_size > 0) return writeLine(headerLine(frequencySource != nullptr));
    return true;
}

off_t DataLogger::checkNotDeleted() {
    struct stat open {};
    if (::fstat(fd_, &open) != 0) return -1;
    if (open.st_nlink == 0) {
        failWith("Cannot write to the data log file " + path_ + ": the file was deleted");
        return kDeleted;
    }
    return open.st_size;
}

bool DataLogger::checkFile() {
    if (fd_ < 0) return false;
    if (checkNotDeleted() == kDeleted) return false;
    struct stat named {};
    std::string why;
    if (::stat(path_.c_str(), &named) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) why = "the file or its folder was removed";
    } else if (named.st_dev != dev_ || named.st_ino != ino_) {
        why = "the path now names another file";
    }
    if (why.empty()) return true;
    failWith("Cannot write to the data log file " + path_ + ": " + why);
    return false;
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
        fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
        if (fd_ < 0) {
            fail("Cannot open the data log file", errno);
            return;
        }
        if (remember()) cutTornLine();
        return;
    }
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        fail("Cannot create the data log file", errno);
        return;
    }
    goodEnd_ = 0;
    if (!remember() || !writeLine(headerLine(frequencySource != nullptr))) return;
    refreshMs_ = refreshFromText(ReadIni("Bridge", "DataRefresh", g_.SettingsPath, "1000"));
}

bool DataLogger::remember() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        fail("Cannot open the data log file", errno);
        return false;
    }
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    checkTimer_->start();
    return true;
}

void DataLogger::stopDataLog() {
    if (fd_ >= 0) resume_ = g_.dataLogActive;
    closeFile();
    if (!g_.dataLogActive) resume_ = false;
}

bool DataLogger::writeLine(const std::string& text, off_t knownEnd) {
    // One write() per line into a file opened for appending, without a user-space
    // buffer: a killed program leaves whole lines only, and the line is in the
    // file as soon as this returns. What a failed or short write left behind is
    // cut off again, so the file ends with a whole line whatever happens.
    const off_t end = knownEnd >= 0 ? knownEnd : ::lseek(fd_, 0, SEEK_END);
    if (end >= 0) goodEnd_ = end;
    std::string line = text + "\r\n";
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = writeFn(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            (void)!::ftruncate(fd_, goodEnd_);
            fail("Cannot write to the data log file", err);
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    goodEnd_ += static_cast<off_t>(line.size());
    return true;
}

bool DataLogger::writeLogRecord() {
    if (fd_ < 0) return false;  // due while closed by a stream stop: dropped
    double sum = 0;
    for (int i = 0; i < 8; ++i) sum += g_.logData[static_cast<size_t>(i)];
    if (sum == 0 && !g_.logZeroPower) return false;
    // Per record only the open file itself is looked at (no path lookup, some
    // 288 times a second): a deleted file gets nothing more, and the same look
    // gives the file's end for the record. What its path names now is compared
    // every two seconds.
    const off_t end = checkNotDeleted();
    if (end == kDeleted) return false;
    if (frequencySource) {
        const RigTag tag = frequencySource();
        return writeLine(recordLine(p_.localTime(), g_.logData, &tag), end);
    }
    return writeLine(recordLine(p_.localTime(), g_.logData), end);
}

}  // namespace quellon
