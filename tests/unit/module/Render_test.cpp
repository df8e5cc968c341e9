// The render command through the headless host: dispatch by host and pixel format, the
// zero-opacity copy, blend-mode mapping, conversions at the integer depths, and failures.
#include "CaseName.h"
#include "RenderTestRig.h"

#include "KT_Corvelle_Strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace corvelle::test {
namespace {

using testing_support::CaseName;

struct LayoutCase {
    const char* name;
    HostApp app;
    PixelLayout layout;
};

const LayoutCase kAllLayouts[] = {
    {"Argb8", HostApp::AfterEffects, PixelLayout::Argb8},
    {"Argb16", HostApp::AfterEffects, PixelLayout::Argb16},
    {"Bgra8", HostApp::Premiere, PixelLayout::Bgra8},
    {"BgraFloat", HostApp::Premiere, PixelLayout::BgraFloat},
};

class EveryLayout : public testing::TestWithParam<LayoutCase> {};

// Deep inside the inner shape the mask is 0, so the blend keeps the layer: every channel,
// alpha included, must come back exactly, with the rows' padding untouched.
TEST_P(EveryLayout, PixelInsideInnerShapeKeepsItsExactValue) {
    RenderRig rig(GetParam().app);
    rig.Shape(1, 15000, 15000, 100).Origin(8, 4).Color(10, 200, 90).Opacity(100);
    World input(GetParam().layout, 17, 9, 12);
    FillPattern(input);
    World output(GetParam().layout, 17, 9, 12);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    EXPECT_TRUE(output.SamePixels(input));
    EXPECT_TRUE(output.PaddingIntact());
}

// Opacity 0 is a copy whatever else is set, Mask Only included.
TEST_P(EveryLayout, ZeroOpacityCopiesInputEvenWithMaskOnly) {
    for (const bool mask_only : {false, true}) {
        RenderRig rig(GetParam().app);
        rig.Shape(2, 6, 4, 1).Origin(3, 2).Opacity(0).Checkbox(PARAM_MASK_ONLY, mask_only);
        World input(GetParam().layout, 9, 5, 4);
        FillPattern(input);
        World output(GetParam().layout, 9, 5, 4);
        ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
        EXPECT_TRUE(output.SamePixels(input)) << "mask only " << mask_only;
        EXPECT_EQ(rig.host().Trace().Count("iterate"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryLayout, testing::ValuesIn(kAllLayouts), CaseName());

struct CopyCase {
    const char* name;
    HostApp app;
    PF_Quality quality;
    const char* function;
    const char* suite;
};

class ZeroOpacityCopy : public testing::TestWithParam<CopyCase> {};

TEST_P(ZeroOpacityCopy, UsesTheHostsCopyForHostAndQuality) {
    const CopyCase& c = GetParam();
    HostSettings settings;
    settings.quality = c.quality;
    RenderRig rig(c.app, settings);
    rig.Opacity(0);
    const PixelLayout layout = c.app == HostApp::Premiere ? PixelLayout::Bgra8 : PixelLayout::Argb8;
    World input(layout, 3, 2);
    World output(layout, 3, 2);
    rig.host().Trace().Clear();
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    EXPECT_EQ(rig.host().Trace().Count(c.function, c.suite), 1u);
    EXPECT_EQ(rig.host().Trace().Count("copy") + rig.host().Trace().Count("copy_hq"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Hosts, ZeroOpacityCopy,
                         testing::Values(CopyCase{"CompositorHigh", HostApp::AfterEffects, PF_Quality_HI,
                                                  "copy_hq", "PF World Transform Suite"},
                                         CopyCase{"CompositorLow", HostApp::AfterEffects, PF_Quality_LO,
                                                  "copy", "PF World Transform Suite"},
                                         CopyCase{"EditorUtilityCopy", HostApp::Premiere, PF_Quality_HI,
                                                  "copy", ""}),
                         CaseName());

TEST(RenderCopyFailure, ReturnsTheCopysError) {
    RenderRig rig(HostApp::AfterEffects);
    rig.Opacity(0);
    rig.host().Faults().failNthCall["copy_hq"] = 1;
    World input(PixelLayout::Argb8, 2, 2);
    World output(PixelLayout::Argb8, 2, 2);
    EXPECT_EQ(rig.Render(input, output), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

// ---- Paths agree ----------------------------------------------------------------------

// The compositor's ARGB and the editor's BGRA 8-bit functions give the same channel values
// for one record, band and all.
TEST(RenderPaths, Argb8AndBgra8Agree) {
    World argb_in(PixelLayout::Argb8, 40, 30, 4);
    World bgra_in(PixelLayout::Bgra8, 40, 30, 4);
    FillPattern(argb_in);
    for (A_long y = 0; y < 30; ++y) {
        for (A_long x = 0; x < 40; ++x) {
            const uint8_t* a = argb_in.PixelAt(x, y);
            uint8_t* b = bgra_in.PixelAt(x, y);
            b[0] = a[3];
            b[1] = a[2];
            b[2] = a[1];
            b[3] = a[0];
        }
    }
    World argb_out(PixelLayout::Argb8, 40, 30, 4);
    World bgra_out(PixelLayout::Bgra8, 40, 30, 4);
    for (const HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        RenderRig rig(app);
        rig.Shape(1, 40, 24, 8).Origin(20, 15).Angle(30).Color(200, 30, 120).Popup(PARAM_BLEND_MODE, 6);
        if (app == HostApp::AfterEffects) {
            ASSERT_EQ(rig.Render(argb_in, argb_out), PF_Err_NONE);
        } else {
            ASSERT_EQ(rig.Render(bgra_in, bgra_out), PF_Err_NONE);
        }
    }
    int changed = 0;
    for (A_long y = 0; y < 30; ++y) {
        for (A_long x = 0; x < 40; ++x) {
            const uint8_t* a = argb_out.PixelAt(x, y);
            const uint8_t* b = bgra_out.PixelAt(x, y);
            ASSERT_EQ(a[0], b[3]) << x << "," << y;
            ASSERT_EQ(a[1], b[2]) << x << "," << y;
            ASSERT_EQ(a[2], b[1]) << x << "," << y;
            ASSERT_EQ(a[3], b[0]) << x << "," << y;
            changed += std::memcmp(a, argb_in.PixelAt(x, y), 4) != 0;
        }
    }
    EXPECT_GT(changed, 0);   // the comparison covered blended pixels, not only copies
}

// ---- Blend-mode popup to operation --------------------------------------------------

struct ModeCase {
    const char* name;
    A_long popup;
    A_long code;
};

class BlendModeMapping : public testing::TestWithParam<ModeCase> {};

// Outside a featherless shape the strength is the opacity (25 %). The three channels of the
// layer and fill were chosen so that every operation gives a different triple.
TEST_P(BlendModeMapping, RendersWithTheMappedOperation) {
    RenderRig rig(HostApp::Premiere);
    rig.Shape(1, 2, 2, 0).Origin(0, 0).Color(153, 40, 128).Popup(PARAM_BLEND_MODE, GetParam().popup);
    World input(PixelLayout::BgraFloat, 4, 1);
    const PF_PixelFloat layer = {0.625f, 0.3f, 0.8f, 1.0f / 255.0f};
    FillFloat(input, layer);
    World output(PixelLayout::BgraFloat, 4, 1);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    const PF_PixelFloat got = GetFloat(output, 3, 0);
    const A_long code = GetParam().code;
    EXPECT_EQ(got.alpha, layer.alpha);
    EXPECT_EQ(got.red, BlendSimple_f(layer.red, 153.0f / 255.0f, 0.25f, code));
    EXPECT_EQ(got.green, BlendSimple_f(layer.green, 40.0f / 255.0f, 0.25f, code));
    EXPECT_EQ(got.blue, BlendSimple_f(layer.blue, 128.0f / 255.0f, 0.25f, code));
}

INSTANTIATE_TEST_SUITE_P(
    Popup, BlendModeMapping,
    testing::Values(ModeCase{"Normal", 1, BLEND_NORMAL}, ModeCase{"Add", 2, BLEND_ADD},
                    ModeCase{"Multiply", 3, BLEND_MULTIPLY}, ModeCase{"Screen", 4, BLEND_SCREEN},
                    ModeCase{"Overlay", 5, BLEND_OVERLAY}, ModeCase{"SoftLight", 6, BLEND_SOFT_LIGHT},
                    ModeCase{"HardLight", 7, BLEND_HARD_LIGHT}, ModeCase{"Darken", 8, BLEND_DARKEN},
                    ModeCase{"Lighten", 9, BLEND_LIGHTEN}, ModeCase{"Difference", 10, BLEND_DIFFERENCE},
                    ModeCase{"ColorDodge", 15, BLEND_COLOR_DODGE}, ModeCase{"LinearDodge", 16, BLEND_ADD},
                    ModeCase{"ColorBurn", 17, BLEND_COLOR_BURN},
                    ModeCase{"LinearBurn", 18, BLEND_LINEAR_BURN},
                    ModeCase{"LinearLight", 19, BLEND_LINEAR_LIGHT},
                    ModeCase{"VividLight", 20, BLEND_VIVID_LIGHT}, ModeCase{"PinLight", 21, BLEND_PIN_LIGHT},
                    ModeCase{"LighterColor", 22, BLEND_LIGHTEN}, ModeCase{"DarkerColor", 23, BLEND_DARKEN},
                    // Not offered by the popup, but a saved project may carry them.
                    ModeCase{"Subtract", 24, BLEND_SUBTRACT}, ModeCase{"Divide", 25, BLEND_DIVIDE},
                    ModeCase{"ZeroIsMultiply", 0, BLEND_MULTIPLY},
                    ModeCase{"TooHighIsMultiply", 26, BLEND_MULTIPLY},
                    ModeCase{"NegativeIsMultiply", -3, BLEND_MULTIPLY}),
    CaseName());

struct HsbModeCase {
    const char* name;
    A_long popup;
    float red, green, blue;
};

class HsbModes : public testing::TestWithParam<HsbModeCase> {};

// Layer (0.5, 0.25, 0.25) is hue 0, saturation 0.5, brightness 0.5; the blue fill is hue
// 2/3, saturation 1, brightness 1. At full strength the output is the composed colour.
TEST_P(HsbModes, TakeComponentsFromFillAndLayer) {
    RenderRig rig(HostApp::Premiere);
    rig.Shape(1, 2, 2, 0)
        .Origin(0, 0)
        .Color(0, 0, 255)
        .Opacity(100)
        .Popup(PARAM_BLEND_MODE, GetParam().popup);
    World input(PixelLayout::BgraFloat, 4, 1);
    FillFloat(input, PF_PixelFloat{0.75f, 0.5f, 0.25f, 0.25f});
    World output(PixelLayout::BgraFloat, 4, 1);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    const PF_PixelFloat got = GetFloat(output, 3, 0);
    EXPECT_EQ(got.alpha, 0.75f);
    EXPECT_EQ(got.red, GetParam().red);
    EXPECT_EQ(got.green, GetParam().green);
    EXPECT_EQ(got.blue, GetParam().blue);
}

INSTANTIATE_TEST_SUITE_P(Popup, HsbModes,
                         testing::Values(HsbModeCase{"Hue", 11, 0.25f, 0.25f, 0.5f},
                                         HsbModeCase{"Saturation", 12, 0.5f, 0.0f, 0.0f},
                                         HsbModeCase{"Color", 13, 0.0f, 0.0f, 0.5f},
                                         HsbModeCase{"Luminosity", 14, 1.0f, 0.5f, 0.5f}),
                         CaseName());

// ---- Fill, mask only and the alpha they write ----------------------------------------

struct FillCase {
    const char* name;
    A_long fill;
    bool mask_only;
    A_long blend;
    A_long x;   // 0: inside the inner shape, 3: outside the shape
    PF_PixelFloat expected;
};

class FillAndMask : public testing::TestWithParam<FillCase> {};

TEST_P(FillAndMask, WriteAlphaAndColour) {
    const FillCase& c = GetParam();
    RenderRig rig(HostApp::Premiere);
    rig.Shape(1, 2, 2, 0)
        .Origin(0, 0)
        .Color(51, 102, 204)
        .Opacity(25)
        .Popup(PARAM_FILL_WITH, c.fill)
        .Checkbox(PARAM_MASK_ONLY, c.mask_only)
        .Popup(PARAM_BLEND_MODE, c.blend);
    World input(PixelLayout::BgraFloat, 4, 1);
    FillFloat(input, PF_PixelFloat{0.0f, 0.5f, 0.25f, 0.125f});
    World output(PixelLayout::BgraFloat, 4, 1);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    const PF_PixelFloat got = GetFloat(output, c.x, 0);
    EXPECT_EQ(got.alpha, c.expected.alpha);
    EXPECT_EQ(got.red, c.expected.red);
    EXPECT_EQ(got.green, c.expected.green);
    EXPECT_EQ(got.blue, c.expected.blue);
}

const float kR = 51.0f / 255.0f, kG = 102.0f / 255.0f, kB = 204.0f / 255.0f;

INSTANTIATE_TEST_SUITE_P(
    Modes, FillAndMask,
    testing::Values(
        // Transparent: alpha 1 - mask x opacity whatever the input alpha (0 here), colour kept.
        FillCase{"TransparentInside", 2, false, 3, 0, {1.0f, 0.5f, 0.25f, 0.125f}},
        FillCase{"TransparentOutside", 2, false, 3, 3, {0.75f, 0.5f, 0.25f, 0.125f}},
        // The blending mode plays no part with the Transparent fill.
        FillCase{"TransparentIgnoresBlend", 2, false, 2, 3, {0.75f, 0.5f, 0.25f, 0.125f}},
        // Any fill value but 2 is the colour fill.
        FillCase{"FillThreeIsColour", 3, true, 3, 3, {1.0f, kR, kG, kB}},
        // Mask only: the fill colour with the mask as alpha; opacity 25 % is not applied.
        FillCase{"MaskOnlyOutside", 1, true, 3, 3, {1.0f, kR, kG, kB}},
        FillCase{"MaskOnlyInside", 1, true, 2, 0, {0.0f, kR, kG, kB}},
        // Transparent with Mask Only on: the transparent rule still decides.
        FillCase{"TransparentMaskOnly", 2, true, 3, 3, {0.75f, 0.5f, 0.25f, 0.125f}}),
    CaseName());

// ---- Conversions at the integer depths ---------------------------------------------

struct DepthCase {
    const char* name;
    PixelLayout layout;
    A_long blend;
    A_u_char layer, fill;   // 8-bit values; 16-bit worlds take layer * 128 + layer / 2
    bool mask_only;
    uint16_t expected;   // the output's red channel
};

uint16_t Red(const World& world, A_long x, A_long y) {
    const uint8_t* p = world.PixelAt(x, y);
    switch (world.Layout()) {
    case PixelLayout::Argb8: return p[1];
    case PixelLayout::Bgra8: return p[2];
    case PixelLayout::Argb16: {
        uint16_t v;
        std::memcpy(&v, p + 2, sizeof v);
        return v;
    }
    case PixelLayout::BgraFloat: break;
    }
    return 0xFFFF;
}

class IntegerConversion : public testing::TestWithParam<DepthCase> {};

TEST_P(IntegerConversion, ClampsAndTruncates) {
    const DepthCase& c = GetParam();
    const HostApp app = c.layout == PixelLayout::Bgra8 ? HostApp::Premiere : HostApp::AfterEffects;
    RenderRig rig(app);
    // Ellipse 256 x 128, feather 64: pixel (96, 0) is mid-band (mask 0.5), (130, 0) outside.
    rig.Shape(1, 256, 128, 64)
        .Origin(0, 0)
        .Opacity(100)
        .Color(c.fill, c.fill, c.fill)
        .Popup(PARAM_BLEND_MODE, c.blend)
        .Checkbox(PARAM_MASK_ONLY, c.mask_only);
    World input(c.layout, 131, 1, 4);
    for (A_long x = 0; x < 131; ++x) {
        uint8_t* p = input.PixelAt(x, 0);
        if (c.layout == PixelLayout::Argb16) {
            const uint16_t v = (uint16_t)(c.layer * 128 + c.layer / 2);
            for (int ch = 0; ch < 4; ++ch) {
                std::memcpy(p + 2 * ch, &v, sizeof v);
            }
        } else {
            std::memset(p, c.layer, 4);
        }
    }
    World output(c.layout, 131, 1, 4);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    // Mask Only writes the mask into alpha; read the band pixel there, the outside one otherwise.
    if (c.mask_only) {
        const uint8_t* p = output.PixelAt(96, 0);
        uint16_t alpha = 0;
        switch (c.layout) {
        case PixelLayout::Argb8: alpha = p[0]; break;
        case PixelLayout::Bgra8: alpha = p[3]; break;
        case PixelLayout::Argb16: std::memcpy(&alpha, p, sizeof alpha); break;
        case PixelLayout::BgraFloat: break;
        }
        EXPECT_EQ(alpha, c.expected);
    } else {
        EXPECT_EQ(Red(output, 130, 0), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, IntegerConversion,
                         testing::Values(
                             // A mask of exactly 0.5 truncates to 127, not 128; at 16 bits it is exact.
                             DepthCase{"HalfTruncates8", PixelLayout::Argb8, 3, 0, 255, true, 127},
                             DepthCase{"HalfTruncatesBgra", PixelLayout::Bgra8, 3, 0, 255, true, 127},
                             DepthCase{"HalfExact16", PixelLayout::Argb16, 3, 0, 255, true, 16384},
                             // A fill of 1.0 gives the top value: 255, or 32768 at 16 bits.
                             DepthCase{"OneIsTop8", PixelLayout::Argb8, 1, 0, 255, false, 255},
                             DepthCase{"OneIsTop16", PixelLayout::Argb16, 1, 0, 255, false, 32768},
                             DepthCase{"OneIsTopBgra", PixelLayout::Bgra8, 1, 0, 255, false, 255},
                             // Add past 1 clamps; Subtract below 0 gives 0.
                             DepthCase{"AboveOneClamps8", PixelLayout::Argb8, 2, 200, 200, false, 255},
                             DepthCase{"AboveOneClamps16", PixelLayout::Argb16, 2, 200, 200, false, 32768},
                             DepthCase{"AboveOneClampsBgra", PixelLayout::Bgra8, 2, 200, 200, false, 255},
                             DepthCase{"NegativeIsZero8", PixelLayout::Argb8, 24, 50, 200, false, 0},
                             DepthCase{"NegativeIsZero16", PixelLayout::Argb16, 24, 50, 200, false, 0},
                             DepthCase{"NegativeIsZeroBgra", PixelLayout::Bgra8, 24, 50, 200, false, 0},
                             // Normal at full strength passes the fill byte straight through.
                             DepthCase{"FillByteSurvives8", PixelLayout::Argb8, 1, 0, 77, false, 77}),
                         CaseName());

// ---- The editor's pixel formats and their failures ---------------------------------

TEST(PremiereFormats, UnknownFormatRendersNothingAndStillReleasesTheSuite) {
    RenderRig rig(HostApp::Premiere);
    rig.host().Faults().pixelFormatOverride = 0x12345678u;
    World input(PixelLayout::Bgra8, 3, 2);
    World output(PixelLayout::Bgra8, 3, 2);
    FillPattern(output);
    const World before = output;
    EXPECT_EQ(rig.Render(input, output), PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_TRUE(output.SamePixels(before));
    EXPECT_EQ(rig.host().Trace().Count("iterate"), 0u);
    // The host itself throws on an unreleased suite; say so here too.
    EXPECT_TRUE(rig.host().LastCommandProblems().empty());
}

TEST(PremiereFormats, MissingPixelFormatSuiteFailsWithItsMessage) {
    RenderRig rig(HostApp::Premiere);
    rig.host().Faults().refusedSuites.insert({"PF Pixel Format Suite", 1});
    World input(PixelLayout::BgraFloat, 3, 2);
    World output(PixelLayout::BgraFloat, 3, 2);
    FillPattern(output);
    const World before = output;
    EXPECT_EQ(rig.Render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(output.SamePixels(before));
    EXPECT_STREQ(rig.host().OutData().return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_TRUE(rig.host().OutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
}

TEST(PremiereFormats, IterationErrorWinsOverTheRelease) {
    RenderRig rig(HostApp::Premiere);
    rig.host().Faults().failNthCall["iterate"] = 1;
    World input(PixelLayout::Bgra8, 3, 2);
    World output(PixelLayout::Bgra8, 3, 2);
    EXPECT_EQ(rig.Render(input, output), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

struct SuiteFaultCase {
    const char* name;
    HostApp app;
    PixelLayout layout;
    const char* suite;
};

class RefusedRenderSuite : public testing::TestWithParam<SuiteFaultCase> {};

// The suite cache throws; the entry point returns its code with every suite given back.
TEST_P(RefusedRenderSuite, ReturnsBadCallbackParamBalanced) {
    RenderRig rig(GetParam().app);
    rig.host().Faults().refusedSuites.insert({GetParam().suite, 1});
    World input(GetParam().layout, 2, 2);
    World output(GetParam().layout, 2, 2);
    EXPECT_EQ(rig.Render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(rig.host().LastCommandProblems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Suites, RefusedRenderSuite,
    testing::Values(
        SuiteFaultCase{"Iterate8", HostApp::AfterEffects, PixelLayout::Argb8, "PF Iterate8 Suite"},
        SuiteFaultCase{"Iterate16", HostApp::AfterEffects, PixelLayout::Argb16, "PF iterate16 Suite"},
        // The Pixel Format Suite is already held when the iteration suite is refused.
        SuiteFaultCase{"EditorIterate8", HostApp::Premiere, PixelLayout::Bgra8, "PF Iterate8 Suite"}),
    CaseName());

TEST(RenderFailure, NoBasicSuiteReturnsBadCallbackParam) {
    RenderRig rig(HostApp::AfterEffects);
    rig.host().Faults().withholdBasicSuite = true;
    World input(PixelLayout::Argb8, 2, 2);
    World output(PixelLayout::Argb8, 2, 2);
    EXPECT_EQ(rig.Render(input, output), PF_Err_BAD_CALLBACK_PARAM);
}

// ---- The float loop ----------------------------------------------------------------

// A smaller input is never read past its edge: the kernel sees transparent black there,
// and every output pixel is still written.
TEST(FloatLoop, SmallerInputReadsAsTransparentBlack) {
    RenderRig rig(HostApp::Premiere);
    rig.Shape(1, 15000, 15000, 100).Origin(2, 2).Popup(PARAM_BLEND_MODE, 1);
    World input(PixelLayout::BgraFloat, 2, 2, 16);
    FillFloat(input, PF_PixelFloat{0.5f, 0.25f, 0.75f, 1.0f});
    World output(PixelLayout::BgraFloat, 4, 3, 16);
    FillFloat(output, PF_PixelFloat{9.0f, 9.0f, 9.0f, 9.0f});
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    for (A_long y = 0; y < 3; ++y) {
        for (A_long x = 0; x < 4; ++x) {
            const PF_PixelFloat p = GetFloat(output, x, y);
            const bool in_input = x < 2 && y < 2;
            EXPECT_EQ(p.alpha, in_input ? 0.5f : 0.0f) << x << "," << y;
            EXPECT_EQ(p.red, in_input ? 0.25f : 0.0f) << x << "," << y;
            EXPECT_EQ(p.green, in_input ? 0.75f : 0.0f) << x << "," << y;
            EXPECT_EQ(p.blue, in_input ? 1.0f : 0.0f) << x << "," << y;
        }
    }
    EXPECT_TRUE(output.PaddingIntact());
}

struct ExtentCase {
    const char* name;
    A_long top, bottom;
    A_long rows_written;
};

class FloatLoopRows : public testing::TestWithParam<ExtentCase> {};

// The loop runs bottom - top rows from row 0, never more than the output has.
TEST_P(FloatLoopRows, WritesOnlyTheRowsItIsGiven) {
    RenderRig rig(HostApp::Premiere);
    rig.Checkbox(PARAM_MASK_ONLY, true).Shape(1, 2, 2, 0).Origin(-100, -100);
    World input(PixelLayout::BgraFloat, 3, 4, 8);
    World output(PixelLayout::BgraFloat, 3, 4, 8);
    FillFloat(output, PF_PixelFloat{9.0f, 9.0f, 9.0f, 9.0f});
    output.Def()->extent_hint.top = GetParam().top;
    output.Def()->extent_hint.bottom = GetParam().bottom;
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    for (A_long y = 0; y < 4; ++y) {
        // Everything is outside the tiny shape far away: mask 1 where written.
        EXPECT_EQ(GetFloat(output, 2, y).alpha, y < GetParam().rows_written ? 1.0f : 9.0f) << y;
    }
    EXPECT_TRUE(output.PaddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Extents, FloatLoopRows,
                         testing::Values(ExtentCase{"Whole", 0, 4, 4}, ExtentCase{"Zero", 2, 2, 0},
                                         ExtentCase{"Negative", 3, 1, 0},
                                         ExtentCase{"OffsetCountsFromRowZero", 1, 3, 2},
                                         ExtentCase{"BeyondHeight", 0, 9, 4}),
                         CaseName());

}   // namespace
}   // namespace corvelle::test
