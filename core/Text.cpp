#include "core/Text.h"

namespace quellon {

std::string_view trimView(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

}  // namespace quellon
