// The one number grammar: what each reader takes, and what none of them takes.
#include <corvelle/text.h>

#include "CaseName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace corvelle {
namespace {

using testing_support::CaseName;

struct RefusedCase {
    const char* name;
    const char* text;
};

class NoReaderTakesTest : public testing::TestWithParam<RefusedCase> {};

// Every reader refuses these, so no two options disagree on them.
TEST_P(NoReaderTakesTest, AnyOfThem) {
    const std::string text = GetParam().text;
    uint64_t whole = 7;
    int64_t integer = 7;
    double decimal = 7.0;
    int32_t fixed = 7;
    EXPECT_FALSE(ParseUnsigned(text, 0, UINT64_MAX, whole));
    EXPECT_FALSE(ParseInteger(text, INT64_MIN, INT64_MAX, integer));
    EXPECT_FALSE(ParseDecimal(text, decimal));
    EXPECT_FALSE(ParseFixed16(text, fixed));
    EXPECT_FALSE(ParseDecimalOrRatio(text, decimal));
    EXPECT_EQ(whole, 7u);
    EXPECT_EQ(decimal, 7.0);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, NoReaderTakesTest,
    testing::Values(RefusedCase{"empty", ""}, RefusedCase{"leading_blank", " 1"},
                    RefusedCase{"trailing_blank", "1 "}, RefusedCase{"trailing_newline", "1\n"},
                    RefusedCase{"leading_tab", "\t1"}, RefusedCase{"hex", "0x10"}, RefusedCase{"inf", "inf"},
                    RefusedCase{"nan", "nan"}, RefusedCase{"sign_only", "-"}, RefusedCase{"point_only", "."},
                    RefusedCase{"two_signs", "+-1"}, RefusedCase{"comma", "1,5"}, RefusedCase{"word", "one"}),
    CaseName());

TEST(NumberTextTest, EachReaderTakesItsOwnForms) {
    uint64_t whole = 0;
    EXPECT_TRUE(ParseUnsigned("32767", 1, 32767, whole));
    EXPECT_FALSE(ParseUnsigned("32768", 1, 32767, whole));
    EXPECT_FALSE(ParseUnsigned("+5", 0, 10, whole));
    int64_t integer = 0;
    EXPECT_TRUE(ParseInteger("-2147483648", INT32_MIN, INT32_MAX, integer));
    EXPECT_EQ(integer, INT32_MIN);
    EXPECT_FALSE(ParseInteger("2147483648", INT32_MIN, INT32_MAX, integer));
    double decimal = 0.0;
    EXPECT_TRUE(ParseDecimal("+1.5e3", decimal));
    EXPECT_EQ(decimal, 1500.0);
    EXPECT_TRUE(ParseDecimal(".5", decimal));
    EXPECT_FALSE(ParseDecimal("1e", decimal));
    EXPECT_FALSE(ParseDecimal("1e999", decimal));
    EXPECT_TRUE(ParseDecimalOrRatio("1/64", decimal));
    EXPECT_EQ(decimal, 1.0 / 64.0);
    EXPECT_FALSE(ParseDecimalOrRatio("1/0", decimal));
    EXPECT_FALSE(ParseDecimalOrRatio("1/2/3", decimal));
}

struct SizeCase {
    const char* name;
    const char* text;
    bool taken;
    uint64_t width, height;
};

class ParseSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(ParseSizeTest, TakesTwoSidesWithinTheLimitAroundOneX) {
    uint64_t width = 7;
    uint64_t height = 7;
    EXPECT_EQ(ParseSize(GetParam().text, 32767, width, height), GetParam().taken);
    EXPECT_EQ(width, GetParam().taken ? GetParam().width : 7u);
    EXPECT_EQ(height, GetParam().taken ? GetParam().height : 7u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ParseSizeTest,
    testing::Values(SizeCase{"plain", "64x48", true, 64, 48}, SizeCase{"largest", "32767x1", true, 32767, 1},
                    SizeCase{"side_too_large", "32768x1", false, 0, 0},
                    SizeCase{"zero_side", "0x10", false, 0, 0}, SizeCase{"no_x", "6448", false, 0, 0},
                    SizeCase{"two_x", "4x4x4", false, 0, 0}, SizeCase{"capital_x", "4X4", false, 0, 0},
                    SizeCase{"signed", "+4x4", false, 0, 0}, SizeCase{"blank", "4 x4", false, 0, 0},
                    SizeCase{"empty_side", "x4", false, 0, 0}),
    CaseName());

}   // namespace
}   // namespace corvelle
