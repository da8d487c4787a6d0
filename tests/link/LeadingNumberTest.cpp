#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "datalog/DataLogger.h"
#include "link/Format.h"
#include "portscan/PortProbe.h"

namespace quellon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The three readers of a leading number keep their own rules: the settings' Val()
// (blanks, e/E/d/D exponents), the port detection's plain decimal (digits, one
// point, a sign after spaces and tabs) and the log's DataRefresh, read as the C
// library reads a number (C's blanks, e/E exponents, hexadecimal; anything out of
// range or not finite is unusable and gives 1000 ms).
struct Row {
    const char* text;
    double val;     // leadingNumber
    double plain;   // valueOf
    int refreshMs;  // refreshFromText
};

// clang-format off
const Row kRows[] = {
    {"12", 12, 12, 12},          {" 12", 12, 12, 12},         {"\t12", 12, 12, 12},
    {"\n12", 12, 0, 12},         {"\v12", 0, 0, 12},          {"\f12", 0, 0, 12},
    {"1e3", 1000, 1, 1000},      {"1E3", 1000, 1, 1000},      {"1d3", 1000, 1, 1},
    {"1D3", 1000, 1, 1},         {"1d-1", 0.1, 1, 1},         {"0x10", 0, 0, 16},
    {"0X1A", 0, 0, 26},          {"0x1p4", 0, 0, 16},         {"0x1.8p1", 0, 0, 3},
    {"-0x10", -0.0, -0.0, -16},  {"0x", 0, 0, 0},             {"0xg", 0, 0, 0},
    {"&H10", 0, 0, 1000},        {"inf", 0, 0, 1000},         {"-inf", 0, 0, 1000},
    {"nan", 0, 0, 1000},         {"infinity", 0, 0, 1000},    {"-", 0, 0, 1000},
    {"+", 0, 0, 1000},           {"", 0, 0, 1000},            {".", 0, 0, 1000},
    {".5", 0.5, 0.5, 0},         {"5.", 5, 5, 5},             {"-.5", -0.5, -0.5, 0},
    {"1.5.6", 1.5, 1.5, 2},      {"+3", 3, 3, 3},             {"-3", -3, -3, -3},
    {"--3", 0, 0, 1000},         {"+-3", 0, 0, 1000},         {"1e", 1, 1, 1},
    {"1e+", 1, 1, 1},            {"1e-2", 0.01, 1, 0},        {"1e+2x", 100, 1, 100},
    {"1e400", kInf, 1, 1000},    {"-1e400", -kInf, -1, 1000}, {"1e-400", 0, 1, 1000},
    {"1e-310", 1e-310, 1, 1000}, {"12abc", 12, 12, 12},       {" -7.25x", -7.25, -7.25, -7},
    {"1,5", 1, 1, 1},            {"3 4", 3, 3, 3},            {"1000.5", 1000.5, 1000.5, 1000},
    {"1001.5", 1001.5, 1001.5, 1002}, {"2.5", 2.5, 2.5, 2},   {"32767", 32767, 32767, 32767},
    {"32768", 32768, 32768, 1000}, {"-32768", -32768, -32768, -32768},
    {"-32769", -32769, -32769, 1000}, {"007", 7, 7, 7},
};
// clang-format on

TEST(LeadingNumber, EachReaderKeepsItsRules) {
    for (const Row& r : kRows) {
        EXPECT_DOUBLE_EQ(leadingNumber(r.text), r.val) << '"' << r.text << '"';
        EXPECT_DOUBLE_EQ(valueOf(r.text), r.plain) << '"' << r.text << '"';
        EXPECT_EQ(refreshFromText(r.text), r.refreshMs) << '"' << r.text << '"';
    }
}

TEST(LeadingNumber, DigitsBeyondTheDoubleRange) {
    const std::string huge = "1" + std::string(400, '0');
    EXPECT_EQ(leadingNumber(huge), kInf);
    EXPECT_EQ(valueOf(huge), 0);
    EXPECT_EQ(refreshFromText(huge), 1000);
    // Subnormal: kept by the readers that ignore the C library's range error.
    const std::string small = "0." + std::string(309, '0') + "1";
    EXPECT_DOUBLE_EQ(leadingNumber(small), 1e-310);
    EXPECT_DOUBLE_EQ(valueOf(small), 1e-310);
    EXPECT_EQ(refreshFromText(small), 1000);
    // Below every double without an exponent: zero, not the infinity Val() once gave.
    const std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(leadingNumber(tiny), 0);
    EXPECT_EQ(valueOf(tiny), 0);
    EXPECT_EQ(refreshFromText(tiny), 1000);
}

}  // namespace
}  // namespace quellon
