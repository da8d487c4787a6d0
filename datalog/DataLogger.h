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

#include <cstdint>
#include <string>

#include "core/modGlobal.h"
#include "platform/Platform.h"

namespace quellon {

class DataLogger {
public:
    DataLogger(ModGlobal& g, Platform& p);
    ~DataLogger();
    DataLogger(const DataLogger&) = delete;
    DataLogger& operator=(const DataLogger&) = delete;

    // Opens the log file when logging is switched on (g.dataLogActive). A file
    // that cannot be opened is reported in a message box and switches logging off.
    void startDataLog();
    // Closes the file. When logging stays on (the stream was only stopped), the
    // next start continues the same file without a new header.
    void stopDataLog();
    // Writes one record of g.logData[0..7]. Returns true when a line was written;
    // false when the record was skipped (all zero and DataPwr not "0"), when no
    // file is open, or when the write failed. Never throws.
    bool writeLogRecord();

    bool isOpen() const { return fd_ >= 0; }
    std::string lastError() const { return lastError_; }
    std::string path() const { return path_; }
    // DataRefresh in milliseconds as read at the last start of a new file.
    int refreshInterval() const { return refreshMs_; }

    // The two lines of the file format, without the CR LF.
    static std::string headerLine();
    static std::string recordLine(const LocalTime& t, const std::array<int16_t, 9>& data);

private:
    bool writeLine(const std::string& line);
    void fail(const std::string& what, int err);
    void closeFile();

    ModGlobal& g_;
    Platform& p_;
    int fd_ = -1;
    std::string path_;
    std::string lastError_;
    int refreshMs_ = 1000;
    bool resume_ = false;  // closed by a stream stop while logging stayed on
};

}  // namespace quellon
