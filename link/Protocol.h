#pragma once
// The bridge's line protocol in one place: the commands, the replies the
// program looks for, and the measurement frame's size and marks.

#include <cstddef>
#include <string_view>

namespace quellon::protocol {

// Every command is ":" + two digits (+ a value) + CR.
inline constexpr const char* kStreamStop = ":10\r";
inline constexpr const char* kStreamStart = ":11\r";
inline constexpr const char* kIdentify = ":16\r";
inline constexpr const char* kReadScales = ":17\r";

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
