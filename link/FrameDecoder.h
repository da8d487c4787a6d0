#pragma once
// Turns one 20-byte measurement frame into the shared ChannelReading: counts,
// powers in tenths of a watt, SWR and RF voltages, as numbers. The display
// texts are made from them when asked for (ChannelReading::withTexts).
//
// Frame layout (little-endian two-byte fields):
//   0 ':'  1 channel ('A', anything else is B)  2 nDir  4 nRev  6 nDirMax
//   8 nRevMax  10 pwrDirMax  12 pwrRefMax  14..17 unused  18 frameScale  19 CR

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/modGlobal.h"
#include "link/Protocol.h"

namespace quellon {

inline constexpr size_t kFrameLength = protocol::kFrameSize;

// A frame whose content cannot be decoded: a two-byte field above 32767, or a
// count so large that its power does not fit 16 bits. The fields decoded
// before it keep their new values; the receive handler resynchronises.
class FrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a frame is decoded with: the bridge's parameters and the scale slots.
struct DecoderInputs {
    const BridgeParameters& params;
    const ScaleSlots& slots;
};

// Decodes frame[0..19] into r, which holds the previous reading of the
// stream: a frame whose counts give no power leaves fullScalePower as it was,
// and on FrameError the fields decoded before the fault keep their new values.
// The start and end marks are not checked here (the receive handler does).
void decodeInto(const uint8_t* frame, const DecoderInputs& in, ChannelReading& r);
// The reading of one frame after `previous`. Throws FrameError.
ChannelReading decodeReading(const uint8_t* frame, const DecoderInputs& in,
                             ChannelReading previous = {});

// The frame's four powers in a log record: elements 0..3 for channel A, else 4..7.
void storeLogData(const ChannelReading& r, std::array<int16_t, 9>& logData);

// What the bridge's state gives the decoder.
inline DecoderInputs inputsOf(const BridgeState& s) { return {s.params, s.scaleSlots}; }

// Power in tenths of a watt of a count on the scale selected by frameScale
// (scale 2 when >= 2) of the channel in r.channel; sets r.fullScalePower.
// 0 for counts at or below nFwdMin. Throws FrameError when the power does not
// fit 16 bits.
int16_t computePower(int16_t count, int16_t frameScale, const DecoderInputs& in, ChannelReading& r);

// SWR of the peak counts: its kind, and for a value r.swrTenths; sets
// r.swrValue. Reads r.pwrRefMax.
SwrKind computeSwrNumbers(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr,
                          const BridgeParameters& params, ChannelReading& r);
// The same as text ("---", "1", "HIG" or the value such as "1.5").
std::string computeSwr(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr,
                       const BridgeParameters& params, ChannelReading& r);

// RF volts x10 of a count, on the scale selected by r.frameScale of the
// channel in r.channel, halves to even; 0 at or below nFwdMin.
int32_t voltageTenths(int16_t count, const DecoderInputs& in, const ChannelReading& r);
// The same as text: one decimal at most ("70.7", "0").
std::string computeVoltage(int16_t count, const DecoderInputs& in, const ChannelReading& r);

}  // namespace quellon
