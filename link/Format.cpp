#include "link/Format.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

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

// Scans the longest number at the start of text (after blanks). Returns the
// position after it and fills a normalized form that from_chars accepts.
struct Scan {
    size_t end = 0;
    bool anyDigit = false;
    std::string normalized;  // [-]digits[.digits][e[-]digits]
};

Scan scanNumber(std::string_view text) {
    Scan s;
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') s.normalized += '-';
        ++i;
    }
    std::string mantissa;
    size_t intDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        mantissa += text[i++];
        ++intDigits;
    }
    std::string fraction;
    if (i < text.size() && text[i] == '.') {
        size_t j = i + 1;
        while (j < text.size() && isDigit(text[j])) fraction += text[j++];
        if (intDigits > 0 || !fraction.empty()) i = j;
    }
    s.anyDigit = intDigits > 0 || !fraction.empty();
    if (!s.anyDigit) {
        s.end = i;
        return s;
    }
    s.normalized += mantissa.empty() ? "0" : mantissa;
    if (!fraction.empty()) s.normalized += "." + fraction;
    // Exponent only when digits follow: "1e" is 1, "1e5" is 100000.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        size_t j = i + 1;
        std::string exp;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            if (text[j] == '-') exp += '-';
            ++j;
        }
        const size_t digitsStart = j;
        while (j < text.size() && isDigit(text[j])) exp += text[j++];
        if (j > digitsStart) {
            s.normalized += "e" + exp;
            i = j;
        }
    }
    s.end = i;
    return s;
}

double convert(const std::string& normalized) {
    double v = 0;
    const char* first = normalized.data();
    const char* last = first + normalized.size();
    const auto res = std::from_chars(first, last, v);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large gives an infinity (refused by every range check), too small
        // gives zero.
        const size_t e = normalized.find('e');
        const bool negative = !normalized.empty() && normalized[0] == '-';
        const bool tiny =
            e != std::string::npos && e + 1 < normalized.size() && normalized[e + 1] == '-';
        if (tiny) return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    if (res.ec != std::errc()) return 0;
    return v;
}

}  // namespace

double leadingNumber(std::string_view text) {
    const Scan s = scanNumber(text);
    if (!s.anyDigit) return 0;
    return convert(s.normalized);
}

bool isNumeric(std::string_view text) {
    const Scan s = scanNumber(text);
    if (!s.anyDigit) return false;
    for (size_t i = s.end; i < text.size(); ++i)
        if (!isBlank(text[i])) return false;
    return std::isfinite(convert(s.normalized));
}

std::optional<int16_t> roundHalfEven16(double v) {
    if (!std::isfinite(v) || v > 40000.0 || v < -40000.0) return std::nullopt;
    const double f = std::floor(v);
    const double diff = v - f;
    double r = f;
    if (diff > 0.5) {
        r = f + 1;
    } else if (diff == 0.5) {
        r = std::fmod(f, 2.0) == 0 ? f : f + 1;
    }
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
