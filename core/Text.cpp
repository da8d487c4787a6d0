#include "core/Text.h"

namespace quellon {

std::string_view trimView(std::string_view s, std::string_view blanks) {
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

}  // namespace quellon
