#include "core/modGlobal.h"

namespace quellon {

ModGlobal modGlobal;

DisplayMode displayModeFromText(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '4')
        return static_cast<DisplayMode>(text[0] - '0');
    return DisplayMode::Unknown;
}

const char* displayModeText(DisplayMode mode) {
    static const char* const kTexts[] = {"0", "1", "2", "3", "4"};
    const int i = static_cast<int>(mode);
    return i >= 0 && i < 5 ? kTexts[i] : "";
}

}  // namespace quellon
