#pragma once
// Turns one 20-byte measurement frame into the shared ChannelReading: counts,
// powers in tenths of a watt, SWR and RF voltages, as numbers. The display
// texts are made from them when asked for (ChannelReading::withTexts).
//
// Frame layout (little-endian two-byte fields):
//   0 ':'  1 channel ('A', anything else is B)  2 nDir  4 nRev  6 nDirMax
//   8 nRevMax  10 pwrDirMax  12 pwrRefMax  14..17 unused  18 frameScale  19 CR

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

// Decodes frame[0..19] into g.reading and g.logData. The start and end marks
// are not checked here (the receive handler does). Throws FrameError.
void decodeFrame(const uint8_t* frame, ModGlobal& g);

// Power in tenths of a watt of a count on the scale selected by frameScale
// (scale 2 when >= 2) of the channel in g.reading.channel; sets
// g.reading.fullScalePower. 0 for counts at or below nFwdMin. Throws FrameError
// when the power does not fit 16 bits.
int16_t computePower(int16_t count, int16_t frameScale, ModGlobal& g);

// SWR of the peak counts: its kind, and for a value g.reading.swrTenths; sets
// g.reading.swrValue. Reads g.reading.pwrRefMax.
SwrKind computeSwrNumbers(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr, ModGlobal& g);
// The same as text ("---", "1", "HIG" or the value such as "1.5").
std::string computeSwr(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr, ModGlobal& g);

// RF volts x10 of a count, on the scale selected by g.reading.frameScale of
// the channel in g.reading.channel, halves to even; 0 at or below nFwdMin.
int32_t voltageTenths(int16_t count, const ModGlobal& g);
// The same as text: one decimal at most ("70.7", "0").
std::string computeVoltage(int16_t count, ModGlobal& g);

}  // namespace quellon
