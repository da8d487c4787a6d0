#include "link/FrameDecoder.h"

#include <cmath>

#include "link/Format.h"

namespace quellon {

namespace {

constexpr int64_t kPowerDivisor = 20736;   // 144 squared
constexpr double kVoltsPerCount = 0.0491;  // RMS volts per count on a 50 ohm line at "50W"

bool isScale2(int frameScale) { return frameScale >= 2; }

// The slot of the reading's channel and the scale that frameScale selects.
const ScaleSlot& selectedSlot(const ModGlobal& g, int frameScale) {
    const bool a = g.reading.channel == "A";
    const int index =
        a ? (isScale2(frameScale) ? SlotA2 : SlotA1) : (isScale2(frameScale) ? SlotB2 : SlotB1);
    return g.scaleSlots[static_cast<size_t>(index)];
}

int16_t field16(const uint8_t* frame, size_t offset) {
    const unsigned v = frame[offset] + 256u * frame[offset + 1];
    if (v > 32767u) throw FrameError("frame field out of range");
    return static_cast<int16_t>(v);
}

// Power texts: one decimal on the "50W" scale (power multiplier 10), whole
// watts truncated on every other scale.
std::string powerText(int16_t tenths, bool fiftyWatt) {
    if (fiftyWatt) return format0_0(tenths / 10.0);
    return std::to_string(tenths / 10);
}

}  // namespace

int16_t computePower(int16_t count, int16_t frameScale, ModGlobal& g) {
    if (!(count > g.params.nFwdMin)) return 0;
    const int16_t m = selectedSlot(g, frameScale).scalaPwrMult;
    // 64-bit: a corrupt count of up to 32767 must not overflow on the way.
    const int64_t power = static_cast<int64_t>(count) * count * m / kPowerDivisor;
    if (power < INT16_MIN || power > INT16_MAX) throw FrameError("power out of range");
    g.reading.fullScalePower = 50.0 * m;
    return static_cast<int16_t>(power);
}

std::string computeSwr(int16_t nDirMax, int16_t nRevMax, int16_t maxSwr, ModGlobal& g) {
    ChannelReading& r = g.reading;
    if (nDirMax < g.params.nFwdMin) {
        r.swrValue = 0;
        return "---";
    }
    if (r.pwrRefMax == 0) {
        r.swrValue = 0;
        return "1";
    }
    if (nDirMax > nRevMax) {
        const double s =
            static_cast<double>(nDirMax + nRevMax) / static_cast<double>(nDirMax - nRevMax);
        const auto value = static_cast<float>(std::floor(s * 10) / 10);
        r.swrValue = value;
        // Alarm only above the threshold; both sides as float so 3.1 vs 310 is equal.
        if (static_cast<float>(maxSwr / 100.0) < value) return "HIG";
        return formatShortest(value);
    }
    r.swrValue = 6;
    return "HIG";
}

std::string computeVoltage(int16_t count, ModGlobal& g) {
    if (!(count > g.params.nFwdMin)) return "0";
    const auto factor =
        static_cast<float>(selectedSlot(g, g.reading.frameScale).scalaVoltMult / 100.0);
    const auto v = static_cast<float>(static_cast<double>(static_cast<float>(count) * factor) *
                                      kVoltsPerCount);
    if (!std::isfinite(v)) return "0";
    // One decimal, halves to even, of the float's exact value (x10 is exact in
    // a double, so only true halves such as 0.25 go to the even neighbour).
    const double tenths = static_cast<double>(v) * 10;
    double r = std::floor(tenths);
    const double diff = tenths - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    return formatShortest(r / 10);
}

void decodeFrame(const uint8_t* frame, ModGlobal& g) {
    ChannelReading& r = g.reading;
    r.channel = std::string(1, static_cast<char>(frame[1]));
    r.frameScale = frame[18];
    const bool a = frame[1] == 'A';
    const int16_t maxSwr = a ? g.params.MaxSwrA : g.params.MaxSwrB;

    r.nDir = field16(frame, 2);
    r.nRev = field16(frame, 4);
    r.nDirMax = field16(frame, 6);
    r.nRevMax = field16(frame, 8);
    r.pwrDir = computePower(r.nDir, r.frameScale, g);
    r.pwrRef = computePower(r.nRev, r.frameScale, g);
    r.pwrDirMax = field16(frame, 10);
    r.pwrRefMax = field16(frame, 12);

    const int16_t mult = selectedSlot(g, r.frameScale).scalaPwrMult;
    const bool fiftyWatt = mult == 10;
    r.pwrDirText = powerText(r.pwrDir, fiftyWatt);
    r.pwrRefText = powerText(r.pwrRef, fiftyWatt);
    r.pwrDirMaxText = powerText(r.pwrDirMax, fiftyWatt);
    r.pwrRefMaxText = powerText(r.pwrRefMax, fiftyWatt);

    r.swrText = computeSwr(r.nDirMax, r.nRevMax, maxSwr, g);
    r.voltDirText = computeVoltage(r.nDirMax, g);
    r.voltRefText = computeVoltage(r.nRevMax, g);
    r.scaleMultText = "x" + formatShortest(mult / 20.0);

    const size_t base = a ? 0 : 4;
    g.logData[base + 0] = r.pwrDir;
    g.logData[base + 1] = r.pwrRef;
    g.logData[base + 2] = r.pwrDirMax;
    g.logData[base + 3] = r.pwrRefMax;
}

}  // namespace quellon
