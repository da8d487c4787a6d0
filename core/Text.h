#pragma once
// Small text helpers shared by every layer.

#include <string>
#include <string_view>

namespace quellon {

// The text without blanks (space, tab, CR, LF, VT, FF) at either end.
std::string_view trimView(std::string_view s);
inline std::string trim(std::string_view s) { return std::string(trimView(s)); }

}  // namespace quellon
