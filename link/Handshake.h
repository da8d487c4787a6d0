#pragma once
// The bridge's identification reply (":16") and scale reply (":17").

#include <string>

#include "core/modGlobal.h"

namespace quellon {

// Length of a complete identification reply (without its carriage return).
inline constexpr size_t kBridgeInfoLength = 89;
// Up to the end of the last field the program uses (ExpandB); the thirteenth
// value after it is not read, so a reply without it is complete enough.
inline constexpr size_t kBridgeInfoUsedLength = 83;

enum class BridgeInfo {
    Refused,         // not an identification reply: nothing stored
    FirmwareTooOld,  // stored, but the firmware is older than 1.08
    Accepted,
};

// Checks a reply to ":16" and stores the firmware version and the twelve
// measuring parameters in g. Refused, with nothing stored, when the reply is
// not the bridge's, is shorter than a complete reply, or carries a value that
// does not fit its parameter. Otherwise the values are stored, and a firmware
// older than 1.08 is FirmwareTooOld: the caller tells the user. A reply cut
// short before its values whose version is older (or missing, as in a bare
// ":wexlo") is FirmwareTooOld too, with nothing stored. Never throws on any
// reply text.
BridgeInfo readBridgeInfo(const std::string& reply, BridgeState& g);

// The upgrade message for FirmwareTooOld (style 0, application title).
inline constexpr const char* kFirmwareTooOld =
    "Please upgrade the f/w of the Bridge to v1.08 or later";

// Stores the four scale codes of a reply ":" + A1 A2 B1 B2 with their texts and
// decoder constants. False, with nothing changed, when the reply does not start
// with ":" or is too short to hold four codes.
bool ParseScaleCodes(const std::string& reply, BridgeState& g);

}  // namespace quellon
