#include <gtest/gtest.h>

#include "commands/validate.h"

namespace {

TEST(ValidateTest, CountIsDigitsOnlyFromTenTo99000)
{
    EXPECT_EQ(readIterCount("10"), 10);
    EXPECT_EQ(readIterCount("99000"), 99000);
    EXPECT_EQ(readIterCount(" 2000 "), 2000);
    EXPECT_EQ(readIterCount("000050"), 50);
    for (const char* bad : {"9", "99001", "", "   ", "-50", "+50", "10,000", "1e3", "12abc", "abc", "5 0",
                            "4294967306", "99999999999999999999"})
        EXPECT_EQ(readIterCount(bad), 0) << "'" << bad << "' was accepted";
}

TEST(ValidateTest, RealPartIsScannedAndRoundedToHundredths)
{
    EXPECT_EQ(readRealPart("2abc"), 2.0);
    EXPECT_EQ(readRealPart("  -2"), -2.0);
    EXPECT_EQ(readRealPart("2.345"), 2.35);
    EXPECT_EQ(readRealPart("1.005"), 1.0);  // single precision lies just below 1.005
    EXPECT_EQ(readRealPart("-1.23"), -1.23);
    // Stored as m * 0.01, exactly as the dialog stores it.
    EXPECT_EQ(readRealPart("99.99"), 9999 * 0.01);
    EXPECT_EQ(readRealPart("-99.99"), -9999 * 0.01);
    EXPECT_EQ(readRealPart("12.3456789"), 12.35);  // read as its first nine characters
    EXPECT_EQ(readRealPart("0000000099"), 9.0);
    EXPECT_EQ(readRealPart("0.004"), 0.0);
    EXPECT_EQ(readRealPart("-0.005"), 0.0);  // lies just above -0.005 in single precision
    EXPECT_EQ(readRealPart("-0.125"), -13 * 0.01);  // a half, exact in single precision, rounds away from zero
    for (const char* bad : {"", "abc", "99.991", "-100", "-99.995", "-99.999", "99.995", "nan", "inf", "1e30", " "})
        EXPECT_FALSE(readRealPart(bad)) << "'" << bad << "' was accepted";
}

TEST(ValidateTest, ComplexPartRejectsWhatIsNoNumber)
{
    EXPECT_EQ(readComplexPart("   "), 0.0);
    EXPECT_EQ(readComplexPart("-0.0"), 0.0);
    EXPECT_EQ(readComplexPart("0"), 0.0);
    EXPECT_EQ(readComplexPart("1.5"), 1.5);
    EXPECT_EQ(readComplexPart("-99.99"), -9999 * 0.01);
    EXPECT_EQ(readComplexPart("3x"), 3.0);  // converts to a number that is not zero
    EXPECT_EQ(readComplexPart("0000000099"), 9.0);
    for (const char* bad : {"", "abc", "0x", "99.991", "-100", "-99.995", "-99.999", "99.995", "1e300", "0e5"})
        EXPECT_FALSE(readComplexPart(bad)) << "'" << bad << "' was accepted";
}

TEST(ValidateTest, ExponentsShowWithTwoDecimals)
{
    EXPECT_EQ(formatExponent(2.0), "2.00");
    EXPECT_EQ(formatExponent(-99.99), "-99.99");
    EXPECT_EQ(formatExponent(0.0), "0.00");
}

} // namespace
