// Image files into worlds and back: stored values kept, alpha never premultiplied, every
// layout and format round-tripping exactly.
#include "pictures/ImageFiles.h"

#include "CaseName.h"
#include "core/HostError.h"
#include "io/PixelConversion.h"
#include "RenderTestSupport.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::TempDir;

/// Writes `samples` (width × height × channels) as `path` directly with OpenImageIO.
template <class T>
void WriteWithOiio(const std::string& path, int width, int height, int channels, OIIO::TypeDesc type,
                   const std::vector<T>& samples) {
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(width, height, channels, type);
    if (channels == 4)
        spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(out->open(path, spec));
    ASSERT_TRUE(out->write_image(type, samples.data()));
    ASSERT_TRUE(out->close());
}

/// A world whose every channel byte differs, so a swapped or dropped channel shows.
World PatternWorld(PixelLayout layout) {
    World world(layout, 5, 3);
    for (A_long y = 0; y < world.Height(); ++y) {
        uint8_t* row = world.Row(y);
        for (A_long x = 0; x < world.Width(); ++x) {
            for (int c = 0; c < 4; ++c) {
                const unsigned seed = static_cast<unsigned>((((y * 5) + x) * 4) + c);
                uint8_t* channel = row + (static_cast<std::size_t>(x) * BytesPerPixel(layout)) +
                                   (static_cast<std::size_t>(c) * BytesPerPixel(layout) / 4);
                if (layout == PixelLayout::Argb16) {
                    const auto v = static_cast<uint16_t>((seed * 547u) % 32769u);
                    std::memcpy(channel, &v, sizeof v);
                } else if (layout == PixelLayout::BgraFloat) {
                    const float v = (static_cast<float>(seed) * 0.0625f) - 1.0f;   // beyond 0..1 both ways
                    std::memcpy(channel, &v, sizeof v);
                } else {
                    *channel = static_cast<uint8_t>((seed * 37u) % 256u);
                }
            }
        }
    }
    return world;
}

struct RoundTripCase {
    const char* name;
    PixelLayout layout;
    const char* extension;
};

class ImageRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(ImageRoundTripTest, WorldComesBackExactly) {
    const RoundTripCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / (std::string("frame") + c.extension);
    const World original = PatternWorld(c.layout);
    WriteImage(path, original);
    const World back = ReadImage(path, c.layout);
    EXPECT_TRUE(back.SamePixels(original));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{std::string("frame") + c.extension})
        << "no temporary left";
}

INSTANTIATE_TEST_SUITE_P(Files, ImageRoundTripTest,
                         testing::Values(RoundTripCase{"argb8_png", PixelLayout::Argb8, ".png"},
                                         RoundTripCase{"argb8_tif", PixelLayout::Argb8, ".tif"},
                                         RoundTripCase{"argb8_exr", PixelLayout::Argb8, ".exr"},
                                         RoundTripCase{"argb16_png", PixelLayout::Argb16, ".png"},
                                         RoundTripCase{"argb16_tiff", PixelLayout::Argb16, ".tiff"},
                                         RoundTripCase{"argb16_exr", PixelLayout::Argb16, ".exr"},
                                         RoundTripCase{"bgra8_png", PixelLayout::Bgra8, ".png"},
                                         RoundTripCase{"bgra8_exr", PixelLayout::Bgra8, ".exr"},
                                         RoundTripCase{"bgrafloat_tif", PixelLayout::BgraFloat, ".tif"},
                                         RoundTripCase{"bgrafloat_exr", PixelLayout::BgraFloat, ".exr"}),
                         CaseName());

TEST(ImageFiles, AlphaIsNeverPremultiplied) {
    // A pixel with zero alpha keeps its colour; a premultiplying reader would zero it.
    TempDir dir;
    const std::string path = dir / "clear.png";
    WriteWithOiio<uint8_t>(path, 1, 1, 4, OIIO::TypeDesc::UINT8, {200, 100, 50, 0});
    const World world = ReadImage(path, PixelLayout::Argb8);
    const uint8_t* p = world.PixelAt(0, 0);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 200);
    EXPECT_EQ(p[2], 100);
    EXPECT_EQ(p[3], 50);
}

TEST(ImageFiles, FloatPngIsSixteenBitFromClampedValues) {
    TempDir dir;
    const std::string path = dir / "float.png";
    World world(PixelLayout::BgraFloat, 1, 1);
    const float bgra[4] = {-0.5f, 0.5f, 2.0f, 1.0f};
    std::memcpy(world.PixelAt(0, 0), bgra, sizeof bgra);
    WriteImage(path, world);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->spec().format, OIIO::TypeDesc::UINT16);
    uint16_t rgba[4] = {};
    ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, rgba));
    EXPECT_EQ(rgba[0], 65535);   // red 2.0
    EXPECT_EQ(rgba[1], 32768);   // green 0.5
    EXPECT_EQ(rgba[2], 0);       // blue -0.5
    EXPECT_EQ(rgba[3], 65535);
}

struct ReadCase {
    const char* name;
    PixelLayout layout;
    bool sixteenBitFile;
    uint16_t fileValue;
    uint16_t worldValue;   // integer worlds only; the float world must hold b / 255 or p / 65535
};

class ReadRuleTest : public testing::TestWithParam<ReadCase> {};

// A grey file without alpha: the value fills red, green and blue, and alpha is full.
TEST_P(ReadRuleTest, GreyFileFollowsTheConversionRule) {
    const ReadCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / "grey.png";
    if (c.sixteenBitFile) {
        WriteWithOiio<uint16_t>(path, 1, 1, 1, OIIO::TypeDesc::UINT16, {c.fileValue});
    } else {
        WriteWithOiio<uint8_t>(path, 1, 1, 1, OIIO::TypeDesc::UINT8, {static_cast<uint8_t>(c.fileValue)});
    }
    const World world = ReadImage(path, c.layout);
    const ChannelOrder order = ChannelsOf(c.layout);
    const uint8_t* p = world.PixelAt(0, 0);
    if (c.layout == PixelLayout::Argb16) {
        uint16_t v[4];
        std::memcpy(v, p, sizeof v);
        EXPECT_EQ(v[order.red], c.worldValue);
        EXPECT_EQ(v[order.green], c.worldValue);
        EXPECT_EQ(v[order.blue], c.worldValue);
        EXPECT_EQ(v[order.alpha], 32768);
    } else if (c.layout == PixelLayout::BgraFloat) {
        float v[4];
        std::memcpy(v, p, sizeof v);
        const float expected = c.sixteenBitFile ? static_cast<float>(c.fileValue) / 65535.0f
                                                : static_cast<float>(c.fileValue) / 255.0f;
        EXPECT_EQ(v[order.red], expected);
        EXPECT_EQ(v[order.blue], expected);
        EXPECT_EQ(v[order.alpha], 1.0f);
    } else {
        EXPECT_EQ(p[order.red], c.worldValue);
        EXPECT_EQ(p[order.blue], c.worldValue);
        EXPECT_EQ(p[order.alpha], 255);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadRuleTest,
    testing::Values(ReadCase{"byte_into_deep_1", PixelLayout::Argb16, false, 1, 129},
                    ReadCase{"byte_into_deep_255", PixelLayout::Argb16, false, 255, 32768},
                    ReadCase{"short_into_deep_65534", PixelLayout::Argb16, true, 65534, 32767},
                    ReadCase{"short_into_deep_1", PixelLayout::Argb16, true, 1, 1},
                    ReadCase{"short_into_byte_32768", PixelLayout::Argb8, true, 32768, 128},
                    ReadCase{"short_into_bgra8_128", PixelLayout::Bgra8, true, 128, 0},
                    ReadCase{"byte_into_float_128", PixelLayout::BgraFloat, false, 128, 0},
                    ReadCase{"short_into_float_65534", PixelLayout::BgraFloat, true, 65534, 0}),
    CaseName());

TEST(ImageFiles, BadFilesGiveClearErrors) {
    TempDir dir;
    EXPECT_THROW(ReadImage(dir / "missing.png", PixelLayout::Argb8), HostError);
    testing_support::WriteBytes(dir / "text.png", "not a picture");
    try {
        ReadImage(dir / "text.png", PixelLayout::Argb8);
        FAIL() << "a text file read as a picture";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("reading " + (dir / "text.png")), std::string::npos) << e.what();
    }
    EXPECT_THROW(CheckImageOutputPath(dir / "out.jpg"), HostError);
    EXPECT_THROW(WriteImage(dir / "nowhere/out.png", World(PixelLayout::Argb8, 1, 1)), HostError);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"text.png"});
}

}   // namespace
}   // namespace corvelle
