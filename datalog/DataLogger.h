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

#include <array>
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
    // Records are handed to the writer thread at most this long after they are due.
    static constexpr int kBatchMs = 50;
    // A writer that has taken nothing for this long is given up (a stalled mount).
    static constexpr int kStallMs = 10000;

    DataLogger(const Paths& g, Platform& p);
    // Waits up to kExitWaitMs for what is due to reach the file, then leaves a
    // writer that is stuck in the file system behind rather than hang.
    ~DataLogger();
    DataLogger(const DataLogger&) = delete;
    DataLogger& operator=(const DataLogger&) = delete;

    // Logging switched on by the user (the display's Log button). While on, a
    // stream start opens the file and a stream stop only closes it; a failure
    // switches it off. Switching alone opens or closes nothing.
    bool dataLogActive() const { return dataLogActive_; }
    void setDataLogActive(bool on) { dataLogActive_ = on; }

    // Opens the log file when logging is switched on (dataLogActive). All file
    // work (open, checks, writes, close) runs on a writer thread of the logger's
    // own, so a file that blocks (a pipe, a stalled network mount) never holds
    // up the user interface. Only a regular file is taken: a pipe, a device or a
    // folder is refused with its path named. A file that cannot be opened is
    // reported in a message box and switches logging off. A file whose last
    // line was cut off (a full disk, a crash) is first cut back to its last
    // whole line, so new records never continue a torn one.
    void startDataLog();
    // Closes the file (after what is due was written). When logging stays on
    // (the stream was only stopped), the next start continues the same file
    // without a new header.
    void stopDataLog();
    // Queues one record of data[0..7], time-stamped now. Returns true when
    // a line was queued; false when the record was skipped (all zero and DataPwr
    // not "0") or no file is open. Never throws, never waits for the file.
    //
    // Records are written in batches, at most kBatchMs after they are due, one
    // write() of whole lines each. A record is in the file whole or not at all:
    // after a failed or short write the file is cut back to the end of the last
    // whole line, the failure is reported once (after everything before it was
    // written) and logging is switched off. The same happens when the file was
    // deleted (looked at before every batch: nothing goes into a deleted file),
    // its path now names another file or nothing (looked at every two seconds
    // while open), or the writer takes nothing for kStallMs.
    bool writeLogRecord(const std::array<int16_t, 9>& data);

    // Asks the writer to compare the open file with what its path names now;
    // a difference is reported and switches logging off.
    void checkFile();

    // Hands what is due to the writer and waits up to timeoutMs (< 0: for good)
    // until it is in the file and the writer's results are taken in. True when
    // the writer is idle. For the program's end and for tests.
    bool flush(int timeoutMs = -1);

    // The write used for the file (tests put a failing one here). Runs on the
    // writer thread; set it between records.
    std::function<ssize_t(int fd, const void* data, size_t size)> writeFn;

    // When set, a failure is reported in a box that does not wait for an
    // answer, so a log that failed at night holds nothing up until morning.
    void setModelessReports(bool on) { modelessReports_ = on; }

    // Logging into a file (taking records) right now.
    bool isOpen() const { return open_; }
    std::string lastError() const { return lastError_; }
    std::string path() const { return path_; }
    // DataRefresh in milliseconds as read at the last start of a new file.
    int refreshInterval() const { return refreshMs_; }

    // [Rig] LogFrequency=1: the rig's frequency and mode as two more columns at
    // the end of the header and of every record ("FrequencyHz", "Mode"). Unset,
    // the file is the plain format, byte for byte.
    std::function<RigTag()> frequencySource;
    // Set: the file a new log goes to, given the DataLog key's (a second
    // program beside the first keeps out of its file).
    std::function<std::string(const std::string&)> pathFor;

    // The two lines of the file format, without the CR LF; with a tag, the
    // frequency columns too (hz 0: the frequency field left empty).
    static std::string headerLine(bool withFrequency = false);
    static std::string recordLine(const LocalTime& t, const std::array<int16_t, 9>& data,
                                  const RigTag* tag = nullptr);

    static constexpr int kExitWaitMs = 5000;

    struct Writer;

private:
    void handOver();
    void collect();
    void pump();
    void failWith(const std::string& text);
    void showReport();

    const Paths& g_;  // where the settings and the default log file are
    Platform& p_;
    std::shared_ptr<Writer> writer_;
    bool open_ = false;
    std::string path_;
    std::string lastError_;
    int refreshMs_ = 1000;
    bool dataLogActive_ = false;
    bool logZeroPower_ = true;  // DataPwr "0": all-zero records are written too
    bool resume_ = false;       // closed by a stream stop while logging stayed on
    std::string pending_;       // whole lines not yet handed to the writer
    int stalledTicks_ = 0;
    uint64_t lastDone_ = 0;
    // The failure message is shown from a timer tick of its own, never from the
    // receive path: a modal box there would hold the stream up for as long as
    // it stays open.
    std::unique_ptr<Timer> reportTimer_;
    std::unique_ptr<Timer> checkTimer_;
    std::unique_ptr<Timer> pumpTimer_;
    std::string pendingReport_;
    bool reportShowing_ = false;  // a modal report is waiting for its answer
    bool modelessReports_ = false;
    std::unique_ptr<ShownMessage> report_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quellon
