// The public stream API on caller-owned pictures: padded rows go out packed and come back into
// padded rows, the built-in picture is the one the host renders, and the effect's JSON views
// agree with the host's own records.
#include "RenderTestSupport.h"
#include "params/ParamSnapshot.h"
#include "testing/Testing.h"

#include <corvelle/pictures.h>
#include <corvelle/streams.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <filesystem>
#include <vector>

namespace corvelle {
namespace {

using testing_support::TempDir;

/// A picture whose rows are `pad` bytes longer than its pixels, padding filled with 0xEE.
struct PaddedPicture {
    PaddedPicture(PixelFormat format, int width, int height, int pad)
        : rowBytes(static_cast<std::ptrdiff_t>(width * BytesPerPixel(format)) + pad),
          bytes(static_cast<std::size_t>(rowBytes * height), 0xEE),
          view{bytes.data(), width, height, rowBytes, format} {}
    std::ptrdiff_t rowBytes;
    std::vector<uint8_t> bytes;
    ImageView view;
};

TEST(PublicStreamsTest, PaddedFramesRoundTripPackedAndLeaveThePaddingAlone) {
    const TempDir dir;
    for (const PixelFormat format :
         {PixelFormat::Argb8, PixelFormat::Argb16, PixelFormat::Bgra8, PixelFormat::BgraFloat}) {
        SCOPED_TRACE(static_cast<int>(format));
        PaddedPicture in(format, 7, 5, 12);
        DrawTestPicture(in.view);
        const std::string path = dir / "frames.raw";
        RawFrameWriter writer(path);
        writer.Write(in.view);
        writer.Write(in.view);
        writer.Finish();
        EXPECT_EQ(std::filesystem::file_size(path), 2 * RawFrameBytes(format, 7, 5));

        RawFrameReader reader(path);
        PaddedPicture out(format, 7, 5, 3);
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(reader.Next(out.view));
            const std::size_t row = RawFrameBytes(format, 7, 1);
            for (int y = 0; y < 5; ++y) {
                const uint8_t* a = in.bytes.data() + (y * in.rowBytes);
                const uint8_t* b = out.bytes.data() + (y * out.rowBytes);
                EXPECT_EQ(std::memcmp(a, b, row), 0) << "row " << y;
                EXPECT_EQ(b[row], 0xEE) << "padding of row " << y;
            }
        }
        EXPECT_FALSE(reader.Next(out.view));
        EXPECT_EQ(reader.FramesRead(), 2);
    }
}

// A picture file is read only within the caller's pixel limit, and its pixels come back as written.
TEST(PublicPicturesTest, ReadsWithinThePixelLimitAndChecksOutputNames) {
    const TempDir dir;
    const Picture written = MakeTestPicture(PixelFormat::Argb16, 4, 3);
    WritePicture(dir / "in.png", written.View());
    struct LimitCase {
        long long maxPixels;
        bool read;
    };
    for (const LimitCase c : {LimitCase{11, false}, LimitCase{12, true}}) {
        SCOPED_TRACE(c.maxPixels);
        try {
            const Picture read = ReadPicture(dir / "in.png", PixelFormat::Argb16, c.maxPixels);
            EXPECT_TRUE(c.read);
            EXPECT_EQ(read.bytes, written.bytes);
        } catch (const Error& e) {
            EXPECT_FALSE(c.read) << e.what();
            EXPECT_EQ(e.Kind(), ErrorKind::IO);
        }
    }
    struct NameCase {
        const char* name;
        bool picture;
        bool png;
    };
    for (const NameCase c : {NameCase{"out.png", true, true}, NameCase{"out.exr", true, false},
                             NameCase{"out.TIF", true, false}, NameCase{"out.jpg", false, false}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        if (c.picture) {
            EXPECT_NO_THROW(CheckPictureOutputPath(path));
        } else {
            EXPECT_THROW(CheckPictureOutputPath(path), Error);
        }
        if (c.png) {
            EXPECT_NO_THROW(CheckPngOutputPath(path));
        } else {
            EXPECT_THROW(CheckPngOutputPath(path), Error);
        }
    }
}

TEST(PublicStreamsTest, DrawnPictureIsTheHostsBuiltInPicture) {
    for (const PixelFormat format : {PixelFormat::Argb16, PixelFormat::BgraFloat}) {
        const World world = TestPictureWorld(format, 64, 36);
        PaddedPicture drawn(format, 64, 36, 0);
        DrawTestPicture(drawn.view);
        EXPECT_EQ(std::memcmp(drawn.bytes.data(), world.Row(0), drawn.bytes.size()), 0);
    }
}

TEST(PublicEffectJsonTest, ParamsJsonIsTheSnapshotAndStrokesAreFigures) {
    LoadOptions options;
    options.modulePath = CORVELLE_MODULE_PATH;
    options.layerWidth = 320;
    options.layerHeight = 180;
    Effect effect(options);
    effect.SetNumber("width", 123.5);
    EXPECT_EQ(nlohmann::ordered_json::parse(effect.ParamsJson()), ParamSnapshot(Internals(effect).host));

    const nlohmann::json strokes = nlohmann::json::parse(effect.ControlStrokesJson());
    ASSERT_TRUE(strokes.is_array());
    ASSERT_FALSE(strokes.empty());
    for (const nlohmann::json& stroke : strokes) {
        EXPECT_TRUE(stroke.at("ops").is_array());
        EXPECT_EQ(stroke.at("rgba").size(), 4u);
    }
    EXPECT_FALSE(Internals(effect).host.Trace().Enabled()) << "the trace stays off after a draw";
}

}   // namespace
}   // namespace corvelle
