#include "link/FrameDecoder.h"

#include <cmath>

#include "core/Numbers.h"

namespace quellon {

namespace {

constexpr int64_t kPowerDivisor = 20736;   // 144 squared
constexpr double kVoltsPerCount = 0.0491;  // RMS volts per count on a 50 ohm line at "50W"

bool isScale2(int frameScale) { return frameScale >= 2; }

const ScaleSlot& slotOf(const ScaleSlots& slots, bool a, int frameScale) {
    const int index =
        a ? (isScale2(frameScale) ? SlotA2 : SlotA1) : (isScale2(frameScale) ? SlotB2 : SlotB1);
    return slots[static_cast<size_t>(index)];
}

bool isChannelA(const ChannelReading& r) { return r.channel.size() == 1 && r.channel[0] == 'A'; }

// The slot of the reading's channel and the scale that frameScale selects.
const ScaleSlot& selectedSlot(const DecoderInputs& in, const ChannelReading& r, int frameScale) {
    return slotOf(in.slots, isChannelA(r), frameScale);
}

// Power in tenths of a watt of a count on a power multiplier.
int16_t power(int16_t count, int16_t m, const BridgeParameters& params, ChannelReading& r) {
    if (!(count > params.nFwdMin)) return 0;
    // 64-bit: a corrupt count of up to 32767 must not overflow on the way.
    const int64_t p = static_cast<int64_t>(count) * count * m / kPowerDivisor;
    if (p < INT16_MIN || p > INT16_MAX) throw FrameError("power out of range");
    r.fullScalePower = 50.0 * m;
    return static_cast<int16_t>(p);
}

float voltFactor(int16_t voltMult) { return static_cast<float>(voltMult / 100.0); }

// RF volts x10 of a count on a voltage factor (voltFactor).
int32_t voltage(int16_t count, float factor, const BridgeParameters& params) {
    if (!(count > params.nFwdMin)) return 0;
    const auto v = static_cast<float>(static_cast<double>(static_cast<float>(count) * factor) *
                                      kVoltsPerCount);
    // A count of at most 32767 on a multiplier of at most 327.67 stays far
    // inside these bounds; anything else shows as no voltage.
    if (!(v > -1e8f && v < 1e8f)) return 0;
    // One decimal, halves to even, of the float's exact value (x10 is exact in
    // a double, so only true halves such as 0.25 go to the even neighbour).
    return static_cast<int32_t>(roundHalfEven(static_cast<double>(v) * 10));
}

int16_t field16(const uint8_t* frame, size_t offset) {
    const unsigned v = frame[offset] + 256u * frame[offset + 1];
    if (v > 32767u) throw FrameError("frame field out of range");
    return static_cast<int16_t>(v);
}

}  // namespace

int16_t computePower(int16_t count, int16_t frameScale, const DecoderInputs& in,
                     ChannelReading& r) {
    return power(count, selectedSlot(in, r, frameScale).scalaPwrMult, in.params, r);
}

SwrKind computeSwrNumbers(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr,
                          const BridgeParameters& params, ChannelReading& r) {
    r.swrTenths = 0;
    if (nDirMax < params.nFwdMin) {
        r.swrValue = 0;
        return SwrKind::NoPower;
    }
    if (r.pwrRefMax == 0) {
        r.swrValue = 0;
        return SwrKind::NoReflection;
    }
    if (nDirMax > nRevMax) {
        const double s =
            static_cast<double>(nDirMax + nRevMax) / static_cast<double>(nDirMax - nRevMax);
        const double tenths = std::floor(s * 10);
        const auto value = static_cast<float>(tenths / 10);
        r.swrValue = value;
        r.swrTenths = static_cast<int32_t>(tenths);
        // Alarm only above the threshold; both sides as float so 3.1 vs 310 is equal.
        if (static_cast<float>(maxSwr / 100.0) < value) return SwrKind::High;
        return SwrKind::Value;
    }
    r.swrValue = 6;
    return SwrKind::High;
}

std::string computeSwr(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr,
                       const BridgeParameters& params, ChannelReading& r) {
    const SwrKind kind = computeSwrNumbers(nDirMax, nRevMax, maxSwr, params, r);
    return readingtext::swr(kind, r.swrTenths);
}

int32_t voltageTenths(int16_t count, const DecoderInputs& in, const ChannelReading& r) {
    return voltage(count, voltFactor(selectedSlot(in, r, r.frameScale).scalaVoltMult), in.params);
}

std::string computeVoltage(int16_t count, const DecoderInputs& in, const ChannelReading& r) {
    return readingtext::tenths(voltageTenths(count, in, r));
}

void decodeInto(const uint8_t* frame, const DecoderInputs& in, ChannelReading& r) {
    const char letter = static_cast<char>(frame[1]);
    if (r.channel.size() != 1 || r.channel[0] != letter) r.channel.assign(1, letter);
    r.frameScale = frame[18];
    const bool a = letter == 'A';
    const int16_t maxSwr = a ? in.params.MaxSwrA : in.params.MaxSwrB;
    // From here on the texts no longer match the numbers, also when a field
    // below turns out corrupt.
    r.textsStale = true;

    r.nDir = field16(frame, 2);
    r.nRev = field16(frame, 4);
    r.nDirMax = field16(frame, 6);
    r.nRevMax = field16(frame, 8);
    const ScaleSlot& slot = slotOf(in.slots, a, r.frameScale);
    r.pwrDir = power(r.nDir, slot.scalaPwrMult, in.params, r);
    r.pwrRef = power(r.nRev, slot.scalaPwrMult, in.params, r);
    r.pwrDirMax = field16(frame, 10);
    r.pwrRefMax = field16(frame, 12);

    const int16_t mult = slot.scalaPwrMult;
    r.scaleMult = mult;
    r.fiftyWatt = mult == 10;
    r.swrKind = computeSwrNumbers(r.nDirMax, r.nRevMax, maxSwr, in.params, r);
    const float factor = voltFactor(slot.scalaVoltMult);
    r.voltDirTenths = voltage(r.nDirMax, factor, in.params);
    r.voltRefTenths = voltage(r.nRevMax, factor, in.params);
}

ChannelReading decodeReading(const uint8_t* frame, const DecoderInputs& in,
                             ChannelReading previous) {
    decodeInto(frame, in, previous);
    return previous;
}

void storeLogData(const ChannelReading& r, std::array<int16_t, 9>& logData) {
    const size_t base = isChannelA(r) ? 0 : 4;
    logData[base + 0] = r.pwrDir;
    logData[base + 1] = r.pwrRef;
    logData[base + 2] = r.pwrDirMax;
    logData[base + 3] = r.pwrRefMax;
}

}  // namespace quellon
