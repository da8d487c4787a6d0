#include "datalog/DataLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/Format.h"
#include "settings/Ini.h"

namespace quellon {

namespace {

// How often an open log is compared with what its path names.
constexpr int kCheckEveryMs = 2000;

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

// The writer thread: every file operation of the log happens here, in the
// order the user interface asked for it. It never touches the settings or the
// platform; what it has to say goes back as results, which the user-interface
// thread takes in from its own timer.
struct DataLogger::Writer {
    using WriteFn = std::function<ssize_t(int, const void*, size_t)>;
    enum class Kind { Open, Write, Check, Close };
    struct Job {
        Kind kind;
        std::string path;            // Open
        bool appendIfThere = false;  // Open: append to a file that is there
        std::string bytes;           // Write: whole lines
        WriteFn write;               // Write
        bool withFrequency = false;  // Open: a new file's header has the rig's columns
        Job(Kind k, std::string p = {}, bool append = false, std::string b = {}, WriteFn w = {},
            bool frequency = false)
            : kind(k),
              path(std::move(p)),
              appendIfThere(append),
              bytes(std::move(b)),
              write(std::move(w)),
              withFrequency(frequency) {}
    };
    struct Result {
        bool failed = false;  // text says why; the file is closed
        bool fresh = false;   // a new file was started with its header
        std::string text;
    };

    std::mutex m;
    std::condition_variable wake, idle;
    std::deque<Job> jobs;
    std::vector<Result> results;
    uint64_t queued = 0, done = 0;
    bool quit = false;

    // Writer thread only.
    int fd = -1;
    std::string path;
    off_t goodEnd = 0;  // end of the last whole line in the file
    bool withFrequency = false;
    dev_t dev = 0;
    ino_t ino = 0;

    void queue(Job job) {
        const std::lock_guard<std::mutex> lock(m);
        jobs.push_back(std::move(job));
        ++queued;
        wake.notify_one();
    }

    void run() {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            wake.wait(lock, [this] { return quit || !jobs.empty(); });
            if (jobs.empty()) break;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            std::optional<Result> r = perform(job);
            lock.lock();
            if (r) results.push_back(std::move(*r));
            ++done;
            idle.notify_all();
        }
        lock.unlock();
        closeFd();
    }

    void closeFd() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    Result fail(const std::string& text) {
        closeFd();
        return {true, false, text};
    }
    Result fail(const char* what, int err) {
        return fail(std::string(what) + " " + path + ": " + std::strerror(err));
    }
    Result notRegular() {
        return fail("Cannot open the data log file " + path +
                    ": it is not a regular file (a folder, a device or a pipe)");
    }

    std::optional<Result> perform(Job& job) {
        switch (job.kind) {
            case Kind::Open: return open(job);
            case Kind::Write:
                if (fd < 0) return std::nullopt;  // after a failure: dropped
                return write(job.bytes, job.write);
            case Kind::Check: return check();
            case Kind::Close: closeFd(); return std::nullopt;
        }
        return std::nullopt;
    }

    std::optional<Result> open(const Job& job) {
        closeFd();
        path = job.path;
        withFrequency = job.withFrequency;
        // Only a regular file is a log: a pipe would take records until its
        // buffer is full and then block the writer for good, a device may
        // never answer. Looked at before the open, which must not wait for a
        // pipe's other end either (O_NONBLOCK), and again on what was opened.
        struct stat st {};
        const bool there = !path.empty() && ::stat(path.c_str(), &st) == 0;
        if (there && !S_ISREG(st.st_mode)) return notRegular();
        const bool append = job.appendIfThere && there;
        fd = ::open(path.c_str(),
                    O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK | (append ? 0 : O_CREAT), 0644);
        if (fd < 0) {
            const int err = errno;
            if (err == EISDIR) return notRegular();
            return fail(
                append ? "Cannot open the data log file" : "Cannot create the data log file", err);
        }
        if (::fstat(fd, &st) != 0) return fail("Cannot open the data log file", errno);
        if (!S_ISREG(st.st_mode)) return notRegular();
        dev = st.st_dev;
        ino = st.st_ino;
        if (append) {
            if (auto r = cutTornLine(st.st_size)) return r;
            return Result{};
        }
        if (::ftruncate(fd, 0) != 0) return fail("Cannot create the data log file", errno);
        goodEnd = 0;
        if (auto r = write(headerLine(withFrequency) + "\r\n", {})) return r;
        return Result{false, true, {}};
    }

    // A last line without its line end was cut off (a full disk, a crash): cut
    // the file back to the end of the last whole line before anything follows it.
    std::optional<Result> cutTornLine(off_t size) {
        off_t end = size;
        char buf[4096];
        while (end > 0) {
            const off_t from =
                end > static_cast<off_t>(sizeof buf) ? end - static_cast<off_t>(sizeof buf) : 0;
            const ssize_t n = ::pread(fd, buf, static_cast<size_t>(end - from), from);
            if (n != end - from) return fail("Cannot read the data log file", n < 0 ? errno : EIO);
            const char* hit =
                static_cast<const char*>(::memrchr(buf, '\n', static_cast<size_t>(n)));
            if (hit) {
                end = from + (hit - buf) + 1;
                break;
            }
            end = from;
        }
        if (end != size && ::ftruncate(fd, end) != 0)
            return fail("Cannot repair the data log file", errno);
        goodEnd = end;
        // Nothing but a torn line: the file starts again as a new one would.
        if (end == 0 && size > 0) return write(headerLine(withFrequency) + "\r\n", {});
        return std::nullopt;
    }

    std::optional<Result> deleted() {
        struct stat open {};
        if (::fstat(fd, &open) == 0 && open.st_nlink == 0)
            return fail("Cannot write to the data log file " + path + ": the file was deleted");
        return std::nullopt;
    }

    // One batch of whole lines: one write() into a file opened for appending,
    // without a user-space buffer, so a killed program leaves whole lines only.
    // What a failed or short write left behind past the last whole line is cut
    // off again, so the file ends with a whole line whatever happens.
    std::optional<Result> write(const std::string& bytes, const WriteFn& fn) {
        if (auto r = deleted()) return r;
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (end >= 0) goodEnd = end;
        size_t doneBytes = 0;
        while (doneBytes < bytes.size()) {
            const size_t left = bytes.size() - doneBytes;
            const ssize_t n = fn ? fn(fd, bytes.data() + doneBytes, left)
                                 : ::write(fd, bytes.data() + doneBytes, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int err = n < 0 ? errno : ENOSPC;
                const char* last =
                    static_cast<const char*>(::memrchr(bytes.data(), '\n', doneBytes));
                const off_t whole = last ? static_cast<off_t>(last - bytes.data() + 1) : 0;
                (void)!::ftruncate(fd, goodEnd + whole);
                return fail("Cannot write to the data log file", err);
            }
            doneBytes += static_cast<size_t>(n);
        }
        goodEnd += static_cast<off_t>(bytes.size());
        return std::nullopt;
    }

    // Compares the open file with what its path names now.
    std::optional<Result> check() {
        if (fd < 0) return std::nullopt;
        if (auto r = deleted()) return r;
        struct stat named {};
        std::string why;
        if (::stat(path.c_str(), &named) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) why = "the file or its folder was removed";
        } else if (named.st_dev != dev || named.st_ino != ino) {
            why = "the path now names another file";
        }
        if (why.empty()) return std::nullopt;
        return fail("Cannot write to the data log file " + path + ": " + why);
    }
};

namespace {

std::shared_ptr<DataLogger::Writer> startWriter() {
    auto w = std::make_shared<DataLogger::Writer>();
    // Detached: the program's end waits for it only as long as it wants to
    // (a writer stuck in a stalled mount must not keep the process alive).
    std::thread([w] { w->run(); }).detach();
    return w;
}

// Stops a writer once it has done what it was given (at once when it is
// given up: what it still holds is dropped).
void retire(DataLogger::Writer& w, bool dropJobs) {
    const std::lock_guard<std::mutex> lock(w.m);
    if (dropJobs) {
        w.done += w.jobs.size();
        w.jobs.clear();
    }
    w.quit = true;
    w.wake.notify_one();
}

}  // namespace

DataLogger::DataLogger(const Paths& g, Platform& p)
    : g_(g),
      p_(p),
      writer_(startWriter()),
      reportTimer_(p.newTimer()),
      checkTimer_(p.newTimer()),
      pumpTimer_(p.newTimer()) {
    writeFn = [](int fd, const void* data, size_t size) { return ::write(fd, data, size); };
    reportTimer_->setInterval(1);
    reportTimer_->onTimeout = [this] { showReport(); };
    checkTimer_->setInterval(kCheckEveryMs);
    checkTimer_->onTimeout = [this] { checkFile(); };
    pumpTimer_->setInterval(kBatchMs);
    pumpTimer_->onTimeout = [this] { pump(); };
}

DataLogger::~DataLogger() {
    *alive_ = false;
    if (open_) {
        handOver();
        writer_->queue({Writer::Kind::Close});
    }
    flush(kExitWaitMs);
    retire(*writer_, false);
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

void DataLogger::handOver() {
    if (pending_.empty()) return;
    writer_->queue({Writer::Kind::Write, {}, false, std::move(pending_), writeFn});
    pending_.clear();
}

void DataLogger::collect() {
    std::vector<Writer::Result> results;
    {
        const std::lock_guard<std::mutex> lock(writer_->m);
        results.swap(writer_->results);
    }
    for (const Writer::Result& r : results) {
        if (r.failed) failWith(r.text);
        else if (r.fresh)
            refreshMs_ = refreshFromText(ReadIni("Bridge", "DataRefresh", g_.SettingsPath, "1000"));
    }
}

void DataLogger::pump() {
    handOver();
    // Counted before the results are taken: a job counts as done only after
    // its result is posted, so "all done" here means no result is left behind.
    uint64_t done, queued;
    {
        const std::lock_guard<std::mutex> lock(writer_->m);
        done = writer_->done;
        queued = writer_->queued;
    }
    collect();
    if (done < queued && done == lastDone_) {
        if (++stalledTicks_ * kBatchMs >= kStallMs) {
            // A stalled drive or network mount: the writer is left to its
            // write and a new one serves the next start.
            retire(*writer_, true);
            writer_ = startWriter();
            lastDone_ = 0;
            stalledTicks_ = 0;
            failWith("Cannot write to the data log file " + path_ + ": it has taken nothing for " +
                     std::to_string(kStallMs / 1000) + " s (a stalled drive or network folder?)");
        }
        return;
    }
    stalledTicks_ = 0;
    lastDone_ = done;
    if (!open_ && done == queued) pumpTimer_->stop();
}

bool DataLogger::flush(int timeoutMs) {
    handOver();
    bool idle;
    {
        std::unique_lock<std::mutex> lock(writer_->m);
        const auto ready = [this] { return writer_->done == writer_->queued; };
        if (timeoutMs < 0) writer_->idle.wait(lock, ready);
        else writer_->idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        idle = ready();
    }
    if (*alive_) collect();
    return idle;
}

void DataLogger::failWith(const std::string& text) {
    lastError_ = text;
    open_ = false;
    pending_.clear();
    checkTimer_->stop();
    resume_ = false;
    dataLogActive_ = false;
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

void DataLogger::checkFile() {
    if (!open_) return;
    handOver();
    writer_->queue({Writer::Kind::Check});
}

void DataLogger::startDataLog() {
    if (!dataLogActive_) return;
    if (open_) {  // a second start must not leave the first file open
        handOver();
        writer_->queue({Writer::Kind::Close});
        open_ = false;
    }
    logZeroPower_ = ReadIni("Bridge", "DataPwr", g_.SettingsPath, "0") == "0";

    // The stream was stopped while logging stayed on: carry on with the same
    // file, whatever DataMode says, so no second header lands in the middle.
    bool appendIfThere = true;
    if (!resume_) {
        path_ = ReadIni("Bridge", "DataLog", g_.SettingsPath, g_.ProgramDir + "/dataLog.csv");
        if (pathFor) path_ = pathFor(path_);
        appendIfThere = ReadIni("Bridge", "DataMode", g_.SettingsPath, "0") == "0";
    }
    resume_ = false;
    lastError_.clear();
    writer_->queue({Writer::Kind::Open, path_, appendIfThere, {}, {}, frequencySource != nullptr});
    open_ = true;
    checkTimer_->start();
    pumpTimer_->start();
}

void DataLogger::stopDataLog() {
    if (!open_) {
        if (!dataLogActive_) resume_ = false;
        return;
    }
    resume_ = dataLogActive_;
    handOver();
    writer_->queue({Writer::Kind::Close});
    open_ = false;
    checkTimer_->stop();
}

bool DataLogger::writeLogRecord(const std::array<int16_t, 9>& data) {
    if (!open_) return false;  // due while closed by a stream stop: dropped
    double sum = 0;
    for (size_t i = 0; i < 8; ++i) sum += data[i];
    if (sum == 0 && !logZeroPower_) return false;
    // Time-stamped when due; the writer takes the line within kBatchMs.
    if (frequencySource) {
        const RigTag tag = frequencySource();
        pending_ += recordLine(p_.localTime(), data, &tag);
    } else {
        pending_ += recordLine(p_.localTime(), data);
    }
    pending_ += "\r\n";
    return true;
}

}  // namespace quellon
