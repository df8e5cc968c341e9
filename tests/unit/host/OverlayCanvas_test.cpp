// The rendered layer as it appears in the window: each pixel layout read alike, premultiplied
// with rounding, and placed where the window puts the layer.
#include "controls/OverlayCanvas.h"

#include "CaseName.h"
#include "core/HostError.h"
#include "core/World.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace corvelle {
namespace {

using testing_support::CaseName;

struct Colour8 {
    uint8_t alpha, red, green, blue;
};

// Writes the same colour in the layout's own terms: 16-bit 200 is 25700 of 32768, float is /255.
void Put(World& world, A_long x, A_long y, Colour8 c) {
    uint8_t* p = world.PixelAt(x, y);
    const auto to16 = [](uint8_t v) {
        return static_cast<uint16_t>(v == 255 ? 32768 : (v * 32768 + 127) / 255);
    };
    switch (world.Layout()) {
    case PixelLayout::Argb8: {
        const uint8_t b[4] = {c.alpha, c.red, c.green, c.blue};
        std::memcpy(p, b, 4);
        break;
    }
    case PixelLayout::Bgra8: {
        const uint8_t b[4] = {c.blue, c.green, c.red, c.alpha};
        std::memcpy(p, b, 4);
        break;
    }
    case PixelLayout::Argb16: {
        const uint16_t v[4] = {to16(c.alpha), to16(c.red), to16(c.green), to16(c.blue)};
        std::memcpy(p, v, sizeof v);
        break;
    }
    case PixelLayout::BgraFloat: {
        const float v[4] = {c.blue / 255.0f, c.green / 255.0f, c.red / 255.0f, c.alpha / 255.0f};
        std::memcpy(p, v, sizeof v);
        break;
    }
    }
}

struct LayoutCase {
    const char* name;
    PixelLayout layout;
};

class PaintLayerTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(PaintLayerTest, EveryLayoutLandsAsTheSameWindowPixels) {
    World layer(GetParam().layout, 2, 1, 8);
    Put(layer, 0, 0, Colour8{255, 200, 100, 0});
    Put(layer, 1, 0, Colour8{0, 255, 255, 255});
    OverlayCanvas canvas(16, 8);
    const uint32_t background = canvas.PixelAt(0, 0);
    canvas.PaintLayer(layer, 3.0, 1.0, 2.0, 2.0);
    for (int y = 1; y <= 2; ++y) {
        for (int x = 3; x <= 4; ++x) {
            EXPECT_EQ(canvas.PixelAt(x, y), 0xFFC86400u) << x << "," << y;
        }
        EXPECT_EQ(canvas.PixelAt(5, y), background) << "a transparent pixel shows the window";
        EXPECT_EQ(canvas.PixelAt(2, y), background);
    }
    EXPECT_EQ(canvas.PixelAt(3, 0), background);
    EXPECT_EQ(canvas.PixelAt(3, 3), background);
}

INSTANTIATE_TEST_SUITE_P(Canvas, PaintLayerTest,
                         testing::Values(LayoutCase{"argb8", PixelLayout::Argb8},
                                         LayoutCase{"bgra8", PixelLayout::Bgra8},
                                         LayoutCase{"argb16", PixelLayout::Argb16},
                                         LayoutCase{"bgra_float", PixelLayout::BgraFloat}),
                         CaseName());

// Alpha 1 of red 255 premultiplies to 1 when dividing by 255 with rounding, but to 0 with the
// ÷256 shift; over the window grey (51) that is red 52 against green 51.
TEST(OverlayCanvasTest, PremultipliesDividingBy255WithRounding) {
    World layer(PixelLayout::Argb8, 1, 1);
    Put(layer, 0, 0, Colour8{1, 255, 0, 0});
    OverlayCanvas canvas(1, 1);
    ASSERT_EQ(canvas.PixelAt(0, 0), 0xFF333333u);
    canvas.PaintLayer(layer, 0.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFF343333u);
}

TEST(OverlayCanvasTest, FloatOutsideZeroToOneIsClampedAndNaNIsZero) {
    World layer(PixelLayout::BgraFloat, 1, 1);
    const float v[4] = {std::numeric_limits<float>::quiet_NaN(), -3.0f, 7.0f, 1.0f};   // b, g, r, a
    std::memcpy(layer.PixelAt(0, 0), v, sizeof v);
    OverlayCanvas canvas(1, 1);
    canvas.PaintLayer(layer, 0.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFFFF0000u);
}

struct PlacementCase {
    const char* name;
    double left, top, scaleX, scaleY;
};

class RefusedPlacementTest : public testing::TestWithParam<PlacementCase> {};

// Cairo would keep the error of such a matrix for good; refused first, the canvas stays whole
// and goes on drawing.
TEST_P(RefusedPlacementTest, ThrowsAndLeavesTheCanvasWorking) {
    const PlacementCase& c = GetParam();
    World layer(PixelLayout::Argb8, 1, 1);
    Put(layer, 0, 0, Colour8{255, 255, 0, 0});
    OverlayCanvas canvas(4, 4);
    const uint32_t background = canvas.PixelAt(0, 0);
    EXPECT_THROW(canvas.PaintLayer(layer, c.left, c.top, c.scaleX, c.scaleY), HostError);
    EXPECT_EQ(canvas.PixelAt(0, 0), background);
    canvas.PaintLayer(layer, 0.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(canvas.PixelAt(0, 0), 0xFFFF0000u);
    CanvasPath line;
    line.MoveTo(0.0, 3.0);
    line.LineTo(3.0, 3.0);
    EXPECT_TRUE(canvas.Stroke(line, CanvasColor{1.0, 1.0, 1.0, 1.0}, 1.0));
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Canvas, RefusedPlacementTest,
    testing::Values(PlacementCase{"zero_x", 0, 0, 0.0, 1.0}, PlacementCase{"zero_y", 0, 0, 1.0, 0.0},
                    PlacementCase{"negative", 0, 0, -1.0, 1.0},
                    PlacementCase{"infinite", 0, 0, kInfinity, 1.0},
                    PlacementCase{"nan", 0, 0, 1.0, kNotANumber},
                    PlacementCase{"denormal", 0, 0, std::numeric_limits<double>::denorm_min(), 1.0},
                    PlacementCase{"product_underflows", 0, 0, 1e-200, 1e-200},
                    PlacementCase{"nan_left", kNotANumber, 0, 1.0, 1.0},
                    PlacementCase{"infinite_top", 0, -kInfinity, 1.0, 1.0}),
    CaseName());

TEST(OverlayCanvasTest, WritesAPngOfTheWindowSize) {
    OverlayCanvas canvas(7, 5);
    const std::string path = testing::TempDir() + "corvelle_canvas_test.png";
    canvas.WritePng(path);
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 7);
    EXPECT_EQ(cairo_image_surface_get_height(png), 5);
    cairo_surface_destroy(png);
    std::remove(path.c_str());
}

TEST(OverlayCanvasTest, WritingIntoAMissingFolderFailsClearly) {
    OverlayCanvas canvas(2, 2);
    EXPECT_THROW(canvas.WritePng("/nonexistent-folder/x.png"), std::exception);
}

}   // namespace
}   // namespace corvelle
