#pragma once
// Decimal digit strings behind the number formats: a binary value is first
// taken to a fixed count of significant decimal digits (7 for float, 15 for
// double, as the classic formatter shows them), and all further rounding is
// done on those digits. So 0.15 formats as "0.2" with "0.0" although its binary
// value lies a hair below the half. Everything here is locale independent.

#include <string>

namespace quellon::decimal {

// value = 0.digits x 10^exp; digits has no leading or trailing zeros, empty
// digits means zero.
struct Dec {
    bool negative = false;
    std::string digits;
    int exp = 0;
};

// The value rounded (to nearest) to sig significant digits. Only finite values.
Dec fromDouble(double v, int sig);

enum class Half { Even, AwayFromZero };

// The value rounded to the given number of decimals.
Dec roundTo(const Dec& d, int decimals, Half half);

// Fixed notation, at least minDecimals decimals (padded with zeros), no
// exponent. leadingZero false drops the "0" before the point (".5"). Zero has
// no sign.
std::string render(const Dec& d, int minDecimals, bool leadingZero);

// Text for values that are not finite.
std::string nonFinite(double v);

}  // namespace quellon::decimal
