#include "settings/numbers.h"

#include <gtest/gtest.h>
#include <limits>

using namespace tarn::settings;

TEST(Numbers, AsNumberPutsABlankWhereTheSignWouldGo) {
    EXPECT_EQ(asNumber(3), " 3");
    EXPECT_EQ(asNumber(0), " 0");
    EXPECT_EQ(asNumber(-5), "-5");
    EXPECT_EQ(asNumber(9600), " 9600");
}

TEST(Numbers, LenientNumberReadsLikeVal) {
    const std::pair<const char*, double> cases[] = {
        {"12abc", 12}, {" 1 2", 12},     {"abc", 0},   {"-3.5", -3.5}, {"", 0},
        {"+7", 7},     {"- 4", -4},      {"\t9\t", 9}, {"1.2.3", 1.2}, {".5", 0.5},
        {"1e3", 1000}, {"1 E -2", 0.01}, {"12e", 12},  {"12e+x", 12},  {"-", 0},
        {"1e999", 0},  {"0x1F", 0},      {"1,5", 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_DOUBLE_EQ(lenientNumber(text), expected) << '"' << text << '"';
}

TEST(Numbers, PlainNumberHasNoBlankNoExponentNoTrailingZero) {
    EXPECT_EQ(plainNumber(1234), "1234");
    EXPECT_EQ(plainNumber(-20), "-20");
    EXPECT_EQ(plainNumber(12.5), "12.5");
    EXPECT_EQ(plainNumber(0.1), "0.1");
    EXPECT_EQ(plainNumber(-0.0), "0");
    EXPECT_EQ(plainNumber(1e20), "100000000000000000000");
    EXPECT_EQ(plainNumber(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(plainNumber(std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(plainNumber(lenientNumber(" 1 500.0 twips")), "1500");
}

// Positions from a hand-edited file reach the windows as ints; out-of-range values must not be
// converted with undefined behaviour.
TEST(Numbers, ClampedIntHoldsAnyValueInIntsRange) {
    constexpr int lo = std::numeric_limits<int>::min();
    constexpr int hi = std::numeric_limits<int>::max();
    const std::pair<double, int> cases[] = {
        {lenientNumber("1e30"), hi},
        {lenientNumber("-1e30"), lo},
        {lenientNumber("-2147483648"), lo},
        {lenientNumber("2147483648"), hi},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {-0.0, 0},
        {1234.5, 1235},
        {-1234.5, -1235},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(clampedInt(value), expected) << value;
}
