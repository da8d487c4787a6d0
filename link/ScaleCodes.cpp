#include "link/ScaleCodes.h"

#include <array>

namespace quellon {

namespace {

struct Entry {
    const char* code;
    const char* text;
    int16_t voltMult;
    int16_t pwrMult;
};

// From the smallest range to the largest, the order the user picks them in.
constexpr std::array<Entry, 7> kScales{{
    {"0", "50W", 100, 10},
    {"1", "100W", 141, 20},
    {"2", "200W", 200, 40},
    {"7", "250W", 224, 50},
    {"3", "500W", 316, 100},
    {"4", "1KW", 447, 200},
    {"5", "2KW", 632, 400},
}};

constexpr const Entry& kFallback = kScales[1];  // "100W"

}  // namespace

ScaleRow getScaleByCode(const std::string& code) {
    for (const Entry& e : kScales)
        if (code == e.code) return ScaleRow{e.text, e.voltMult, e.pwrMult};
    return ScaleRow{kFallback.text, kFallback.voltMult, kFallback.pwrMult};
}

std::string getScaleCode(const std::string& text) {
    for (const Entry& e : kScales)
        if (text == e.text) return e.code;
    return kFallback.code;
}

std::vector<std::string> scaleTexts() {
    std::vector<std::string> texts;
    for (const Entry& e : kScales) texts.emplace_back(e.text);
    return texts;
}

}  // namespace quellon
