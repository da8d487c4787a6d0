#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/Format.h"

namespace quellon {
namespace {

TEST(LeadingNumber, TakesTheLeadingNumberOnly) {
    EXPECT_DOUBLE_EQ(leadingNumber("01234"), 1234);
    EXPECT_DOUBLE_EQ(leadingNumber("  25"), 25);
    EXPECT_DOUBLE_EQ(leadingNumber("1.10"), 1.1);
    EXPECT_DOUBLE_EQ(leadingNumber("12abc"), 12);
    EXPECT_DOUBLE_EQ(leadingNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(leadingNumber("-3 "), -3);
    EXPECT_DOUBLE_EQ(leadingNumber("+7"), 7);
    EXPECT_DOUBLE_EQ(leadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber("5."), 5);
    EXPECT_DOUBLE_EQ(leadingNumber("1e3"), 1000);
    EXPECT_DOUBLE_EQ(leadingNumber("1E-2x"), 0.01);
    EXPECT_DOUBLE_EQ(leadingNumber("2e"), 2);  // exponent without digits is not part of it
    EXPECT_DOUBLE_EQ(leadingNumber("2e+"), 2);
}

TEST(LeadingNumber, NoNumberIsZero) {
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("  "), 0);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("."), 0);
    EXPECT_EQ(leadingNumber("x12"), 0);
}

TEST(LeadingNumber, HugeExponentsDoNotThrow) {
    EXPECT_TRUE(std::isinf(leadingNumber("9e999")));
    EXPECT_EQ(leadingNumber("9e-999"), 0);
    EXPECT_TRUE(std::isinf(leadingNumber("-1e99999999999999999999")));
}

TEST(IsNumeric, WholeTextMustBeOneNumber) {
    EXPECT_TRUE(isNumeric("12"));
    EXPECT_TRUE(isNumeric(" -3 "));
    EXPECT_TRUE(isNumeric("12.5"));
    EXPECT_TRUE(isNumeric("1e3"));
    EXPECT_TRUE(isNumeric(".5"));
    EXPECT_FALSE(isNumeric(""));
    EXPECT_FALSE(isNumeric("HIG"));
    EXPECT_FALSE(isNumeric("---"));
    EXPECT_FALSE(isNumeric("12a"));
    EXPECT_FALSE(isNumeric("1 2"));
    EXPECT_FALSE(isNumeric("."));
    EXPECT_FALSE(isNumeric("9e999"));
}

TEST(RoundHalfEven16, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven16(0.5), 0);
    EXPECT_EQ(roundHalfEven16(1.5), 2);
    EXPECT_EQ(roundHalfEven16(2.5), 2);
    EXPECT_EQ(roundHalfEven16(-0.5), 0);
    EXPECT_EQ(roundHalfEven16(-1.5), -2);
    EXPECT_EQ(roundHalfEven16(-2.5), -2);
    EXPECT_EQ(roundHalfEven16(2.4999), 2);
    EXPECT_EQ(roundHalfEven16(2.5001), 3);
    EXPECT_EQ(roundHalfEven16(-7.2), -7);
}

TEST(RoundHalfEven16, RefusesWhatDoesNotFit) {
    EXPECT_EQ(roundHalfEven16(32767), 32767);
    EXPECT_EQ(roundHalfEven16(32767.4), 32767);
    EXPECT_EQ(roundHalfEven16(32767.5), std::nullopt);  // rounds to 32768
    EXPECT_EQ(roundHalfEven16(-32768.5), -32768);       // even neighbour fits
    EXPECT_EQ(roundHalfEven16(-32769), std::nullopt);
    EXPECT_EQ(roundHalfEven16(99999), std::nullopt);
    EXPECT_EQ(roundHalfEven16(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(roundHalfEven16(std::nan("")), std::nullopt);
}

TEST(FormatShortest, FloatShowsItsSevenDigitValue) {
    EXPECT_EQ(formatShortest(3.1f), "3.1");
    EXPECT_EQ(formatShortest(49.1f), "49.1");
    EXPECT_EQ(formatShortest(2.0f), "2");
    EXPECT_EQ(formatShortest(1.5f), "1.5");
    EXPECT_EQ(formatShortest(0.5f), "0.5");
    EXPECT_EQ(formatShortest(0.0f), "0");
    EXPECT_EQ(formatShortest(-0.0f), "0");
    EXPECT_EQ(formatShortest(-2.5f), "-2.5");
    EXPECT_EQ(formatShortest(static_cast<float>(std::floor(31.0) / 10)), "3.1");
    EXPECT_EQ(formatShortest(1234567.0f), "1234567");
    EXPECT_EQ(formatShortest(1e8f), "100000000");  // no exponent
    EXPECT_EQ(formatShortest(0.001f), "0.001");
}

TEST(FormatShortest, DoubleShowsFifteenDigits) {
    EXPECT_EQ(formatShortest(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatShortest(25.0), "25");
    EXPECT_EQ(formatShortest(32.5), "32.5");
    EXPECT_EQ(formatShortest(10 / 20.0), "0.5");
    EXPECT_EQ(formatShortest(50 / 20.0), "2.5");
    EXPECT_EQ(formatShortest(400 / 20.0), "20");
    EXPECT_EQ(formatShortest(std::numeric_limits<double>::infinity()), "Inf");
}

TEST(Format0_0, OneDecimalHalvesAwayFromZero) {
    EXPECT_EQ(format0_0(49.9), "49.9");
    EXPECT_EQ(format0_0(499 / 10.0), "49.9");
    EXPECT_EQ(format0_0(0), "0.0");
    EXPECT_EQ(format0_0(5), "5.0");
    EXPECT_EQ(format0_0(0.25), "0.3");
    EXPECT_EQ(format0_0(0.15), "0.2");  // decimal view, not the binary 0.1499..
    EXPECT_EQ(format0_0(-0.25), "-0.3");
    EXPECT_EQ(format0_0(-0.04), "0.0");
    EXPECT_EQ(format0_0(9.96), "10.0");
    EXPECT_EQ(format0_0(0.04), "0.0");
    EXPECT_EQ(format0_0(0.05), "0.1");
    EXPECT_EQ(format0_0(1234.56), "1234.6");
}

TEST(Format0_00AndHash0, Variants) {
    EXPECT_EQ(format0_00(1.005), "1.01");
    EXPECT_EQ(format0_00(2), "2.00");
    EXPECT_EQ(format0_00(0.125), "0.13");
    EXPECT_EQ(formatHash0(0.5), ".5");
    EXPECT_EQ(formatHash0(0), ".0");
    EXPECT_EQ(formatHash0(12.34), "12.3");
    EXPECT_EQ(formatHash0(0.96), "1.0");
    EXPECT_EQ(formatHash0(-0.5), "-.5");
}

TEST(FormatText0_0, OnlyNumbersAreFormatted) {
    EXPECT_EQ(formatText0_0("1.5"), "1.5");
    EXPECT_EQ(formatText0_0("2"), "2.0");
    EXPECT_EQ(formatText0_0("HIG"), "HIG");
    EXPECT_EQ(formatText0_0("---"), "---");
    EXPECT_EQ(formatText0_0(""), "");
}

}  // namespace
}  // namespace quellon
