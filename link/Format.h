#pragma once
// Number conversions and formats shared by the decoder, the displays and the
// setup dialog. They follow the classic BASIC rules the bridge's texts were
// designed around: Val() takes the leading number of a text, CInt() rounds
// halves to the even neighbour, Format("0.0") gives one decimal.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellon {

// How the leading number of a text is read. Every reader skips its blanks, takes
// one sign, digits with one point, and an exponent only when digits follow its
// mark ("1e" is 1); reading stops at the first character that cannot continue.
struct NumberRules {
    std::string_view blanks = " \t\n\r";      // skipped before the number
    std::string_view exponentMarks = "eEdD";  // letters that start a decimal exponent
    bool hex = false;                         // "0x1A", "0x1.8p1" as the C library reads them
};
// The classic Val(): the settings and the bridge's replies are read with it.
inline constexpr NumberRules kValRules{};
// Digits, one point and a sign after spaces and tabs: no exponent.
inline constexpr NumberRules kPlainDecimalRules{" \t", "", false};
// As the C library's strtod reads a number: its blanks, e/E exponents and
// hexadecimal, always with "." as the point (never the user's locale).
inline constexpr NumberRules kCLibraryRules{" \t\n\v\f\r", "eE", true};

struct NumberScan {
    bool found = false;       // the text starts with a number
    bool outOfRange = false;  // beyond a normal double: value is +-inf, +-0 or subnormal
    double value = 0;         // 0 when nothing was found
    size_t end = 0;           // position after the number
};
NumberScan scanLeadingNumber(std::string_view text, const NumberRules& rules = kValRules);

// Leading number of a text read with Val()'s rules; no number gives 0, one too
// large gives an infinity (refused by every range check), one too small zero.
double leadingNumber(std::string_view text);

// True when the whole text (blanks around allowed) is one number such as
// "12", "-3", "12.5", "1e3".
bool isNumeric(std::string_view text);

// Halves to even; nullopt when the result does not fit the 16-bit range.
std::optional<int16_t> roundHalfEven16(double v);

// Shortest decimal text of a float value: 2, 1.5, 3.1, 0.5, 49.1 (no exponent
// for the ranges used here, no trailing zeros, "-" sign when negative).
std::string formatShortest(float v);
std::string formatShortest(double v);

// Format "0.0": one decimal, halves away from zero as the platform formatter does.
std::string format0_0(double v);
// Format "0.00".
std::string format0_00(double v);
// Format "#.0": like "0.0" but no leading zero for values below 1 (".5").
std::string formatHash0(double v);

// Text formatted with "0.0" when it is numeric, else unchanged ("HIG", "---").
std::string formatText0_0(std::string_view text);

}  // namespace quellon
