#include <gtest/gtest.h>

#include <cmath>

#include "datalog/DataLogger.h"
#include "link/Format.h"
#include "portscan/PortProbe.h"

namespace quellon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The three readers of a leading number keep their own rules: the settings' Val()
// (blanks, e/E/d/D exponents), the port detection's plain decimal and the log's
// DataRefresh, read as the C library reads it (out of range or not finite: 1000 ms).
struct Row {
    std::string text;
    double val;     // leadingNumber
    double plain;   // valueOf
    int refreshMs;  // refreshFromText
};

// clang-format off
const Row kRows[] = {
    {" 12", 12, 12, 12},         {"\t12", 12, 12, 12},        {"\n12", 12, 0, 12},
    {"\v12", 0, 0, 12},          {"1e3", 1000, 1, 1000},      {"1E3", 1000, 1, 1000},
    {"1d3", 1000, 1, 1},         {"1d-1", 0.1, 1, 1},         {"0X1A", 0, 0, 26},
    {"0x1.8p1", 0, 0, 3},        {"-0x10", -0.0, -0.0, -16},  {"0x", 0, 0, 0},
    {"&H10", 0, 0, 1000},        {"inf", 0, 0, 1000},         {"nan", 0, 0, 1000},
    {"-", 0, 0, 1000},           {"", 0, 0, 1000},            {".", 0, 0, 1000},
    {".5", 0.5, 0.5, 0},         {"5.", 5, 5, 5},             {"1.5.6", 1.5, 1.5, 2},
    {"+3", 3, 3, 3},             {"--3", 0, 0, 1000},         {"1e+", 1, 1, 1},
    {"1e-2", 0.01, 1, 0},        {"1e+2x", 100, 1, 100},      {"1e400", kInf, 1, 1000},
    {"-1e400", -kInf, -1, 1000}, {"1e-400", 0, 1, 1000},      {"1e-310", 1e-310, 1, 1000},
    {" -7.25x", -7.25, -7.25, -7}, {"1,5", 1, 1, 1},          {"3 4", 3, 3, 3},
    {"1001.5", 1001.5, 1001.5, 1002}, {"2.5", 2.5, 2.5, 2},   {"32767", 32767, 32767, 32767},
    {"32768", 32768, 32768, 1000}, {"-32768", -32768, -32768, -32768},
    {"-32769", -32769, -32769, 1000}, {"007", 7, 7, 7},
    // Digits beyond the double range; a subnormal is kept by the readers that ignore
    // the C library's range error; below every double is zero, not the infinity Val() once gave.
    {"1" + std::string(400, '0'), kInf, 0, 1000},
    {"0." + std::string(309, '0') + "1", 1e-310, 1e-310, 1000},
    {"0." + std::string(400, '0') + "1", 0, 0, 1000},
};
// clang-format on

TEST(LeadingNumber, EachReaderKeepsItsRules) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(testing::Message() << '"' << r.text << '"');
        EXPECT_DOUBLE_EQ(leadingNumber(r.text), r.val);
        EXPECT_DOUBLE_EQ(valueOf(r.text), r.plain);
        EXPECT_EQ(refreshFromText(r.text), r.refreshMs);
    }
}

// clang-format off
TEST(Format, IsNumericAndRoundHalfEven16) {
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
