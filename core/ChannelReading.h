#pragma once
// One decoded frame of one channel. The decoder stores numbers only: a frame
// arrives up to 576 times a second, while its texts are needed only when a
// window paints or a feature publishes, a few dozen times a second. The texts
// are made from the numbers on demand (withTexts, swrTextNow), byte for byte as
// the bridge's read-outs have always shown them.

#include <cstdint>
#include <string>

namespace quellon {

// What the SWR read-out shows: "---" (no forward power), "1" (no reflected
// peak power), "HIG" (above the alarm threshold, or reflected above forward)
// or the value in tenths.
enum class SwrKind : uint8_t { NoPower, NoReflection, High, Value };

struct ChannelReading {
    std::string channel;  // "A" or the received letter
    int16_t frameScale = 0;
    int16_t nDir = 0, nRev = 0, nDirMax = 0, nRevMax = 0;
    int16_t pwrDir = 0, pwrRef = 0;        // tenths of a watt
    int16_t pwrDirMax = 0, pwrRefMax = 0;  // tenths of a watt, from the bridge
    float swrValue = 0;
    double fullScalePower = 0;  // tenths of a watt

    // The numbers the texts are made of.
    bool fiftyWatt = false;  // the "50W" scale: powers with one decimal
    SwrKind swrKind = SwrKind::NoPower;
    int32_t swrTenths = 0;                         // SwrKind::Value: SWR x10, truncated
    int32_t voltDirTenths = 0, voltRefTenths = 0;  // RF volts x10 of the peak counts
    int16_t scaleMult = 0;                         // power multiplier of the scale in use

    // The texts. While textsStale is set they are out of date and withTexts()
    // remakes them; a reading filled by hand (textsStale false) keeps its own.
    mutable std::string pwrDirText, pwrRefText, pwrDirMaxText, pwrRefMaxText;
    mutable std::string swrText;
    mutable std::string voltDirText, voltRefText;
    mutable std::string scaleMultText;
    mutable bool textsStale = false;

    // The reading with its texts up to date.
    const ChannelReading& withTexts() const;
    // The SWR text alone ("---", "1", "HIG", "1.5"), without making the others.
    std::string swrTextNow() const;
};

namespace readingtext {

// Power text of tenths of a watt: one decimal on the "50W" scale ("12.5",
// "-0.5", "0.0"), else whole watts truncated toward zero ("12", "0").
std::string power(int16_t tenths, bool fiftyWatt);
// A count of tenths in its shortest decimal form: "0", "1.5", "3", "-2.5".
std::string tenths(int64_t tenths);
// The SWR text of a kind and value.
std::string swr(SwrKind kind, int32_t tenths);
// Scale multiplier text of a power multiplier: "x" and multiplier / 20 in its
// shortest form ("x1", "x0.5", "x2.25").
std::string scaleMult(int16_t mult);

}  // namespace readingtext

}  // namespace quellon
