#pragma once
// Every alarm's start and end: the last 50 in memory for the big view, and
// every one in a CSV file of its own (beside the data log). A line is written
// at the start, so an alarm is on record even if the program dies during it,
// and one at the end with the alarm's highest SWR and forward power. Each line
// goes into the file whole or not at all.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "alarm/AlarmMonitor.h"

namespace quellon::alarm {

struct JournalEntry {
    int channel = 0;
    int64_t startMs = 0;           // wall clock
    std::optional<int64_t> endMs;  // none while the alarm lasts
    double peakSwr = 0, threshold = 0, peakForwardW = 0;
    EndCause cause = EndCause::Cleared;
};

class AlarmJournal : public AlarmSubscriber {
public:
    static constexpr size_t kKept = 50;

    explicit AlarmJournal(std::string path);
    void onAlarm(const AlarmEvent& e, int64_t epochMs) override;

    const std::deque<JournalEntry>& entries() const { return entries_; }  // oldest first
    const std::string& path() const { return path_; }
    // Empty, or why the last line could not be written.
    const std::string& error() const { return error_; }
    uint64_t version() const { return version_; }  // changes with every entry change
    std::function<void()> onChange;

    static std::string headerLine();
    static std::string line(const AlarmEvent& e, int64_t epochMs);

private:
    bool append(const std::string& line);

    std::string path_;
    std::deque<JournalEntry> entries_;
    std::string error_;
    uint64_t version_ = 0;
};

// "3.4", "12.0", "∞" (reflected at or above forward).
std::string swrText(double swr);
// Local time of a wall-clock ms: "2026-12-07 18:02:03.123".
std::string localTimeText(int64_t epochMs);
const char* causeText(EndCause c);

}  // namespace quellon::alarm
