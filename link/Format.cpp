#include "link/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "core/Numbers.h"
#include "link/Decimal.h"

namespace quellon {

namespace decimal {

Dec fromDouble(double v, int sig) {
    Dec d;
    if (v == 0 || !std::isfinite(v)) return d;
    d.negative = v < 0;
    // "d.ddddde+XX": the digits and the decimal exponent, independent of the
    // C locale (a Qt program runs with the user's locale set).
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, sig - 1);
    if (res.ec != std::errc()) return d;
    const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
    const size_t e = text.find('e');
    if (e == std::string_view::npos) return d;
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9') d.digits += c;
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);
    d.exp = exponent + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d = Dec{};
    return d;
}

Dec roundTo(const Dec& d, int decimals, Half half) {
    if (d.digits.empty()) return d;
    const long keep = static_cast<long>(d.exp) + decimals;
    if (keep >= static_cast<long>(d.digits.size())) return d;
    Dec r;
    r.negative = d.negative;
    if (keep < 0) return Dec{};  // below half of the last place kept
    const std::string kept = d.digits.substr(0, static_cast<size_t>(keep));
    const std::string rest = d.digits.substr(static_cast<size_t>(keep));
    bool up = false;
    if (rest[0] > '5') {
        up = true;
    } else if (rest[0] == '5') {
        if (rest.size() > 1) {
            up = true;  // no trailing zeros are stored, so anything after the 5 is above the half
        } else if (half == Half::AwayFromZero) {
            up = true;
        } else {
            const char last = kept.empty() ? '0' : kept.back();
            up = ((last - '0') % 2) != 0;
        }
    }
    r.digits = kept;
    r.exp = d.exp;
    if (up) {
        long i = static_cast<long>(r.digits.size()) - 1;
        while (i >= 0 && r.digits[static_cast<size_t>(i)] == '9') {
            r.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            r.digits.insert(r.digits.begin(), '1');
            r.exp += 1;
        } else {
            r.digits[static_cast<size_t>(i)] += 1;
        }
    }
    while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
    if (r.digits.empty()) return Dec{};
    return r;
}

std::string render(const Dec& d, int minDecimals, bool leadingZero) {
    std::string intPart;
    std::string frac;
    const long n = static_cast<long>(d.digits.size());
    if (d.exp > 0) {
        if (d.exp >= n) {
            intPart = d.digits + std::string(static_cast<size_t>(d.exp - n), '0');
        } else {
            intPart = d.digits.substr(0, static_cast<size_t>(d.exp));
            frac = d.digits.substr(static_cast<size_t>(d.exp));
        }
    } else {
        frac = std::string(static_cast<size_t>(-d.exp), '0') + d.digits;
        if (d.digits.empty()) frac.clear();
    }
    if (static_cast<int>(frac.size()) < minDecimals)
        frac.append(static_cast<size_t>(minDecimals) - frac.size(), '0');
    if (intPart.empty() && leadingZero) intPart = "0";
    std::string out;
    if (d.negative && !d.digits.empty()) out = "-";
    out += intPart;
    if (!frac.empty()) out += "." + frac;
    return out;
}

std::string nonFinite(double v) {
    if (std::isnan(v)) return "NaN";
    return v < 0 ? "-Inf" : "Inf";
}

}  // namespace decimal

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isOneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

// The number's text rebuilt for from_chars: digits[.digits][e|p[-]digits], unsigned and
// without a "0x" prefix for hexadecimal.
struct Parts {
    std::string normalized;
    bool hex = false;
    long order = 0;  // roughly where the first significant digit stands: > 0 large, <= 0 small
};

// Digits from i while accepted; returns them.
template <class Accept>
std::string takeDigits(std::string_view text, size_t& i, Accept accept) {
    std::string out;
    while (i < text.size() && accept(text[i])) out += text[i++];
    return out;
}

// Whole digits, then a point and fraction digits: the point is part of the
// number only when a digit stands on one side of it.
template <class Accept>
void takeMantissa(std::string_view text, size_t& i, Accept accept, std::string& intDigits,
                  std::string& fraction) {
    intDigits = takeDigits(text, i, accept);
    if (i < text.size() && text[i] == '.') {
        size_t k = i + 1;
        fraction = takeDigits(text, k, accept);
        if (!intDigits.empty() || !fraction.empty()) i = k;
    }
}

// An exponent at i (mark, optional sign, digits); taken only when digits follow.
bool takeExponent(std::string_view text, size_t& i, bool (*isMark)(char, std::string_view),
                  std::string_view marks, long& value, std::string& out) {
    if (i >= text.size() || !isMark(text[i], marks)) return false;
    size_t j = i + 1;
    bool negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) negative = text[j++] == '-';
    const std::string digits = takeDigits(text, j, isDigit);
    if (digits.empty()) return false;
    long v = 0;
    for (char d : digits) v = std::min(v * 10 + (d - '0'), 1000000L);  // far beyond any double
    value = negative ? -v : v;
    out = (negative ? "-" : "") + digits;
    i = j;
    return true;
}

// Position of the first significant digit relative to the point, in digits.
long leadingOrder(const std::string& intDigits, const std::string& fraction) {
    const size_t nz = intDigits.find_first_not_of('0');
    if (nz != std::string::npos) return static_cast<long>(intDigits.size() - nz);
    const size_t fz = fraction.find_first_not_of('0');
    return fz == std::string::npos ? 0 : -static_cast<long>(fz);
}

double convert(const Parts& p, bool negative, bool& outOfRange) {
    double v = 0;
    const char* first = p.normalized.data();
    const char* last = first + p.normalized.size();
    const auto res = std::from_chars(first, last, v,
                                     p.hex ? std::chars_format::hex : std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        outOfRange = true;
        // Too large gives an infinity, too small gives zero.
        v = p.order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (res.ec != std::errc()) {
        v = 0;
    } else if (v != 0 && std::fabs(v) < std::numeric_limits<double>::min()) {
        outOfRange = true;  // subnormal: the C library calls that a range error too
    }
    return negative ? -v : v;
}

}  // namespace

NumberScan scanLeadingNumber(std::string_view text, const NumberRules& rules) {
    NumberScan s;
    size_t i = 0;
    while (i < text.size() && isOneOf(text[i], rules.blanks)) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    Parts p;
    if (rules.hex && i + 1 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        size_t j = i + 2;
        std::string intDigits, fraction;
        takeMantissa(text, j, isHexDigit, intDigits, fraction);
        if (intDigits.empty() && fraction.empty()) {
            // "0x" without hex digits is the number 0 followed by an "x".
            s.found = true;
            s.end = i + 1;
            s.value = negative ? -0.0 : 0.0;
            return s;
        }
        p.hex = true;
        p.normalized =
            (intDigits.empty() ? "0" : intDigits) + (fraction.empty() ? "" : "." + fraction);
        p.order = leadingOrder(intDigits, fraction);  // hex digits; 4 bits each
        long exp = 0;
        std::string expText;
        if (takeExponent(
                text, j, [](char c, std::string_view) { return c == 'p' || c == 'P'; }, "", exp,
                expText)) {
            p.normalized += "p" + expText;
            p.order = p.order * 4 + exp;
        }
        i = j;
    } else {
        std::string intDigits, fraction;
        takeMantissa(text, i, isDigit, intDigits, fraction);
        if (intDigits.empty() && fraction.empty()) {
            s.end = i;
            return s;
        }
        p.normalized =
            (intDigits.empty() ? "0" : intDigits) + (fraction.empty() ? "" : "." + fraction);
        p.order = leadingOrder(intDigits, fraction);
        long exp = 0;
        std::string expText;
        if (takeExponent(text, i, isOneOf, rules.exponentMarks, exp, expText)) {
            p.normalized += "e" + expText;
            p.order += exp;
        }
    }
    s.found = true;
    s.end = i;
    s.value = convert(p, negative, s.outOfRange);
    return s;
}

double leadingNumber(std::string_view text) { return scanLeadingNumber(text).value; }

bool isNumeric(std::string_view text) {
    const NumberScan s = scanLeadingNumber(text);
    if (!s.found) return false;
    for (size_t i = s.end; i < text.size(); ++i)
        if (!isBlank(text[i])) return false;
    return std::isfinite(s.value);
}

std::optional<int16_t> roundHalfEven16(double v) {
    if (!std::isfinite(v) || v > 40000.0 || v < -40000.0) return std::nullopt;
    const double r = roundHalfEven(v);
    if (r < -32768.0 || r > 32767.0) return std::nullopt;
    return static_cast<int16_t>(r);
}

std::string formatShortest(float v) {
    if (!std::isfinite(v)) return decimal::nonFinite(v);
    return decimal::render(decimal::fromDouble(static_cast<double>(v), 7), 0, true);
}

std::string formatShortest(double v) {
    if (!std::isfinite(v)) return decimal::nonFinite(v);
    return decimal::render(decimal::fromDouble(v, 15), 0, true);
}

namespace {
std::string fixed(double v, int decimals, bool leadingZero) {
    if (!std::isfinite(v)) return decimal::nonFinite(v);
    const auto d =
        decimal::roundTo(decimal::fromDouble(v, 15), decimals, decimal::Half::AwayFromZero);
    return decimal::render(d, decimals, leadingZero);
}
}  // namespace

std::string format0_0(double v) { return fixed(v, 1, true); }
std::string format0_00(double v) { return fixed(v, 2, true); }
std::string formatHash0(double v) { return fixed(v, 1, false); }

std::string formatText0_0(std::string_view text) {
    if (isNumeric(text)) return format0_0(leadingNumber(text));
    return std::string(text);
}

}  // namespace quellon
