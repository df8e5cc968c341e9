// Blend operations and the HSB model on single values: known results, guards, and the
// precision of every step pinned by inputs where another precision changes the last bit.
#include "BlendingModes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

float Byte(int b) {
    return (float)b / 255.0f;
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// ---- Known results, worked out by hand ------------------------------------------------

struct KnownCase {
    const char* name;
    A_long code;
    float A, B, o;
    float expected;
};

class BlendKnown : public testing::TestWithParam<KnownCase> {};

TEST_P(BlendKnown, GivesHandWorkedValue) {
    const KnownCase& c = GetParam();
    EXPECT_EQ(BlendSimple_f(c.A, c.B, c.o, c.code), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BlendKnown,
    testing::Values(KnownCase{"Normal_half", BLEND_NORMAL, 0.25f, 0.75f, 0.5f, 0.5f},
                    KnownCase{"Multiply", BLEND_MULTIPLY, 0.5f, 0.5f, 1.0f, 0.25f},
                    KnownCase{"Screen", BLEND_SCREEN, 0.5f, 0.5f, 1.0f, 0.75f},
                    KnownCase{"Overlay_upper", BLEND_OVERLAY, 0.25f, 0.75f, 1.0f, 0.625f},
                    KnownCase{"Overlay_lower", BLEND_OVERLAY, 0.5f, 0.25f, 1.0f, 0.25f},
                    // At B = 0.5 both take the lower branch: 2AB = A.
                    KnownCase{"Overlay_at_half", BLEND_OVERLAY, 0.25f, 0.5f, 1.0f, 0.25f},
                    KnownCase{"HardLight_upper", BLEND_HARD_LIGHT, 0.25f, 0.75f, 1.0f, 0.625f},
                    KnownCase{"HardLight_lower", BLEND_HARD_LIGHT, 0.5f, 0.25f, 1.0f, 0.25f},
                    KnownCase{"SoftLight_lower", BLEND_SOFT_LIGHT, 0.5f, 0.25f, 1.0f, 0.375f},
                    KnownCase{"SoftLight_upper", BLEND_SOFT_LIGHT, 0.5f, 0.75f, 1.0f, 0.625f},
                    KnownCase{"SoftLight_at_half", BLEND_SOFT_LIGHT, 0.5f, 0.5f, 1.0f, 0.5f},
                    KnownCase{"Darken_takes_fill", BLEND_DARKEN, 0.75f, 0.25f, 0.5f, 0.5f},
                    KnownCase{"Darken_keeps_layer", BLEND_DARKEN, 0.25f, 0.75f, 0.5f, 0.25f},
                    KnownCase{"DarkerColor_as_darken", BLEND_DARKER_COLOR, 0.75f, 0.25f, 0.5f, 0.5f},
                    KnownCase{"Lighten_keeps_layer", BLEND_LIGHTEN, 0.75f, 0.25f, 0.5f, 0.75f},
                    KnownCase{"Lighten_takes_fill", BLEND_LIGHTEN, 0.25f, 0.75f, 0.5f, 0.5f},
                    KnownCase{"LighterColor_as_lighten", BLEND_LIGHTER_COLOR, 0.25f, 0.75f, 0.5f, 0.5f},
                    KnownCase{"ColorDodge_fill1", BLEND_COLOR_DODGE, 0.5f, 1.0f, 1.0f, 1.0f},
                    KnownCase{"ColorDodge_fill1_half", BLEND_COLOR_DODGE, 0.5f, 1.0f, 0.5f, 0.75f},
                    KnownCase{"ColorDodge_half", BLEND_COLOR_DODGE, 0.5f, 0.5f, 1.0f, 1.0f},
                    KnownCase{"ColorBurn_fill0", BLEND_COLOR_BURN, 0.5f, 0.0f, 1.0f, 0.0f},
                    KnownCase{"ColorBurn_fill0_half", BLEND_COLOR_BURN, 0.5f, 0.0f, 0.5f, 0.25f},
                    KnownCase{"ColorBurn_half", BLEND_COLOR_BURN, 0.5f, 0.5f, 1.0f, 0.0f},
                    KnownCase{"Divide_fill0", BLEND_DIVIDE, 0.5f, 0.0f, 1.0f, 0.0f},
                    KnownCase{"Divide", BLEND_DIVIDE, 0.25f, 0.5f, 1.0f, 0.5f},
                    KnownCase{"VividLight_lower", BLEND_VIVID_LIGHT, 0.5f, 0.25f, 1.0f, 1.0f},
                    KnownCase{"VividLight_upper", BLEND_VIVID_LIGHT, 0.5f, 0.75f, 1.0f, 0.0f},
                    // No division at the pole: the dodge guard's answer, K + o.
                    KnownCase{"VividLight_at_half", BLEND_VIVID_LIGHT, 0.25f, 0.5f, 0.5f, 0.625f},
                    KnownCase{"PinLight_upper", BLEND_PIN_LIGHT, 0.5f, 0.875f, 1.0f, 0.75f},
                    KnownCase{"PinLight_lower", BLEND_PIN_LIGHT, 0.5f, 0.125f, 1.0f, 0.25f},
                    KnownCase{"LinearLight_upper", BLEND_LINEAR_LIGHT, 0.5f, 0.75f, 1.0f, 1.0f},
                    KnownCase{"LinearLight_lower", BLEND_LINEAR_LIGHT, 0.5f, 0.25f, 1.0f, 0.0f},
                    KnownCase{"LinearBurn_negative", BLEND_LINEAR_BURN, 0.25f, 0.5f, 1.0f, -0.25f},
                    KnownCase{"Difference", BLEND_DIFFERENCE, 0.25f, 0.75f, 1.0f, 0.5f},
                    KnownCase{"Difference_reversed", BLEND_DIFFERENCE, 0.75f, 0.25f, 1.0f, 0.5f},
                    KnownCase{"Subtract_negative", BLEND_SUBTRACT, 0.25f, 0.75f, 1.0f, -0.5f},
                    KnownCase{"Add_unclamped", BLEND_ADD, 0.75f, 0.75f, 1.0f, 1.5f},
                    KnownCase{"LinearDodge_as_add", BLEND_LINEAR_DODGE, 0.75f, 0.75f, 1.0f, 1.5f},
                    // NaN fails every strict test, so Overlay takes its lower branch and Lighten keeps A.
                    KnownCase{"Lighten_nan_fill_keeps_layer", BLEND_LIGHTEN, 0.25f, kNaN, 1.0f, 0.25f}),
    CaseName<KnownCase>);

// ---- Strength 0 and codes that do nothing -------------------------------------------

struct CodeCase {
    const char* name;
    A_long code;
};

class BlendZeroStrength : public testing::TestWithParam<CodeCase> {};

// Nothing of the fill may leak in at o = 0, whichever branch the values pick.
TEST_P(BlendZeroStrength, ReturnsLayerExactly) {
    const A_long code = GetParam().code;
    for (const float A : {0.0f, 0.3f, 0.75f, 1.0f}) {
        for (const float B : {0.0f, 0.2f, 0.5f, 0.6f, 1.0f}) {
            EXPECT_EQ(BlendSimple_f(A, B, 0.0f, code), A) << "A=" << A << " B=" << B;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BlendZeroStrength,
    testing::Values(CodeCase{"Normal", BLEND_NORMAL}, CodeCase{"Add", BLEND_ADD},
                    CodeCase{"Multiply", BLEND_MULTIPLY}, CodeCase{"Screen", BLEND_SCREEN},
                    CodeCase{"Overlay", BLEND_OVERLAY}, CodeCase{"SoftLight", BLEND_SOFT_LIGHT},
                    CodeCase{"HardLight", BLEND_HARD_LIGHT}, CodeCase{"Darken", BLEND_DARKEN},
                    CodeCase{"Lighten", BLEND_LIGHTEN}, CodeCase{"ColorBurn", BLEND_COLOR_BURN},
                    CodeCase{"Difference", BLEND_DIFFERENCE}, CodeCase{"LinearBurn", BLEND_LINEAR_BURN},
                    CodeCase{"LinearLight", BLEND_LINEAR_LIGHT}, CodeCase{"VividLight", BLEND_VIVID_LIGHT},
                    CodeCase{"PinLight", BLEND_PIN_LIGHT}, CodeCase{"Subtract", BLEND_SUBTRACT},
                    CodeCase{"Divide", BLEND_DIVIDE}),
    CaseName<CodeCase>);

class BlendUnknownCode : public testing::TestWithParam<CodeCase> {};

TEST_P(BlendUnknownCode, ReturnsLayerUnchanged) {
    EXPECT_EQ(BlendSimple_f(0.3f, 0.9f, 1.0f, GetParam().code), 0.3f);
}

// The HSB modes are composed by the kernel; here they are not operations of their own.
INSTANTIATE_TEST_SUITE_P(Codes, BlendUnknownCode,
                         testing::Values(CodeCase{"None", BLEND_NONE}, CodeCase{"c1", 1}, CodeCase{"c3", 3},
                                         CodeCase{"c12", 12}, CodeCase{"Hue", BLEND_HUE},
                                         CodeCase{"Luminosity", BLEND_LUMINOSITY}, CodeCase{"c23", 23},
                                         CodeCase{"c25", 25}, CodeCase{"c28", 28}, CodeCase{"c34", 34},
                                         CodeCase{"c39", 39}, CodeCase{"c40", 40}, CodeCase{"negative", -1}),
                         CaseName<CodeCase>);

// ---- Precision of each step ---------------------------------------------------------
// Each input was found by search so that evaluating the operation in the other precision
// (or another grouping) moves the last bit; the alternative is checked to differ, so a
// case that stops telling the two apart fails instead of passing silently.

using BlendFunc = float (*)(float A, float B, float o);

struct PrecisionCase {
    const char* name;
    A_long code;
    int a_byte, b_byte;
    float o;
    float expected;
    BlendFunc alternative;
};

class BlendPrecision : public testing::TestWithParam<PrecisionCase> {};

TEST_P(BlendPrecision, PrescribedPrecisionAndNotTheOther) {
    const PrecisionCase& c = GetParam();
    const float A = Byte(c.a_byte);
    const float B = Byte(c.b_byte);
    EXPECT_EQ(BlendSimple_f(A, B, c.o, c.code), c.expected);
    EXPECT_NE(c.alternative(A, B, c.o), c.expected);
}

float KFloat(float A, float o) {
    return (1.0f - o) * A;
}
double D(float x) {
    return (double)x;
}
// K stays in float, as prescribed for every operation; only the remaining steps widen.
double KWidened(float A, float o) {
    return D(KFloat(A, o));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BlendPrecision,
    testing::Values(
        PrecisionCase{
            "Normal_not_double", BLEND_NORMAL, 1, 2, 0.25f, 0x1.414144p-8f,
            [](float A, float B, float o) { return (float)(((1.0 - D(o)) * D(A)) + (D(B) * D(o))); }},
        PrecisionCase{
            "Add_not_double", BLEND_ADD, 1, 2, 0.75f, 0x1.414144p-7f,
            [](float A, float B, float o) { return (float)(((D(B) + D(A)) * D(o)) + KWidened(A, o)); }},
        PrecisionCase{"Multiply_oA_first", BLEND_MULTIPLY, 1, 18, 0.75f, 0x1.376da6p-10f,
                      [](float A, float B, float o) { return KFloat(A, o) + o * (A * B); }},
        PrecisionCase{"Screen_not_double", BLEND_SCREEN, 1, 1, 0.5f, 0x1.81008p-8f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + (((D(B) + D(A)) - (D(A) * D(B))) * D(o)));
                      }},
        PrecisionCase{"Overlay_upper_in_double", BLEND_OVERLAY, 1, 128, 0.25f, 0x1.410102p-8f,
                      [](float A, float B, float o) {
                          const float h = B - 0.5f;
                          return KFloat(A, o) + o * ((2.0f * h + A) + (-2.0f * A) * h);
                      }},
        PrecisionCase{"Overlay_lower_in_float", BLEND_OVERLAY, 1, 19, 0.75f, 0x1.73e65cp-10f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + (2.0 * ((D(o) * D(A)) * D(B))));
                      }},
        PrecisionCase{"SoftLight_upper_in_double", BLEND_SOFT_LIGHT, 1, 128, 0.75f, 0x1.6100fep-8f,
                      [](float A, float B, float o) {
                          return KFloat(A, o) + o * (1.0f - (1.0f - A) * (1.0f - (B - 0.5f)));
                      }},
        PrecisionCase{"SoftLight_lower_in_double", BLEND_SOFT_LIGHT, 1, 2, 0.5f, 0x1.83858ap-9f,
                      [](float A, float B, float o) { return KFloat(A, o) + (B + 0.5f) * (o * A); }},
        PrecisionCase{"HardLight_upper_in_double", BLEND_HARD_LIGHT, 1, 128, 0.25f, 0x1.4101p-8f,
                      [](float A, float B, float o) {
                          return KFloat(A, o) + o * (1.0f - (1.0f - A) * (((B - 0.5f) * -2.0f) + 1.0f));
                      }},
        PrecisionCase{"HardLight_lower_in_float", BLEND_HARD_LIGHT, 1, 19, 0.75f, 0x1.73e65cp-10f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + ((2.0 * (D(o) * D(A))) * D(B)));
                      }},
        PrecisionCase{"ColorBurn_not_double", BLEND_COLOR_BURN, 1, 2, 0.75f, -0x1.79fefcp+6f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + ((1.0 - ((1.0 - D(A)) / D(B))) * D(o)));
                      }},
        PrecisionCase{
            "Difference_not_double", BLEND_DIFFERENCE, 1, 3, 0.5f, 0x1.81818p-8f,
            [](float A, float B, float o) { return (float)(KWidened(A, o) + ((D(B) - D(A)) * D(o))); }},
        PrecisionCase{"ColorDodge_not_double", BLEND_COLOR_DODGE, 1, 2, 0.25f, 0x1.018308p-8f,
                      [](float A, float B, float o) {
                          return (float)(((D(A) / (1.0 - D(B))) * D(o)) + KWidened(A, o));
                      }},
        PrecisionCase{"LinearBurn_not_double", BLEND_LINEAR_BURN, 1, 2, 0.75f, -0x1.7afafcp-1f,
                      [](float A, float B, float o) {
                          return (float)((((D(B) + D(A)) - 1.0) * D(o)) + KWidened(A, o));
                      }},
        PrecisionCase{"LinearLight_upper_in_double", BLEND_LINEAR_LIGHT, 1, 128, 0.5f, 0x1.818202p-8f,
                      [](float A, float B, float o) { return KFloat(A, o) + o * (2.0f * (B - 0.5f) + A); }},
        PrecisionCase{"LinearLight_lower_in_float", BLEND_LINEAR_LIGHT, 1, 1, 0.75f, -0x1.7afafcp-1f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + ((((D(B) + D(B)) + D(A)) - 1.0) * D(o)));
                      }},
        PrecisionCase{"VividLight_upper_in_double", BLEND_VIVID_LIGHT, 1, 130, 0.25f, -0x1.8e4dfep+3f,
                      [](float A, float B, float o) {
                          return KFloat(A, o) + o * (1.0f + (1.0f - A) / ((B - 0.5f) * -2.0f));
                      }},
        PrecisionCase{"VividLight_lower_in_float", BLEND_VIVID_LIGHT, 1, 1, 0.25f, 0x1.018308p-8f,
                      [](float A, float B, float o) {
                          return (float)(KWidened(A, o) + ((D(o) * D(A)) / ((D(B) * -2.0) + 1.0)));
                      }},
        PrecisionCase{
            "PinLight_in_double", BLEND_PIN_LIGHT, 1, 214, 0.75f, 0x1.050506p-1f,
            [](float A, float B, float o) { return KFloat(A, o) + o * std::fmax(A, 2.0f * (B - 0.5f)); }},
        PrecisionCase{
            "Subtract_not_double", BLEND_SUBTRACT, 1, 2, 0.75f, -0x1.010104p-9f,
            [](float A, float B, float o) { return (float)(((D(A) - D(B)) * D(o)) + KWidened(A, o)); }},
        PrecisionCase{
            "Divide_not_double", BLEND_DIVIDE, 1, 19, 0.75f, 0x1.4b6658p-5f,
            [](float A, float B, float o) { return (float)(((D(A) / D(B)) * D(o)) + KWidened(A, o)); }}),
    CaseName<PrecisionCase>);

// ---- RGB to HSB ---------------------------------------------------------------------

struct ToHSBCase {
    const char* name;
    float red, green, blue;
    PF_PixelFloat_HSB expected;
};

class RGB2HSBKnown : public testing::TestWithParam<ToHSBCase> {};

TEST_P(RGB2HSBKnown, GivesHueSaturationBrightness) {
    const ToHSBCase& c = GetParam();
    const PF_PixelFloat_HSB hsb = RGB2HSB(c.red, c.green, c.blue);
    EXPECT_EQ(hsb.hue, c.expected.hue);
    EXPECT_EQ(hsb.saturation, c.expected.saturation);
    EXPECT_EQ(hsb.brightness, c.expected.brightness);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, RGB2HSBKnown,
    testing::Values(ToHSBCase{"Red", 1.0f, 0.0f, 0.0f, {0.0f, 1.0f, 1.0f}},
                    ToHSBCase{"Green", 0.0f, 1.0f, 0.0f, {1.0f / 3.0f, 1.0f, 1.0f}},
                    ToHSBCase{"Blue", 0.0f, 0.0f, 1.0f, {2.0f / 3.0f, 1.0f, 1.0f}},
                    // Red wins the tie with blue, and blue > green wraps the hue round by 6.
                    ToHSBCase{"Magenta", 1.0f, 0.0f, 1.0f, {5.0f / 6.0f, 1.0f, 1.0f}},
                    // Red wins the tie with green: 1/6 from the red side.
                    ToHSBCase{"Yellow", 1.0f, 1.0f, 0.0f, {1.0f / 6.0f, 1.0f, 1.0f}},
                    // Green wins the tie with blue.
                    ToHSBCase{"Cyan", 0.0f, 1.0f, 1.0f, {0.5f, 1.0f, 1.0f}},
                    ToHSBCase{"Grey", 0.5f, 0.5f, 0.5f, {0.0f, 0.0f, 0.5f}},
                    ToHSBCase{"Black", 0.0f, 0.0f, 0.0f, {0.0f, 0.0f, 0.0f}},
                    ToHSBCase{"DarkRed", 0.5f, 0.25f, 0.25f, {0.0f, 0.5f, 0.5f}},
                    // A hue just below 1 whose sum rounds to exactly 6 in float.
                    ToHSBCase{"HueRoundsToOne", 1.0f, 0.0f, 1e-8f, {1.0f, 1.0f, 1.0f}},
                    // Divided by 6, not multiplied by 1/6 (that gives 0x1.aaaaacp-1).
                    ToHSBCase{"DividesBySix", Byte(1), 0.0f, Byte(1), {0x1.aaaaaap-1f, 1.0f, Byte(1)}},
                    // Steps in float: in double the hue would be 0x1.8e38e4p-2.
                    ToHSBCase{"HueInFloat", 0.0f, Byte(3), Byte(1), {0x1.8e38e2p-2f, 1.0f, Byte(3)}}),
    CaseName<ToHSBCase>);

// ---- HSB to RGB ---------------------------------------------------------------------

struct ToRGBCase {
    const char* name;
    PF_PixelFloat_HSB hsb;
    float red, green, blue;
};

class HSB2RGBKnown : public testing::TestWithParam<ToRGBCase> {};

TEST_P(HSB2RGBKnown, GivesRedGreenBlue) {
    const ToRGBCase& c = GetParam();
    const PF_PixelFloat rgb = HSB2RGB(&c.hsb);
    EXPECT_EQ(rgb.alpha, 0.0f);
    EXPECT_EQ(rgb.red, c.red);
    EXPECT_EQ(rgb.green, c.green);
    EXPECT_EQ(rgb.blue, c.blue);
}

// Hues chosen so h * 6 is exact: p = 0, q = 1 - f and t = f at full saturation and brightness.
INSTANTIATE_TEST_SUITE_P(
    Colours, HSB2RGBKnown,
    testing::Values(
        ToRGBCase{"Sector0", {0.125f, 1.0f, 1.0f}, 1.0f, 0.75f, 0.0f},
        ToRGBCase{"Sector1", {0.25f, 1.0f, 1.0f}, 0.5f, 1.0f, 0.0f},
        ToRGBCase{"Sector2", {0.375f, 1.0f, 1.0f}, 0.0f, 1.0f, 0.25f},
        ToRGBCase{"Sector3", {0.5f, 1.0f, 1.0f}, 0.0f, 1.0f, 1.0f},
        ToRGBCase{"Sector4", {0.75f, 1.0f, 1.0f}, 0.5f, 0.0f, 1.0f},
        ToRGBCase{"Sector5", {0.875f, 1.0f, 1.0f}, 1.0f, 0.0f, 0.75f},
        ToRGBCase{"DarkRed", {0.0f, 0.5f, 0.5f}, 0.5f, 0.25f, 0.25f},
        ToRGBCase{"NoSaturationIsGrey", {0.7f, 0.0f, 0.3f}, 0.3f, 0.3f, 0.3f},
        // Hue 1 is sector 6, the last row: (V, p, q) with f = 0, not hue 0's (V, t, p).
        ToRGBCase{"HueOneIsLastRow", {1.0f, 0.5f, 0.8f}, 0.8f, 0.4f, 0.8f},
        // floor(-0.75) = -1, whose low byte 255 is the last row, with f = -255.75.
        ToRGBCase{"NegativeHueLastRow", {-0.125f, 0.5f, 1.0f}, 1.0f, 0.5f, 128.875f},
        // t in float; in double it would be 0x1.70074p-2.
        ToRGBCase{"TInFloat", {1.0f / 256.0f, Byte(1), Byte(92)}, Byte(92), 0x1.70073ep-2f, 0x1.6ffe8ep-2f}),
    CaseName<ToRGBCase>);

TEST(HSB2RGB, NaNHueStillPicksADefinedSector) {
    const PF_PixelFloat_HSB hsb = {kNaN, 0.5f, 1.0f};
    const PF_PixelFloat rgb = HSB2RGB(&hsb);
    EXPECT_EQ(rgb.red, 1.0f);
    EXPECT_EQ(rgb.green, 0.5f);
    EXPECT_TRUE(std::isnan(rgb.blue));
}

TEST(HSB, EveryByteColourSurvivesTheRoundTripWithinOneUlp) {
    // Exact agreement is not promised: the hue's division and product round. The test names
    // this tolerance because the conversion pair is inexact by nature.
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const PF_PixelFloat_HSB hsb = RGB2HSB(Byte(r), Byte(g), Byte(b));
                const PF_PixelFloat rgb = HSB2RGB(&hsb);
                EXPECT_NEAR(rgb.red, Byte(r), 1e-6f);
                EXPECT_NEAR(rgb.green, Byte(g), 1e-6f);
                EXPECT_NEAR(rgb.blue, Byte(b), 1e-6f);
            }
        }
    }
}

// ---- Float to int32 -----------------------------------------------------------------

struct TruncCase {
    const char* name;
    float value;
    int32_t expected;
};

class Truncate : public testing::TestWithParam<TruncCase> {};

TEST_P(Truncate, MatchesCastInsideRangeAndSaturatesOutside) {
    EXPECT_EQ(TruncateToInt32(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Truncate,
    testing::Values(TruncCase{"PositiveFraction", 49.9f, 49}, TruncCase{"NegativeFraction", -49.9f, -49},
                    TruncCase{"BelowOne", 0.999f, 0}, TruncCase{"NegativeZero", -0.0f, 0},
                    TruncCase{"LargestBelowTop", 2147483520.0f, 2147483520},
                    TruncCase{"Bottom", -2147483648.0f, INT32_MIN},
                    TruncCase{"Top", 2147483648.0f, INT32_MAX}, TruncCase{"FarBelow", -3e9f, INT32_MIN},
                    TruncCase{"Infinity", kInf, INT32_MAX}, TruncCase{"MinusInfinity", -kInf, INT32_MIN},
                    TruncCase{"NaN", kNaN, INT32_MAX}),
    CaseName<TruncCase>);

}   // namespace
