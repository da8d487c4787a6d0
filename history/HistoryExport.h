#pragma once
// The visible span of a history as a CSV file: one line per stored element of
// each channel in time order, at the finest resolution kept for that span
// (single frames where they are still held, else the min, mean and max of a
// bucket). Same conventions as the program's log: quoted texts, CR LF.

#include <array>
#include <string>

#include "history/HistoryData.h"
#include "history/HistoryView.h"

namespace quellon::history {

std::string exportHeaderLine();

// Returns an empty text on success, else what went wrong.
std::string exportCsv(const HistorySource& src, TimeRange r, const std::string& path,
                      const std::array<std::string, 2>& channelNames);

}  // namespace quellon::history
