// The shape mask as the render writes it: with Mask Only in the editor's float format the
// output alpha is the mask value itself, so each case reads one mask value exactly.
#include "RenderTestRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace corvelle::test {
namespace {

constexpr A_long ELLIPSE = 1;
constexpr A_long RECTANGLE = 2;

struct MaskCase {
    const char* name;
    A_long shape;
    double width, height, feather;
    A_long falloff;
    double originX, originY;
    bool invert;
    A_long x, y;
    float expected;
};

std::string MaskCaseName(const testing::TestParamInfo<MaskCase>& info) {
    return info.param.name;
}

float MaskAt(const MaskCase& c) {
    RenderRig rig(HostApp::Premiere);
    rig.Shape(c.shape, c.width, c.height, c.feather)
        .Popup(PARAM_FALLOFF, c.falloff)
        .Origin(c.originX, c.originY)
        .Checkbox(PARAM_INVERT, c.invert)
        .Checkbox(PARAM_MASK_ONLY, true);
    World input(PixelLayout::BgraFloat, c.x + 1, c.y + 1, 8);
    World output(PixelLayout::BgraFloat, c.x + 1, c.y + 1, 8);
    EXPECT_EQ(rig.Render(input, output), PF_Err_NONE);
    EXPECT_TRUE(output.PaddingIntact());
    return GetFloat(output, c.x, c.y).alpha;
}

class Mask : public testing::TestWithParam<MaskCase> {};

TEST_P(Mask, HasExpectedValue) {
    EXPECT_EQ(MaskAt(GetParam()), GetParam().expected);
}

// Ellipse 256 x 128 with feather 64: outer half axes 128 and 64, inner 64 and 32, every
// reciprocal a power of two, so points on either ellipse test exactly. Along u the band
// runs from 64 to 128 and u = 96 is its middle (t = 0.5).
constexpr double W = 256, H = 128, F = 64;

INSTANTIATE_TEST_SUITE_P(
    Ellipse, Mask,
    testing::Values(MaskCase{"BandMiddle", ELLIPSE, W, H, F, 1, 0, 0, false, 96, 0, 0.5f},
                    MaskCase{"NearOuter", ELLIPSE, W, H, F, 1, 0, 0, false, 127, 0, 0.984375f},
                    MaskCase{"OnOuterU", ELLIPSE, W, H, F, 1, 0, 0, false, 128, 0, 1.0f},
                    MaskCase{"OnOuterV", ELLIPSE, W, H, F, 1, 0, 0, false, 0, 64, 1.0f},
                    MaskCase{"OnInnerU", ELLIPSE, W, H, F, 1, 0, 0, false, 64, 0, 0.0f},
                    MaskCase{"OnInnerV", ELLIPSE, W, H, F, 1, 0, 0, false, 0, 32, 0.0f},
                    MaskCase{"Centre", ELLIPSE, W, H, F, 1, 0, 0, false, 0, 0, 0.0f},
                    // Width 200, height 100, feather 20: band along u from 80 to 100.
                    MaskCase{"BandU90", ELLIPSE, 200, 100, 20, 1, 0, 0, false, 90, 0, 0.5f},
                    MaskCase{"Feather0Inside", ELLIPSE, W, H, 0, 1, 0, 0, false, 127, 0, 0.0f},
                    MaskCase{"Feather0Outside", ELLIPSE, W, H, 0, 1, 0, 0, false, 128, 0, 1.0f},
                    MaskCase{"InvertInside", ELLIPSE, W, H, F, 1, 0, 0, true, 10, 5, 1.0f},
                    MaskCase{"InvertOutside", ELLIPSE, W, H, F, 1, 0, 0, true, 128, 0, 0.0f},
                    MaskCase{"InvertBand", ELLIPSE, W, H, F, 1, 0, 0, true, 127, 0, 0.015625f},
                    // Any shape value but 2 is the ellipse: at (120, 40) it is outside, the rectangle not.
                    MaskCase{"ShapeThreeIsEllipse", 3, W, H, F, 1, 0, 0, false, 120, 40, 1.0f}),
    MaskCaseName);

INSTANTIATE_TEST_SUITE_P(
    Falloff, Mask,
    testing::Values(MaskCase{"Linear", ELLIPSE, W, H, F, 1, 0, 0, false, 96, 0, 0.5f},
                    MaskCase{"Quadratic", ELLIPSE, W, H, F, 2, 0, 0, false, 96, 0, 0.25f},
                    MaskCase{"Cubic", ELLIPSE, W, H, F, 3, 0, 0, false, 96, 0, 0.125f},
                    MaskCase{"Gamma", ELLIPSE, W, H, F, 4, 0, 0, false, 96, 0, (float)std::pow(0.5, 0.454)},
                    MaskCase{"Gaussian", ELLIPSE, W, H, F, 5, 0, 0, false, 96, 0,
                             (float)(1.0 - std::pow(360.0, -std::pow(0.5, 2.5)))},
                    MaskCase{"Exponential", ELLIPSE, W, H, F, 6, 0, 0, false, 96, 0,
                             (float)(((1.0 - std::pow(2.5, -0.5)) * 2.5) / 1.5)},
                    // Gaussian never quite reaches 1 inside the band.
                    MaskCase{"GaussianNearOuter", ELLIPSE, W, H, F, 5, 0, 0, false, 127, 0,
                             (float)(1.0 - std::pow(360.0, -std::pow(0.984375, 2.5)))},
                    MaskCase{"UnknownIsLinear", ELLIPSE, W, H, F, 7, 0, 0, false, 96, 0, 0.5f},
                    MaskCase{"ZeroIsLinear", ELLIPSE, W, H, F, 0, 0, 0, false, 96, 0, 0.5f}),
    MaskCaseName);

// Width 200, height 100, feather 20: the band along v is 10 wide (the inner rectangle keeps
// the outer's proportions), inner half sides 80 and 40. Distances are whole units.
INSTANTIATE_TEST_SUITE_P(
    Rectangle, Mask,
    testing::Values(
        // u = 90.7, v = 45.2 count as 90 and 45: both edge falloffs 0.5, combined as a length.
        MaskCase{"TruncatedCorner", RECTANGLE, 200, 100, 20, 1, -0.7, -0.2, false, 90, 45,
                 (float)std::sqrt(0.5)},
        MaskCase{"TruncatedEdge", RECTANGLE, 200, 100, 20, 1, -0.7, 0, false, 90, 0, 0.5f},
        MaskCase{"OnEdge", RECTANGLE, 200, 100, 20, 1, 0, 0, false, 100, 0, 1.0f},
        MaskCase{"OnEdgeV", RECTANGLE, 200, 100, 20, 1, 0, 0, false, 0, 50, 1.0f},
        MaskCase{"VBand", RECTANGLE, 200, 100, 20, 1, 0, 0, false, 0, 45, 0.5f},
        MaskCase{"Inside", RECTANGLE, 200, 100, 20, 1, 0, 0, false, 79, 39, 0.0f},
        MaskCase{"Feather0Inside", RECTANGLE, 200, 100, 0, 1, 0, 0, false, 99, 49, 0.0f},
        MaskCase{"Feather0Outside", RECTANGLE, 200, 100, 0, 1, 0, 0, false, 100, 0, 1.0f},
        // 256 x 128, feather 64: falloffs 56/64 and 8/32 at (120, 40).
        MaskCase{"Corner", RECTANGLE, W, H, F, 1, 0, 0, false, 120, 40, (float)std::sqrt(0.828125)},
        // 63/64 and 31/32 combine beyond 1 and are capped.
        MaskCase{"CornerCapped", RECTANGLE, W, H, F, 1, 0, 0, false, 127, 63, 1.0f},
        // Width 100 with feather 80: the feather becomes 49 (half width - 1), inner half side 1,
        // so u = ±49.9, counted as 49, is 48/49 of the way out.
        MaskCase{"ClampedFeatherPositive", RECTANGLE, 100, 100, 80, 1, 0.1, 0, false, 50, 0,
                 (1.0f / 49.0f) * 48.0f},
        MaskCase{"ClampedFeatherNegative", RECTANGLE, 100, 100, 80, 1, 99.9, 0, false, 50, 0,
                 (1.0f / 49.0f) * 48.0f},
        MaskCase{"ClampedFeatherEdge", RECTANGLE, 100, 100, 80, 1, 0, 0, false, 50, 0, 1.0f}),
    MaskCaseName);

// A positive angle turns the width axis from +x toward +y. At 45 degrees the point 96 units
// down the diagonal lies in the band along the width; turned the other way it would lie 96
// units along the height, outside.
TEST(MaskRotation, PositiveAngleTurnsWidthTowardDown) {
    RenderRig rig(HostApp::Premiere);
    rig.Shape(ELLIPSE, W, H, F).Origin(0, 0).Angle(45).Checkbox(PARAM_MASK_ONLY, true);
    World input(PixelLayout::BgraFloat, 69, 69);
    World output(PixelLayout::BgraFloat, 69, 69);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    const float m = GetFloat(output, 68, 68).alpha;
    EXPECT_GT(m, 0.45f);
    EXPECT_LT(m, 0.55f);
}

// Angle 0, origin (100, 50): pixel (130, 90) maps to u = 30, v = 40, which a 60 x 80
// rectangle without feather puts exactly on its corner.
struct MappingCase {
    const char* name;
    PF_RationalScale downsample;
    PF_RationalScale aspect;
    A_long x, y;
    float expected;
};

std::string MappingCaseName(const testing::TestParamInfo<MappingCase>& info) {
    return info.param.name;
}

class RecordMapping : public testing::TestWithParam<MappingCase> {};

TEST_P(RecordMapping, PutsPixelInsideOrOnEdge) {
    const MappingCase& c = GetParam();
    HostSettings settings;
    settings.downsampleX = c.downsample;
    settings.downsampleY = c.downsample;
    settings.pixelAspect = c.aspect;
    RenderRig rig(HostApp::Premiere, settings);
    // The host hands a downsampled render its origin in downsampled pixels.
    rig.Shape(RECTANGLE, 60, 80, 0).Origin(100, 50).Checkbox(PARAM_MASK_ONLY, true);
    World input(PixelLayout::BgraFloat, 140, 100);
    World output(PixelLayout::BgraFloat, 140, 100);
    ASSERT_EQ(rig.Render(input, output), PF_Err_NONE);
    EXPECT_EQ(GetFloat(output, c.x, c.y).alpha, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scale, RecordMapping,
    testing::Values(MappingCase{"FullCorner", {1, 1}, {1, 1}, 130, 90, 1.0f},
                    MappingCase{"FullInsideCorner", {1, 1}, {1, 1}, 129, 89, 0.0f},
                    MappingCase{"FullBottomEdge", {1, 1}, {1, 1}, 129, 90, 1.0f},
                    MappingCase{"FullRightEdge", {1, 1}, {1, 1}, 130, 89, 1.0f},
                    MappingCase{"FullLeftEdge", {1, 1}, {1, 1}, 70, 50, 1.0f},
                    MappingCase{"FullInsideLeft", {1, 1}, {1, 1}, 71, 50, 0.0f},
                    // Half resolution: origin (50, 25), each pixel step two units.
                    MappingCase{"HalfCorner", {1, 2}, {1, 1}, 65, 45, 1.0f},
                    MappingCase{"HalfInside", {1, 2}, {1, 1}, 64, 44, 0.0f},
                    MappingCase{"HalfBottomEdge", {1, 2}, {1, 1}, 64, 45, 1.0f},
                    // Pixels 9/10 wide: 33 pixels are 29.7 units (inside), 34 are 30.6 (on the edge).
                    MappingCase{"AspectInside", {1, 1}, {9, 10}, 133, 50, 0.0f},
                    MappingCase{"AspectEdge", {1, 1}, {9, 10}, 134, 50, 1.0f}),
    MappingCaseName);

}   // namespace
}   // namespace corvelle::test
