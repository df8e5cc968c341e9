// Frame patterns and frame ranges of image sequences.
#include <corvelle/files.h>

#include "CaseName.h"
#include "core/HostError.h"

#include <gtest/gtest.h>

#include <string>

namespace corvelle {
namespace {

using testing_support::CaseName;

struct PatternCase {
    const char* name;
    const char* pattern;
    long frame;
    const char* expected;   // null when the pattern must be refused
};

class FramePatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(FramePatternTest, FormatsLikePrintfOrRefuses) {
    const PatternCase& c = GetParam();
    if (c.expected == nullptr) {
        EXPECT_THROW(CheckFramePattern(c.pattern), HostError);
        EXPECT_THROW(FrameName(c.pattern, c.frame), HostError);
    } else {
        EXPECT_NO_THROW(CheckFramePattern(c.pattern));
        EXPECT_EQ(FrameName(c.pattern, c.frame), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Sequence, FramePatternTest,
                         testing::Values(PatternCase{"plain", "in.%d.png", 7, "in.7.png"},
                                         PatternCase{"zero_padded", "in.%04d.png", 7, "in.0007.png"},
                                         PatternCase{"blank_padded", "in%3d.png", 7, "in  7.png"},
                                         PatternCase{"wider_than_pad", "%02d.tif", 1234, "1234.tif"},
                                         PatternCase{"in_folder", "shots/a%d/x.exr", 0, "shots/a0/x.exr"},
                                         PatternCase{"no_conversion", "in.png", 1, nullptr},
                                         PatternCase{"two_conversions", "%d_%d.png", 1, nullptr},
                                         PatternCase{"percent_literal", "100%%_%d.png", 1, nullptr},
                                         PatternCase{"string_conversion", "%s.png", 1, nullptr},
                                         PatternCase{"trailing_percent", "in%d.png%", 1, nullptr},
                                         PatternCase{"wide_width", "%010d.png", 1, nullptr},
                                         PatternCase{"long_modifier", "%ld.png", 1, nullptr},
                                         PatternCase{"negative_flag", "%-4d.png", 1, nullptr}),
                         CaseName());

struct RangeCase {
    const char* name;
    const char* text;
    bool ok;
    long first;
    long last;
};

class FrameRangeTest : public testing::TestWithParam<RangeCase> {};

TEST_P(FrameRangeTest, ParsesAToB) {
    const RangeCase& c = GetParam();
    FrameRange range{-1, -1};
    ASSERT_EQ(ParseFrameRange(c.text, range), c.ok);
    if (c.ok) {
        EXPECT_EQ(range.first, c.first);
        EXPECT_EQ(range.last, c.last);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequence, FrameRangeTest,
    testing::Values(RangeCase{"span", "1-24", true, 1, 24}, RangeCase{"one_frame_span", "5-5", true, 5, 5},
                    RangeCase{"single", "12", true, 12, 12}, RangeCase{"from_zero", "0-3", true, 0, 3},
                    RangeCase{"backwards", "9-3", false, 0, 0}, RangeCase{"negative", "-3-4", false, 0, 0},
                    RangeCase{"open_end", "3-", false, 0, 0}, RangeCase{"word", "all", false, 0, 0},
                    RangeCase{"empty", "", false, 0, 0}, RangeCase{"too_long", "1-9999999999", false, 0, 0}),
    CaseName());

}   // namespace
}   // namespace corvelle
