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

// Leading decimal number of a text: leading blanks skipped, reading stops at the
// first character that cannot continue a number; no number gives 0.
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
