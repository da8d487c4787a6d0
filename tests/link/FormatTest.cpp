#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/Format.h"

namespace quellon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// clang-format off
TEST(Format, LeadingNumberAndIsNumeric) {
    // Only the leading number counts; an exponent without digits is not part of it.
    const std::pair<const char*, double> lead[] = {
        {"01234", 1234}, {"  25", 25}, {"1.10", 1.1}, {"12abc", 12}, {"1.2.3", 1.2}, {"-3 ", -3},
        {"+7", 7}, {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"1E-2x", 0.01}, {"2e", 2}, {"2e+", 2},
        {"", 0}, {"abc", 0}, {"  ", 0}, {"-", 0}, {".", 0}, {"x12", 0}, {"9e-999", 0},
        {"9e999", kInf}, {"-1e99999999999999999999", -kInf}};
    for (const auto& [in, want] : lead) EXPECT_DOUBLE_EQ(leadingNumber(in), want) << in;
    for (const char* s : {"12", " -3 ", "12.5", "1e3", ".5"}) EXPECT_TRUE(isNumeric(s)) << s;
    for (const char* s : {"", "HIG", "---", "12a", "1 2", ".", "9e999"})
        EXPECT_FALSE(isNumeric(s)) << s;
}

TEST(Format, RoundHalfEven16) {
    // 32767.5 rounds to 32768, which does not fit; -32768.5 goes to its even neighbour.
    const std::optional<int16_t> no;
    const std::pair<double, std::optional<int16_t>> cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
        {-7.2, -7}, {32767, 32767}, {32767.4, 32767}, {32767.5, no}, {-32768.5, -32768},
        {-32769, no}, {99999, no}, {kInf, no}, {std::nan(""), no}};
    for (const auto& [in, want] : cases) EXPECT_EQ(roundHalfEven16(in), want) << in;
}

TEST(Format, FormatShortest) {
    // A float shows its seven-digit value, a double fifteen digits; never an exponent.
    const std::pair<float, const char*> floats[] = {
        {3.1f, "3.1"}, {49.1f, "49.1"}, {2.0f, "2"}, {1.5f, "1.5"}, {0.5f, "0.5"}, {0.0f, "0"},
        {-0.0f, "0"}, {-2.5f, "-2.5"}, {1234567.0f, "1234567"}, {1e8f, "100000000"},
        {0.001f, "0.001"}, {static_cast<float>(std::floor(31.0) / 10), "3.1"}};
    for (const auto& [in, want] : floats) EXPECT_EQ(formatShortest(in), want) << in;
    const std::pair<double, const char*> doubles[] = {
        {0.1 + 0.2, "0.3"}, {25.0, "25"}, {32.5, "32.5"}, {10 / 20.0, "0.5"}, {50 / 20.0, "2.5"},
        {400 / 20.0, "20"}, {kInf, "Inf"}};
    for (const auto& [in, want] : doubles) EXPECT_EQ(formatShortest(in), want) << in;
}

TEST(Format, FixedDecimalsHalveAwayFromZero) {
    // Decimal view: 0.15 gives "0.2", not the binary 0.1499...
    const std::pair<double, const char*> one[] = {
        {49.9, "49.9"}, {499 / 10.0, "49.9"}, {0, "0.0"}, {5, "5.0"}, {0.25, "0.3"}, {0.15, "0.2"},
        {-0.25, "-0.3"}, {-0.04, "0.0"}, {9.96, "10.0"}, {0.04, "0.0"}, {0.004, "0.0"},
        {0.05, "0.1"}, {1234.56, "1234.6"}};
    for (const auto& [in, want] : one) EXPECT_EQ(format0_0(in), want) << in;
    const std::pair<double, const char*> two[] = {{1.005, "1.01"}, {2, "2.00"}, {0.125, "0.13"}};
    for (const auto& [in, want] : two) EXPECT_EQ(format0_00(in), want) << in;
    const std::pair<double, const char*> hash[] = {
        {0.5, ".5"}, {0, ".0"}, {12.34, "12.3"}, {0.96, "1.0"}, {-0.5, "-.5"}};
    for (const auto& [in, want] : hash) EXPECT_EQ(formatHash0(in), want) << in;
    // Only numbers are formatted.
    const std::pair<const char*, const char*> text[] = {
        {"1.5", "1.5"}, {"2", "2.0"}, {"12a", "12a"}, {"HIG", "HIG"}, {"---", "---"}, {"", ""}};
    for (const auto& [in, want] : text) EXPECT_EQ(formatText0_0(in), want) << in;
}
// clang-format on

}  // namespace
}  // namespace quellon
