// Number texts as the program shows and stores them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "modFunctions.h"

namespace {

using modFunctions::DecimalsPattern;
using modFunctions::NumberText;

class NumberTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { modFunctions::SetDecimalSeparator(GetParam()); }
    void TearDown() override { modFunctions::SetDecimalSeparator('.'); }
    // Expected text with '.' standing for the locale's separator.
    static std::string L(std::string s) {
        for (char& c : s)
            if (c == '.') c = GetParam();
        return s;
    }
};

TEST_P(NumberTest, FifteenSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(NumberText(0.1 + 0.2), L("0.3"));
    EXPECT_EQ(NumberText(1.0 / 3.0), L("0.333333333333333"));
    EXPECT_EQ(NumberText(2.0 / 3.0), L("0.666666666666667"));
    EXPECT_EQ(NumberText(100), "100");
    EXPECT_EQ(NumberText(12.5), L("12.5"));
    EXPECT_EQ(NumberText(-1.05), L("-1.05"));
    EXPECT_EQ(NumberText(100.000001), L("100.000001"));
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(2147483647), "2147483647");
    EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberText(0.0001), L("0.0001"));
    EXPECT_EQ(NumberText(0.000123), L("0.000123"));
}

TEST_P(NumberTest, ExponentTextOutsideTheDecimalRange) {
    EXPECT_EQ(NumberText(1e15), "1E+15");
    EXPECT_EQ(NumberText(999999999999999.9), "1E+15");  // rounds up into the next decade
    EXPECT_EQ(NumberText(-2.5e20), L("-2.5E+20"));
    EXPECT_EQ(NumberText(1e-5), "1E-05");
    EXPECT_EQ(NumberText(1.5e-5), L("1.5E-05"));
    EXPECT_EQ(NumberText(5e-324), L("4.94065645841247E-324"));
}

TEST_P(NumberTest, EveryFiniteNumberReadsBackFiniteAndClose) {
    constexpr double max = std::numeric_limits<double>::max();
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    // Rounded to nearest, these would pass the largest double: they are rounded toward zero.
    for (const double x : {max, std::nextafter(max, 0.0), 1.797693134862315e308}) {
        EXPECT_EQ(NumberText(x), L("1.79769313486231E+308"));
        EXPECT_EQ(NumberText(-x), L("-1.79769313486231E+308"));
    }
    EXPECT_EQ(NumberText(1.79769313486231e308), L("1.79769313486231E+308"));
    EXPECT_EQ(NumberText(1.7976931348623e308), L("1.7976931348623E+308"));
    EXPECT_EQ(NumberText(9.99999999999999e307), L("9.99999999999999E+307"));
    EXPECT_EQ(NumberText(9.999999999999999e307), "1E+308");

    std::vector<double> values = {max, 1.797693134862315e308, 1.79769313486231e308, 9.999999999999999e307,
                                  std::numeric_limits<double>::min(), tiny, 3 * tiny, 0x1p-1050, 0x1.fffffp-1023};
    // And numbers of every size: random bit patterns.
    std::mt19937_64 rng(5);
    while (values.size() < 3000) {
        const std::uint64_t bits = rng();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (std::isfinite(x) && x != 0) values.push_back(x);
    }
    for (double x : values) {
        for (const double v : {x, -x}) {
            const std::string text = NumberText(v);
            double back = 0;
            ASSERT_TRUE(modFunctions::ParseNumber(text, back)) << text;
            ASSERT_TRUE(std::isfinite(back)) << text;
            // Fifteen digits: within half a unit of the fifteenth digit; only the
            // largest magnitudes, rounded toward zero, come within a whole unit.
            const double unit = std::fabs(v) >= 1.797693134862315e308 ? 1e-14 : 5e-15;
            EXPECT_LE(std::fabs(back - v), std::fabs(v) * unit + tiny) << text;
            EXPECT_EQ(std::signbit(back), std::signbit(v)) << text;
        }
    }
    EXPECT_EQ(NumberText(tiny), L("4.94065645841247E-324"));
    double back = 0;
    ASSERT_TRUE(modFunctions::ParseNumber(NumberText(-3 * tiny), back));
    EXPECT_EQ(back, -3 * tiny);
}

TEST_P(NumberTest, DecimalsPatternCountsTheDecimalsOfTheText) {
    EXPECT_EQ(DecimalsPattern(12.5), "0.0");
    EXPECT_EQ(DecimalsPattern(0.25), "0.00");
    EXPECT_EQ(DecimalsPattern(1.05), "0.00");
    EXPECT_EQ(DecimalsPattern(100), "0");
    EXPECT_EQ(DecimalsPattern(3), "0");
    EXPECT_EQ(DecimalsPattern(0.1 + 0.2), "0.0");
    EXPECT_EQ(DecimalsPattern(-975.125), "0.000");
}

TEST_P(NumberTest, ParseNumberReadsWhatNumberTextWrites) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 500; ++i) {
        const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        double back = 0;
        ASSERT_TRUE(modFunctions::ParseNumber(NumberText(v), back)) << NumberText(v);
        EXPECT_EQ(NumberText(back), NumberText(v));
    }
}

TEST_P(NumberTest, ParseNumberRefusesWhatIsNoNumber) {
    double v = 42;
    for (const char* text : {"", "  ", "-", "abc", "12 mm", "1,2,3,4.5.6", "inf", "nan", "1e999", "++1", "+-1", "1e", "."})
        EXPECT_FALSE(modFunctions::ParseNumber(text, v)) << text;
    EXPECT_EQ(v, 42);
    ASSERT_TRUE(modFunctions::ParseNumber(" +7 ", v));
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(modFunctions::ParseNumber(L("-0.5"), v));
    EXPECT_EQ(v, -0.5);
}

INSTANTIATE_TEST_SUITE_P(Separators, NumberTest, ::testing::Values(',', '.'),
                         [](const auto& info) { return info.param == ',' ? "German" : "English"; });

TEST(NumberParse, EitherSeparatorIsUnderstood) {
    double v = 0;
    modFunctions::SetDecimalSeparator(',');
    ASSERT_TRUE(modFunctions::ParseNumber("12.5", v));  // a file from an English system
    EXPECT_EQ(v, 12.5);
    ASSERT_TRUE(modFunctions::ParseNumber("1.234.567", v));  // grouped
    EXPECT_EQ(v, 1234567);
    modFunctions::SetDecimalSeparator('.');
    ASSERT_TRUE(modFunctions::ParseNumber("12,5", v));
    EXPECT_EQ(v, 12.5);
    ASSERT_TRUE(modFunctions::ParseNumber("1,234.5", v));
    EXPECT_EQ(v, 1234.5);
    EXPECT_FALSE(modFunctions::ParseNumber("1.5,2", v));  // grouping after the decimal point
}

}  // namespace
