#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/Format.h"

namespace quellon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// clang-format off
TEST(Format, LeadingNumberIsNumericAndRoundHalfEven16) {
    // Only the leading number counts; an exponent without digits is not part of it.
    const std::pair<const char*, double> lead[] = {
        {"  25", 25}, {"1.2.3", 1.2}, {"1E-2x", 0.01}, {"2e+", 2}, {"abc", 0}, {"9e999", kInf}};
    for (const auto& [in, want] : lead) EXPECT_DOUBLE_EQ(leadingNumber(in), want) << in;
    for (const char* s : {" -3 ", "1e3", ".5"}) EXPECT_TRUE(isNumeric(s)) << s;
    for (const char* s : {"", "HIG", "12a", "9e999"}) EXPECT_FALSE(isNumeric(s)) << s;
    // 32767.5 rounds to 32768, which does not fit; -32768.5 goes to its even neighbour.
    const std::optional<int16_t> no;
    const std::pair<double, std::optional<int16_t>> cases[] = {
        {2.5, 2}, {-1.5, -2}, {32767.5, no}, {-32768.5, -32768}, {kInf, no}, {std::nan(""), no}};
    for (const auto& [in, want] : cases) EXPECT_EQ(roundHalfEven16(in), want) << in;
}

TEST(Format, ShortestAndFixedDecimals) {
    // A float shows its seven-digit value, never an exponent; fixed decimals round
    // the decimal view half away from zero (0.15 gives "0.2", not the binary 0.1499..).
    EXPECT_EQ(formatShortest(3.1f), "3.1");
    EXPECT_EQ(formatShortest(0.1 + 0.2), "0.3");
    const std::pair<double, const char*> one[] = {{0.15, "0.2"}, {-0.25, "-0.3"}, {-0.04, "0.0"}, {9.96, "10.0"}};
    for (const auto& [in, want] : one) EXPECT_EQ(format0_0(in), want) << in;
    EXPECT_EQ(format0_00(1.005), "1.01");
    EXPECT_EQ(formatHash0(-0.5), "-.5");
    EXPECT_EQ(formatText0_0("2") + formatText0_0("HIG"), "2.0HIG");  // only numbers are formatted
}
// clang-format on

}  // namespace
}  // namespace quellon
