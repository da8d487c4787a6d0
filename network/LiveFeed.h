#pragma once
// The feed a viewer on another machine draws its screens from: the live
// message (the latest reading of both channels, as the decoder left them) and
// the bridge message (what changes rarely: firmware, parameters, scales,
// channel descriptions). Writing and reading live side by side so that what
// one writes the other reads back to the same numbers, and the texts the
// viewer makes from them are the ones the publisher's screen shows.
//
// The reader takes bytes from anyone who can publish on the broker: every
// message is size-limited before it is parsed, every field must be present,
// of its type and within the range the decoder can produce, or the whole
// message is refused.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/modGlobal.h"
#include "network/MqttSettings.h"

namespace quellon {

std::string liveTopic(const MqttSettings& s);
std::string bridgeTopic(const MqttSettings& s);

// Sizes no honest message comes near; anything longer is refused unread.
inline constexpr size_t kMaxLiveBytes = 4096;
inline constexpr size_t kMaxBridgeBytes = 8192;
// Longest scale code, scale text or firmware version, and description.
inline constexpr size_t kMaxShortText = 16;
inline constexpr size_t kMaxDescription = 200;

// One channel of the live message.
struct LiveChannel {
    // Readings of this channel the publisher has seen; 0: none yet. A viewer
    // tells a new reading from one it already has by this count.
    uint64_t count = 0;
    int64_t epochMs = 0;     // when it was read, ms since 1970 UTC
    ChannelReading reading;  // the numbers only; channel "A" or "B"
    std::string scaleCode;   // of the scale the frame selects
    std::string scaleText;
    bool alarm = false;  // the displays show "HIG"
};

struct LiveMessage {
    std::array<LiveChannel, 2> ch;  // A, B
};

// The rarely changing part.
struct BridgeInfo {
    std::string firmware;
    BridgeParameters params;
    std::array<std::string, 2> scaleCodeA{}, scaleCodeB{}, scaleTextA{}, scaleTextB{};
    std::string descriptionA, descriptionB;
};
bool sameBridgeInfo(const BridgeInfo& x, const BridgeInfo& y);
// The firmware, parameters or scales of the shared state are not those of b.
bool bridgeStateDiffers(const BridgeInfo& b, const BridgeState& st);
// What of it the program's shared state holds (descriptions stay empty).
BridgeInfo bridgeInfoOf(const BridgeState& b);

// Copies the decoder's numbers of a reading, not its texts: the copy's texts
// are made anew from the numbers when asked for.
void copyReadingNumbers(const ChannelReading& from, ChannelReading& to);

std::string livePayload(const LiveMessage& m);
std::string bridgePayload(const BridgeInfo& b);

// Empty on success; else why the message was refused, for the counters and
// the log ("too long", "not JSON", "missing a.pwr_dir", "a.n_dir out of range").
std::string parseLive(std::string_view bytes, LiveMessage& out);
std::string parseBridge(std::string_view bytes, BridgeInfo& out);

}  // namespace quellon
