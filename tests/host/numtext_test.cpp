// Number texts of the dialog.
#include <gtest/gtest.h>
#include <float.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

#include "host/numtext.h"

namespace {

std::string floatText(double v)
{
    char text[DIALOG_TEXT_SIZE];
    formatFloatText(v, text);
    return text;
}

std::string rangeText(int32_t n)
{
    char text[DIALOG_TEXT_SIZE];
    formatFrequencyRange(n, text);
    return text;
}

TEST(FloatText, WorkedExamples)
{
    EXPECT_EQ(floatText(1.0), "1.");
    EXPECT_EQ(floatText(0.15), "0.15");
    EXPECT_EQ(floatText(2.75), "2.75");
    EXPECT_EQ(floatText(11.25), "11.3");
    EXPECT_EQ(floatText(0.01), "1.e-002");
}

TEST(FloatText, NotationFollowsThePowerOfTheFirstDigit)
{
    // e = -1..2 fixed, with 2 - e decimals (none and no point at e = 2).
    EXPECT_EQ(floatText(0.1), "0.1");
    EXPECT_EQ(floatText(0.123), "0.123");
    EXPECT_EQ(floatText(9.87), "9.87");
    EXPECT_EQ(floatText(98.7), "98.7");
    EXPECT_EQ(floatText(987.0), "987");
    EXPECT_EQ(floatText(100.0), "100");
    EXPECT_EQ(floatText(10.0), "10.");
    // Outside it, d.dde+xxx with the fraction's zeros dropped.
    EXPECT_EQ(floatText(0.099), "9.9e-002");
    EXPECT_EQ(floatText(1000.0), "1.e+003");
    EXPECT_EQ(floatText(123456.0), "1.23e+005");
    EXPECT_EQ(floatText(1e-10), "1.e-010");
    EXPECT_EQ(floatText(1e100), "1.e+100");
    EXPECT_EQ(floatText(-2.75), "-2.75");
    EXPECT_EQ(floatText(-0.01), "-1.e-002");
    EXPECT_EQ(floatText(0.0), "0.");
}

TEST(FloatText, RoundsHalfAwayFromZeroOnSeventeenDigits)
{
    // 11.25 and 0.125 are exact halves; 2.675 is 2.67499999999999982... and
    // its 17 digits 2.6749999999999998 round down.
    EXPECT_EQ(floatText(0.125), "0.125");
    EXPECT_EQ(floatText(0.1255), "0.126");
    EXPECT_EQ(floatText(-11.25), "-11.3");
    EXPECT_EQ(floatText(2.675), "2.67");
    EXPECT_EQ(floatText(2.665), "2.67");
    // Carries: within fixed notation the point stays where the unrounded
    // value put it; in exponent notation the exponent moves.
    EXPECT_EQ(floatText(9.996), "10.");
    EXPECT_EQ(floatText(999.7), "1000");
    EXPECT_EQ(floatText(0.09996), "1.e-001");
    EXPECT_EQ(floatText(9.9996e5), "1.e+006");
}

TEST(FloatText, ExtremesStayWithinTheBuffer)
{
    EXPECT_EQ(floatText(FLT_MAX), "3.4e+038");
    EXPECT_EQ(floatText(DBL_MAX), "1.8e+308");
    EXPECT_EQ(floatText(4.9406564584124654e-324), "4.94e-324");
    EXPECT_EQ(floatText(INFINITY), "inf");
    EXPECT_EQ(floatText(-INFINITY), "-inf");
    EXPECT_EQ(floatText(NAN), "nan");
}

TEST(FloatText, ThreeDigitsSurviveTheRoundTripForRandomFloats)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> exponent(-40.0, 38.0);
    for (int i = 0; i < 20000; i++) {
        const float v = (float)((rng() & 1 ? -1.0 : 1.0) * pow(10.0, exponent(rng)));
        const std::string t = floatText(v);
        ASSERT_LT(t.size(), 16u) << v;
        const double back = strtod(t.c_str(), nullptr);
        // Three significant digits: within half a unit of the third digit
        // (the fixed-notation carry, e.g. 999.7 -> 1000, stays inside too).
        EXPECT_LE(fabs(back - v), 0.005 * fabs(v) * 1.0000001) << v << " " << t;
        // Never a trailing zero in the fraction.
        const size_t e = t.find('e');
        const std::string mantissa = t.substr(0, e);
        if (mantissa.find('.') != std::string::npos) {
            EXPECT_NE(mantissa.back(), '0') << t;
        }
    }
}

TEST(FrequencyRange, WorkedExamples)
{
    EXPECT_EQ(rangeText(6), "9.e-002");
    EXPECT_EQ(rangeText(7), "0.1");
    EXPECT_EQ(rangeText(10), "0.15");
    EXPECT_EQ(rangeText(64), "1.");
    EXPECT_EQ(rangeText(100), "1.56");
    EXPECT_EQ(rangeText(720), "11.3");
}

TEST(FrequencyRange, CutsToTwoDecimalsAndWrapsThe32BitProduct)
{
    EXPECT_EQ(rangeText(0), "0.");
    // 0.015625 MHz cut to 0.01, whose single-precision value is just below.
    EXPECT_EQ(rangeText(1), "1.e-002");
    EXPECT_EQ(rangeText(-1), "-2.e-002");  // the floor of a negative goes down
    // 137439 x 15625 = 2147484375 wraps to -2147482921;
    // floor(-214748.2921) x 0.01 = -2147.49.
    EXPECT_EQ(rangeText(137439), "-2.15e+003");
}

TEST(IntText, DecimalWithSign)
{
    char text[DIALOG_TEXT_SIZE];
    formatIntText(0, text);
    EXPECT_STREQ(text, "0");
    formatIntText(-40, text);
    EXPECT_STREQ(text, "-40");
    formatIntText(INT32_MIN, text);
    EXPECT_STREQ(text, "-2147483648");
    formatIntText(INT32_MAX, text);
    EXPECT_STREQ(text, "2147483647");
}

TEST(ReadText, IntegersLikeTheCConversion)
{
    EXPECT_EQ(readIntText("42"), 42);
    EXPECT_EQ(readIntText("  \t-12x"), -12);
    EXPECT_EQ(readIntText("+7"), 7);
    EXPECT_EQ(readIntText("0012"), 12);
    EXPECT_EQ(readIntText(""), 0);
    EXPECT_EQ(readIntText("abc"), 0);
    EXPECT_EQ(readIntText("- 5"), 0);
    EXPECT_EQ(readIntText("1.9"), 1);
    EXPECT_EQ(readIntText("2147483647"), INT32_MAX);
    EXPECT_EQ(readIntText("2147483648"), INT32_MAX);
    EXPECT_EQ(readIntText("-2147483649"), INT32_MIN);
    EXPECT_EQ(readIntText("99999999999999999999999"), INT32_MAX);
}

TEST(ReadText, FloatsRoundedToSinglePrecision)
{
    EXPECT_EQ(readFloatText("1."), 1.0f);
    EXPECT_EQ(readFloatText("0.15"), 0.15f);
    EXPECT_EQ(readFloatText(" 2.75e0 "), 2.75f);
    EXPECT_EQ(readFloatText("x"), 0.0f);
    EXPECT_EQ(readFloatText(""), 0.0f);
    EXPECT_EQ(readFloatText("3.4028235e38"), FLT_MAX);
    EXPECT_EQ(readFloatText("1e39"), INFINITY);
    EXPECT_EQ(readFloatText("-1e300"), -INFINITY);
    EXPECT_EQ(readFloatText("1e-50"), 0.0f);
}

std::string decimalText(double v, int decimals = 4)
{
    char text[DIALOG_TEXT_SIZE];
    formatDecimalText(v, decimals, text);
    return text;
}

// Our own decimal reader against the C library's (the tests run in the C
// locale), on random texts of up to 15 significant digits; and what the
// writer makes of a value reads back as the value rounded to its decimals.
TEST(DecimalText, ReadsLikeTheCConversionAndRoundTrips)
{
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; i++) {
        const int intDigits = (int)(rng() % 8), fracDigits = (int)(rng() % (16 - intDigits));
        std::string s = rng() % 4 == 0 ? " -" : "";
        for (int d = 0; d < intDigits; d++)
            s += (char)('0' + rng() % 10);
        if (fracDigits > 0 || rng() % 2)
            s += '.';
        for (int d = 0; d < fracDigits; d++)
            s += (char)('0' + rng() % 10);
        s += ", 7";
        const char *end = nullptr;
        char *cEnd = nullptr;
        const double v = readDecimalText(s.c_str(), &end);
        const double c = strtod(s.c_str(), &cEnd);
        if (cEnd == s.c_str()) {  // no digits
            EXPECT_EQ(end, s.c_str()) << s;
            EXPECT_EQ(v, 0.0) << s;
            continue;
        }
        ASSERT_EQ(v, c) << s;
        ASSERT_EQ(end, (const char *)cEnd) << s;

        const int decimals = (int)(rng() % 7);
        const double scale = pow(10.0, decimals);
        const double rounded = floor(fabs(c) * scale + 0.5) / scale;
        EXPECT_EQ(fabs(readDecimalText(decimalText(c, decimals).c_str(), nullptr)), rounded) << s;
    }
    EXPECT_EQ(decimalText(37.25), "37.25");
    EXPECT_EQ(decimalText(2.0), "2");
    EXPECT_EQ(decimalText(-0.5), "-0.5");
    EXPECT_EQ(decimalText(-0.00001), "0");
    EXPECT_EQ(decimalText(1e15), "1000000000000000");
}

TEST(DecimalText, ListsReadEveryNumberAndWriteWhatFits)
{
    double v[8];
    ASSERT_EQ(readNumberListText(" 37.25,80.5 ;x 120 , -2,, .5", v, 8), 5);
    EXPECT_EQ(v[0], 37.25);
    EXPECT_EQ(v[1], 80.5);
    EXPECT_EQ(v[2], 120.0);
    EXPECT_EQ(v[3], -2.0);
    EXPECT_EQ(v[4], 0.5);
    EXPECT_EQ(readNumberListText("1 2 3 4", v, 2), 2);
    char text[DIALOG_TEXT_SIZE];
    formatNumberListText(v, 2, 4, text);
    EXPECT_STREQ(text, "1, 2");
    // Eight items of 15 characters need 134 bytes: the eighth is left out.
    double wide[8];
    std::string seven;
    for (int i = 0; i < 8; i++) {
        wide[i] = (i + 1) * 1e11 + 0.25;
        if (i < 7)
            seven += (i ? ", " : "") + std::to_string(i + 1) + "00000000000.25";
    }
    formatNumberListText(wide, 8, 4, text);
    EXPECT_EQ(text, seven);
}

}  // namespace
