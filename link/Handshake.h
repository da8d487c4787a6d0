#pragma once
// The bridge's identification reply (":16") and scale reply (":17").

#include <string>

#include "link/modGlobal.h"
#include "platform/Platform.h"

namespace quellon {

// Length of a complete identification reply (without its carriage return).
inline constexpr size_t kBridgeInfoLength = 89;
// Up to the end of the last field the program uses (ExpandB); the thirteenth
// value after it is not read, so a reply without it is complete enough.
inline constexpr size_t kBridgeInfoUsedLength = 83;

// Checks a reply to ":16" and stores the firmware version and the twelve
// measuring parameters in g. False, with nothing stored and no message, when
// the reply does not start with ":wexlo", is shorter than a complete reply, or
// carries a value that does not fit its parameter. Otherwise the values are
// stored, and a firmware older than 1.08 is refused with the upgrade message
// (style 0, application title). Never throws on any reply text.
bool CheckBridgeInfo(const std::string& reply, ModGlobal& g, Platform& p);

// Stores the four scale codes of a reply ":" + A1 A2 B1 B2 with their texts and
// decoder constants. False, with nothing changed, when the reply does not start
// with ":" or is too short to hold four codes.
bool ParseScaleCodes(const std::string& reply, ModGlobal& g);

}  // namespace quellon
