#pragma once
// Small text helpers shared by every layer.

#include <string>
#include <string_view>

namespace quellon {

inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// The text without blanks (by default space, tab, CR, LF, VT, FF) at either end.
std::string_view trimView(std::string_view s, std::string_view blanks = kWhiteSpace);
inline std::string trim(std::string_view s) { return std::string(trimView(s)); }

}  // namespace quellon
