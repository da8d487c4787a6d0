#pragma once
// CSV log of both channels' powers: one line per A/B pair of frames, with a local
// time stamp in milliseconds.
//
// Records come only from the receive path (writeLogRecord after a B frame that
// follows an A frame), so each line holds a matching pair of readings. The
// DataRefresh key is still read (and its default written back) when a new file
// is started, and its value is kept in refreshInterval(), but no timer writes
// records on its own: a timer would repeat the same pair while the stream
// pauses and would write lines that no frame backs.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/RigTag.h"
#include "core/modGlobal.h"
#include "platform/Platform.h"

namespace quellon {

// DataRefresh as a 16-bit whole number; anything unusable keeps the 1000 ms default.
int refreshFromText(const std::string& text);

class DataLogger {
public:
    DataLogger(ModGlobal& g, Platform& p);
    ~DataLogger();
    DataLogger(const DataLogger&) = delete;
    DataLogger& operator=(const DataLogger&) = delete;

    // Opens the log file when logging is switched on (g.dataLogActive). A file
    // that cannot be opened is reported in a message box and switches logging off.
    // A file whose last line was cut off (a full disk, a crash) is first cut back
    // to its last whole line, so new records never continue a torn one.
    void startDataLog();
    // Closes the file. When logging stays on (the stream was only stopped), the
    // next start continues the same file without a new header.
    void stopDataLog();
    // Writes one record of g.logData[0..7]. Returns true when a line was written;
    // false when the record was skipped (all zero and DataPwr not "0"), when no
    // file is open, or when the write failed. Never throws.
    //
    // A record is in the file whole or not at all: after a failed or short write
    // the file is cut back to the end of the last whole line, the failure is
    // reported once and logging is switched off. The same happens when the file
    // was deleted (looked at before every write: nothing goes into a deleted
    // file), or its path now names another file or nothing (looked at every two
    // seconds while open).
    bool writeLogRecord();

    // Compares the open file with what its path names now; reports and switches
    // logging off when they are no longer the same file. True while all is well.
    bool checkFile();

    // The write used for the file (tests put a failing one here).
    std::function<ssize_t(int fd, const void* data, size_t size)> writeFn;

    // When set, a failure is reported in a box that does not wait for an
    // answer, so a log that failed at night holds nothing up until morning.
    void setModelessReports(bool on) { modelessReports_ = on; }

    bool isOpen() const { return fd_ >= 0; }
    std::string lastError() const { return lastError_; }
    std::string path() const { return path_; }
    // DataRefresh in milliseconds as read at the last start of a new file.
    int refreshInterval() const { return refreshMs_; }

    // [Rig] LogFrequency=1: the rig's frequency and mode as two more columns at
    // the end of the header and of every record ("FrequencyHz", "Mode"). Unset,
    // the file is the plain format, byte for byte.
    std::function<RigTag()> frequencySource;

    // The two lines of the file format, without the CR LF; with a tag, the
    // frequency columns too (hz 0: the frequency field left empty).
    static std::string headerLine(bool withFrequency = false);
    static std::string recordLine(const LocalTime& t, const std::array<int16_t, 9>& data,
                                  const RigTag* tag = nullptr);

private:
    // knownEnd: the file's size when the caller has just looked (-1: look).
    bool writeLine(const std::string& line, off_t knownEnd = -1);
    // The open file's size, -1 when it cannot be looked at, kDeleted (after
    // reporting it) when the file was deleted.
    static constexpr off_t kDeleted = -2;
    off_t checkNotDeleted();
    void fail(const std::string& what, int err);
    void failWith(const std::string& text);
    void closeFile();
    bool cutTornLine();
    bool remember();
    void showReport();

    ModGlobal& g_;
    Platform& p_;
    int fd_ = -1;
    std::string path_;
    std::string lastError_;
    int refreshMs_ = 1000;
    bool resume_ = false;  // closed by a stream stop while logging stayed on
    off_t goodEnd_ = 0;    // end of the last whole line in the file
    dev_t dev_ = 0;        // identity of the open file
    ino_t ino_ = 0;
    // The failure message is shown from a timer tick of its own, never from the
    // receive path: a modal box there would hold the stream up for as long as
    // it stays open.
    std::unique_ptr<Timer> reportTimer_;
    std::unique_ptr<Timer> checkTimer_;
    std::string pendingReport_;
    bool reportShowing_ = false;  // a modal report is waiting for its answer
    bool modelessReports_ = false;
    std::unique_ptr<ShownMessage> report_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quellon
