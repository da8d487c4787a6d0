#pragma once
// The seven full-scale ranges of the bridge: the one-character code that travels
// on the line, the text the user sees, and the two decoder constants.

#include <cstdint>
#include <string>
#include <vector>

namespace quellon {

struct ScaleRow {
    std::string text;
    int16_t voltMult;  // 100 x sqrt(full-scale watts / 50), rounded
    int16_t pwrMult;   // full-scale watts / 5
};

// Row of a code; an unknown code (there is no "6") gives the "100W" row.
ScaleRow getScaleByCode(const std::string& code);
// Code of a text, compared exactly; an unknown text gives "1" ("100W").
std::string getScaleCode(const std::string& text);
// The texts of all ranges, smallest first: "50W", "100W", "200W", "250W", ...
std::vector<std::string> scaleTexts();

}  // namespace quellon
