#include <gtest/gtest.h>

#include "link/ScaleCodes.h"

namespace quellon {
namespace {

struct Expected {
    const char* code;
    const char* text;
    int16_t volt;
    int16_t pwr;
};

constexpr Expected kTable[] = {
    {"0", "50W", 100, 10},  {"1", "100W", 141, 20}, {"2", "200W", 200, 40}, {"3", "500W", 316, 100},
    {"4", "1KW", 447, 200}, {"5", "2KW", 632, 400}, {"7", "250W", 224, 50},
};

TEST(ScaleCodes, TableRowsAndRoundTrip) {
    for (const auto& e : kTable) {
        SCOPED_TRACE(e.code);
        const ScaleRow row = getScaleByCode(e.code);
        EXPECT_EQ(row.text, e.text);
        EXPECT_EQ(row.voltMult, e.volt);
        EXPECT_EQ(row.pwrMult, e.pwr);
        EXPECT_EQ(getScaleCode(row.text), e.code);
    }
}

TEST(ScaleCodes, UnknownCodesAndTextsFallBackTo100W) {
    for (const char* code : {"6", "x", "", "00", " 0", "8"}) {
        SCOPED_TRACE(code);
        const ScaleRow row = getScaleByCode(code);
        EXPECT_EQ(row.text, "100W");
        EXPECT_EQ(row.voltMult, 141);
        EXPECT_EQ(row.pwrMult, 20);
    }
    for (const char* text : {"300W", "100w", "1kW", " 50W", "", "50W "}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(getScaleCode(text), "1");
    }
}

}  // namespace
}  // namespace quellon
