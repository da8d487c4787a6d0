#include "core/ChannelReading.h"

#include <cstdlib>

namespace quellon {

namespace readingtext {

namespace {

// Appends the decimal digits of v (v >= 0).
void appendDigits(std::string& out, uint64_t v) {
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) out += buf[--n];
}

uint64_t magnitude(int64_t v) {
    return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

}  // namespace

std::string power(int16_t tenthsOfWatt, bool fiftyWatt) {
    std::string out;
    const int v = tenthsOfWatt;
    if (!fiftyWatt) {
        const int watts = v / 10;  // truncated toward zero
        if (watts < 0) out += '-';
        appendDigits(out, magnitude(watts));
        return out;
    }
    if (v < 0) out += '-';
    const uint64_t m = magnitude(v);
    appendDigits(out, m / 10);
    out += '.';
    out += static_cast<char>('0' + m % 10);
    return out;
}

std::string tenths(int64_t t) {
    std::string out;
    if (t < 0) out += '-';
    const uint64_t m = magnitude(t);
    appendDigits(out, m / 10);
    if (m % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + m % 10);
    }
    return out;
}

std::string swr(SwrKind kind, int32_t t) {
    switch (kind) {
        case SwrKind::NoPower: return "---";
        case SwrKind::NoReflection: return "1";
        case SwrKind::High: return "HIG";
        case SwrKind::Value: break;
    }
    return tenths(t);
}

std::string scaleMult(int16_t mult) {
    // mult / 20 is an exact number of hundredths: mult x 5.
    const int64_t h = int64_t{mult} * 5;
    std::string out = "x";
    if (h < 0) out += '-';
    const uint64_t m = magnitude(h);
    appendDigits(out, m / 100);
    const auto frac = static_cast<unsigned>(m % 100);
    if (frac != 0) {
        out += '.';
        out += static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0) out += static_cast<char>('0' + frac % 10);
    }
    return out;
}

}  // namespace readingtext

const ChannelReading& ChannelReading::withTexts() const {
    if (!textsStale) return *this;
    pwrDirText = readingtext::power(pwrDir, fiftyWatt);
    pwrRefText = readingtext::power(pwrRef, fiftyWatt);
    pwrDirMaxText = readingtext::power(pwrDirMax, fiftyWatt);
    pwrRefMaxText = readingtext::power(pwrRefMax, fiftyWatt);
    swrText = readingtext::swr(swrKind, swrTenths);
    voltDirText = readingtext::tenths(voltDirTenths);
    voltRefText = readingtext::tenths(voltRefTenths);
    scaleMultText = readingtext::scaleMult(scaleMult);
    textsStale = false;
    return *this;
}

std::string ChannelReading::swrTextNow() const {
    if (!textsStale) return swrText;
    return readingtext::swr(swrKind, swrTenths);
}

}  // namespace quellon
