#pragma once
// The bridge's line protocol in one place: the commands, the replies the
// program looks for, and the measurement frame's size and marks.

#include <cstddef>
#include <string>
#include <string_view>

namespace quellon::protocol {

// Every command is ":" + two digits (+ a value) + CR.
inline constexpr const char* kStreamStop = ":10\r";
inline constexpr const char* kStreamStart = ":11\r";
inline constexpr const char* kIdentify = ":16\r";
inline constexpr const char* kReadScales = ":17\r";

// The measuring mode, by the command window's button: 0 auto, 1 SWR A, 2 SWR B,
// 3 A+B, 4 power A, 5 power B, 6 scale.
inline std::string modeCommand(int mode) { return ":0" + std::to_string(mode) + "\r"; }
// The scale choice: 0 A auto, 1 A scale 1, 2 A scale 2, 3 B auto, 4 B scale 1,
// 5 B scale 2.
inline std::string scaleCommand(int choice) { return ":3" + std::to_string(choice) + "\r"; }

// The parameter uploads: a code and a value of five digits.
namespace param {
inline constexpr const char* kMinPower = "20";  // nFwdMin
inline constexpr const char* kMaxSwrA = "21";
inline constexpr const char* kMaxSwrB = "22";
inline constexpr const char* kDelay1 = "23";
inline constexpr const char* kDelay2 = "24";
inline constexpr const char* kScaleMinA = "25";
inline constexpr const char* kScaleMaxA = "26";
inline constexpr const char* kScaleMinB = "27";
inline constexpr const char* kScaleMaxB = "28";
inline constexpr const char* kScaleDelay = "29";
inline constexpr const char* kScales = "37";  // four scale codes instead of a value
inline constexpr const char* kExpandA = "38";
inline constexpr const char* kExpandB = "39";
}  // namespace param
inline std::string parameterCommand(const char* code, const std::string& value) {
    return std::string(":") + code + value + "\r";
}

// The acknowledgement of a command, somewhere within one read.
inline constexpr const char* kAck = ":ACK\r";
// The identification reply starts with this.
inline constexpr std::string_view kBridgePrefix = ":wexlo";

// One measurement frame: ':' + 17 bytes + scale byte + CR.
inline constexpr std::size_t kFrameSize = 20;
inline constexpr char kFrameStart = ':';
inline constexpr char kFrameEnd = '\r';

// The start and end marks of a complete frame; a frame failing them is
// resynchronised instead of decoded.
inline bool frameMarksOk(std::string_view data) {
    return data.size() >= kFrameSize && data[0] == kFrameStart && data[kFrameSize - 1] == kFrameEnd;
}

// Whether a reply is the bridge's identification.
inline bool isBridgeReply(std::string_view reply) { return reply.starts_with(kBridgePrefix); }

}  // namespace quellon::protocol
