// The channel value rules between files and worlds, at their edges and over whole ranges.
#include "io/PixelConversion.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace corvelle {
namespace {

using testing_support::CaseName;

/// A channel rule, an input and the value the rule must give for it.
template <class In>
struct RuleCase {
    const char* name;
    uint16_t (*rule)(In);
    In in;
    uint16_t expected;
};

using IntegerCase = RuleCase<uint16_t>;
using FloatCase = RuleCase<float>;

uint16_t Deep2ByteWide(uint16_t a) {
    return Deep2Byte(a);
}
uint16_t Short2ByteWide(uint16_t p) {
    return Short2Byte(p);
}
uint16_t Byte2DeepWide(uint16_t b) {
    return Byte2Deep(static_cast<uint8_t>(b));
}

class IntegerRuleTest : public testing::TestWithParam<IntegerCase> {};

// Expected values are the exact quotients worked out by hand, rounded to nearest (ties up).
TEST_P(IntegerRuleTest, RoundsToNearest) {
    const IntegerCase& c = GetParam();
    EXPECT_EQ(c.rule(c.in), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Conversion, IntegerRuleTest,
                         testing::Values(
                             // p · 32768 / 65535
                             IntegerCase{"Short2Deep_0", Short2Deep, 0, 0},
                             IntegerCase{"Short2Deep_1", Short2Deep, 1, 1},               // 0.50001
                             IntegerCase{"Short2Deep_2", Short2Deep, 2, 1},               // 1.00002
                             IntegerCase{"Short2Deep_32767", Short2Deep, 32767, 16384},   // 16383.75
                             IntegerCase{"Short2Deep_32768", Short2Deep, 32768, 16384},   // 16384.25
                             IntegerCase{"Short2Deep_65534", Short2Deep, 65534, 32767},   // 32767.49999
                             IntegerCase{"Short2Deep_65535", Short2Deep, 65535, 32768},
                             // a · 65535 / 32768
                             IntegerCase{"Deep2Short_0", Deep2Short, 0, 0},
                             IntegerCase{"Deep2Short_1", Deep2Short, 1, 2},   // 1.99997
                             IntegerCase{"Deep2Short_16384", Deep2Short, 16384,
                                         32768},   // 32767.5, a tie: up
                             IntegerCase{"Deep2Short_32767", Deep2Short, 32767, 65533},   // 65533.00003
                             IntegerCase{"Deep2Short_32768", Deep2Short, 32768, 65535},
                             IntegerCase{"Deep2Short_above_range", Deep2Short, 40000, 65535},
                             // b · 32768 / 255
                             IntegerCase{"Byte2Deep_0", Byte2DeepWide, 0, 0},
                             IntegerCase{"Byte2Deep_1", Byte2DeepWide, 1, 129},         // 128.502
                             IntegerCase{"Byte2Deep_127", Byte2DeepWide, 127, 16320},   // 16319.75
                             IntegerCase{"Byte2Deep_128", Byte2DeepWide, 128, 16448},   // 16448.25
                             IntegerCase{"Byte2Deep_254", Byte2DeepWide, 254, 32639},   // 32639.498
                             IntegerCase{"Byte2Deep_255", Byte2DeepWide, 255, 32768},
                             // a · 255 / 32768
                             IntegerCase{"Deep2Byte_0", Deep2ByteWide, 0, 0},
                             IntegerCase{"Deep2Byte_64", Deep2ByteWide, 64, 0},           // 0.498
                             IntegerCase{"Deep2Byte_65", Deep2ByteWide, 65, 1},           // 0.506
                             IntegerCase{"Deep2Byte_16384", Deep2ByteWide, 16384, 128},   // 127.5, a tie: up
                             IntegerCase{"Deep2Byte_32768", Deep2ByteWide, 32768, 255},
                             IntegerCase{"Deep2Byte_above_range", Deep2ByteWide, 65535, 255},
                             // p · 255 / 65535 = p / 257
                             IntegerCase{"Short2Byte_0", Short2ByteWide, 0, 0},
                             IntegerCase{"Short2Byte_128", Short2ByteWide, 128, 0},         // 0.498
                             IntegerCase{"Short2Byte_129", Short2ByteWide, 129, 1},         // 0.502
                             IntegerCase{"Short2Byte_32767", Short2ByteWide, 32767, 127},   // 127.498
                             IntegerCase{"Short2Byte_32768", Short2ByteWide, 32768, 128},   // 127.502
                             IntegerCase{"Short2Byte_65535", Short2ByteWide, 65535, 255}),
                         CaseName());

uint16_t Float2ByteWide(float v) {
    return Float2Byte(v);
}

class FloatRuleTest : public testing::TestWithParam<FloatCase> {};

TEST_P(FloatRuleTest, ClampsThenRounds) {
    const FloatCase& c = GetParam();
    EXPECT_EQ(c.rule(c.in), c.expected);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Conversion, FloatRuleTest,
    testing::Values(FloatCase{"Float2Byte_0", Float2ByteWide, 0.0f, 0},
                    FloatCase{"Float2Byte_1", Float2ByteWide, 1.0f, 255},
                    FloatCase{"Float2Byte_half", Float2ByteWide, 0.5f, 128},   // 127.5: up
                    FloatCase{"Float2Byte_below_half", Float2ByteWide, 0.498f, 127},
                    FloatCase{"Float2Byte_0_999", Float2ByteWide, 0.999f, 255},   // 254.745
                    FloatCase{"Float2Byte_negative", Float2ByteWide, -0.2f, 0},
                    FloatCase{"Float2Byte_above_one", Float2ByteWide, 1.7f, 255},
                    FloatCase{"Float2Byte_nan", Float2ByteWide, kNaN, 0},
                    FloatCase{"Float2Byte_inf", Float2ByteWide, kInf, 255},
                    FloatCase{"Float2Byte_minus_inf", Float2ByteWide, -kInf, 0},
                    FloatCase{"Float2Short_1", Float2Short, 1.0f, 65535},
                    FloatCase{"Float2Short_half", Float2Short, 0.5f, 32768},   // 32767.5: up
                    FloatCase{"Float2Short_nan", Float2Short, kNaN, 0},
                    FloatCase{"Float2Short_above_one", Float2Short, 3.0f, 65535},
                    FloatCase{"Float2Deep_1", Float2Deep, 1.0f, 32768},
                    FloatCase{"Float2Deep_half", Float2Deep, 0.5f, 16384},
                    FloatCase{"Float2Deep_half_step", Float2Deep, 1.5f / 32768.0f, 2},
                    FloatCase{"Float2Deep_nan", Float2Deep, kNaN, 0},
                    FloatCase{"Float2Deep_negative", Float2Deep, -1.0f, 0}),
    CaseName());

// The integer rules against an independent definition: the nearest integer of the exact
// quotient, computed in double (no quotient here is a tie, so rounding mode cannot matter).
TEST(PixelConversion, IntegerRulesAreNearestOverTheirWholeRange) {
    for (uint32_t p = 0; p <= 65535; ++p) {
        ASSERT_EQ(Short2Deep(static_cast<uint16_t>(p)), std::lround(p * 32768.0 / 65535.0)) << p;
        ASSERT_EQ(Short2Byte(static_cast<uint16_t>(p)), std::lround(p * 255.0 / 65535.0)) << p;
    }
    for (uint32_t b = 0; b <= 255; ++b) {
        ASSERT_EQ(Byte2Deep(static_cast<uint8_t>(b)), std::lround(b * 32768.0 / 255.0)) << b;
    }
}

TEST(PixelConversion, EightBitRoundTripsThroughEveryWorld) {
    for (uint32_t b = 0; b <= 255; ++b) {
        const auto byte = static_cast<uint8_t>(b);
        ASSERT_EQ(Deep2Byte(Byte2Deep(byte)), byte) << "8 -> 16-bit world -> 8";
        ASSERT_EQ(Float2Byte(Byte2Float(byte)), byte) << "8 -> float world -> 8";
    }
    EXPECT_EQ(Byte2Float(0), 0.0f);
    EXPECT_EQ(Byte2Float(255), 1.0f);
}

TEST(PixelConversion, SixteenBitWorldRoundTripsThroughItsFiles) {
    for (uint32_t a = 0; a <= kDeepFull; ++a) {
        const auto deep = static_cast<uint16_t>(a);
        ASSERT_EQ(Short2Deep(Deep2Short(deep)), deep) << "16-bit file";
        ASSERT_EQ(Float2Deep(Deep2Float(deep)), deep) << "float file";
        // A 16-bit file this host wrote comes back from a render at opacity 0 unchanged.
        const uint16_t written = Deep2Short(deep);
        ASSERT_EQ(Deep2Short(Short2Deep(written)), written);
    }
    EXPECT_EQ(Deep2Float(16384), 0.5f);
    EXPECT_EQ(Deep2Float(kDeepFull), 1.0f);
}

// The 16-bit world has 32769 levels, so an arbitrary 16-bit file loses at most its lowest step.
TEST(PixelConversion, AnySixteenBitFileValueComesBackWithinOneStep) {
    for (uint32_t p = 0; p <= 65535; ++p) {
        const int back = Deep2Short(Short2Deep(static_cast<uint16_t>(p)));
        ASSERT_LE(std::abs(back - static_cast<int>(p)), 1) << p;
    }
}

TEST(PixelConversion, SixteenBitFileRoundTripsThroughTheFloatWorld) {
    for (uint32_t p = 0; p <= 65535; ++p) {
        const auto v = static_cast<uint16_t>(p);
        ASSERT_EQ(Float2Short(Short2Float(v)), v) << p;
    }
    EXPECT_EQ(Short2Float(65535), 1.0f);
}

TEST(PixelConversion, ChannelOrderFollowsTheLayout) {
    const ChannelOrder argb = ChannelsOf(PixelLayout::Argb16);
    EXPECT_EQ(argb.alpha, 0);
    EXPECT_EQ(argb.blue, 3);
    const ChannelOrder bgra = ChannelsOf(PixelLayout::BgraFloat);
    EXPECT_EQ(bgra.blue, 0);
    EXPECT_EQ(bgra.alpha, 3);
}

}   // namespace
}   // namespace corvelle
