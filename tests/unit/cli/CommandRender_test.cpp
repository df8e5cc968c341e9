// The built `corvelle render` on the built module: bad input never leaves an output behind,
// and pictures, sequences and raw streams come through as they should.
#include "CaseName.h"
#include "pictures/ImageFiles.h"
#include "RenderTestSupport.h"
#include "testing/Testing.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::CommandResult;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::RunRender;
using testing_support::TempDir;
using testing_support::WriteBytes;

const char kKeep[] = "an earlier result that must survive";

/// 8-bit RGBA samples whose values differ everywhere, with some zero alphas over colour.
std::vector<uint8_t> Samples(int width, int height, unsigned seed) {
    std::vector<uint8_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<uint8_t>(((i + seed) * 97u) % 256u);
        if (i % 12 == 3)
            samples[i] = 0;
    }
    return samples;
}

void WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& samples) {
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::UINT8);
    spec.alpha_channel = 3;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(out->open(path, spec));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT8, samples.data()));
    ASSERT_TRUE(out->close());
}

/// The stored 8-bit RGBA of a PNG, read without premultiplication.
std::vector<uint8_t> ReadPng(const std::string& path, int* width = nullptr, int* height = nullptr) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path, &config);
    if (!in)
        return {};
    const OIIO::ImageSpec& spec = in->spec();
    if (width)
        *width = spec.width;
    if (height)
        *height = spec.height;
    std::vector<uint8_t> samples(static_cast<std::size_t>(spec.width) *
                                 static_cast<std::size_t>(spec.height) *
                                 static_cast<std::size_t>(spec.nchannels));
    if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, samples.data()))
        return {};
    return samples;
}

/// "@name" stands for a file in the test's folder.
std::vector<std::string> InFolder(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> out;
    for (const std::string& arg : args)
        out.push_back(arg.rfind('@', 0) == 0 ? dir / arg.substr(1) : arg);
    return out;
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    const char* output;     // the output the command was asked for
    const char* message;    // part of the expected message
    bool existing = true;   // whether an earlier output is already there
};

class BadInputTest : public testing::TestWithParam<BadCase> {
protected:
    void SetUp() override {
        WritePng(m_dir / "in.png", 8, 6, Samples(8, 6, 1));
        WriteBytes(m_dir / "text.png", "this is not a picture");
        WriteBytes(m_dir / "short.raw",
                   std::string(16 * 16 * 4 * 2 - 24, '\x40'));   // 2 frames less 24 bytes
        WritePng(m_dir / "seq1.png", 8, 6, Samples(8, 6, 2));
        WritePng(m_dir / "seq3.png", 8, 6, Samples(8, 6, 3));
    }
    void ExpectRefused(const CommandResult& result, const BadCase& c) {
        EXPECT_NE(result.status, 0) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << "stderr: " << result.err;
        EXPECT_TRUE(result.out.empty());
    }
    TempDir m_dir;
};

// Most cases start with an earlier output in place, which must survive; the others check that
// nothing appears where nothing was.
TEST_P(BadInputTest, FailsWithAMessageAndWritesNothing) {
    const BadCase& c = GetParam();
    const std::string output = m_dir / c.output;
    if (c.existing)
        WriteBytes(output, kKeep);
    const std::vector<std::string> before = m_dir.Names();
    ExpectRefused(RunRender(m_dir, InFolder(m_dir, c.args)), c);
    EXPECT_EQ(m_dir.Names(), before) << "an output or a temporary was left behind";
    if (c.existing) {
        EXPECT_EQ(ReadBytes(output), kKeep);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Render, BadInputTest,
    testing::Values(
        BadCase{"missing_input", {"@missing.png", "@out.png"}, "out.png", "corvelle: reading"},
        BadCase{"not_an_image", {"@text.png", "@out.png"}, "out.png", "corvelle: reading", false},
        BadCase{"unsupported_output", {"@in.png", "@out.jpg"}, "out.jpg", "unsupported output format"},
        BadCase{"compositor_float", {"@in.png", "@out.png", "--depth", "32"}, "out.png", "--depth"},
        BadCase{"editor_16_bit",
                {"@in.png", "@out.png", "--host", "premiere", "--depth", "16"},
                "out.png",
                "--depth"},
        BadCase{"depth_24", {"@in.png", "@out.png", "--depth", "24"}, "out.png", "--depth"},
        BadCase{"opacity_word", {"@in.png", "@out.png", "--opacity", "lots"}, "out.png", "--opacity"},
        BadCase{"color_short", {"@in.png", "@out.png", "--color", "12345"}, "out.png", "--color"},
        BadCase{"origin_one_number", {"@in.png", "@out.png", "--origin", "3"}, "out.png", "--origin"},
        BadCase{"unknown_blend", {"@in.png", "@out.png", "--blend", "sparkle"}, "out.png", "--blend", false},
        BadCase{"width_beyond_range", {"@in.png", "@out.png", "--width", "20000"}, "out.png", "--width"},
        BadCase{"opacity_beyond_range", {"@in.png", "@out.png", "--opacity", "101"}, "out.png", "--opacity"},
        BadCase{"short_raw_frame",
                {"--raw", "16x16", "@short.raw", "@out.raw"},
                "out.raw",
                "24 of its 1024 bytes",
                false},
        BadCase{"short_raw_frame_over_earlier",
                {"--raw", "16x16", "@short.raw", "@out.raw"},
                "out.raw",
                "missing"},
        BadCase{"raw_size_zero", {"--raw", "0x16", "@short.raw", "@out.raw"}, "out.raw", "--raw"},
        BadCase{"missing_output_folder",
                {"@in.png", "@nowhere/out.png"},
                "nowhere/out.png",
                "does not exist",
                false},
        BadCase{"not_a_module", {"@in.png", "@out.png", "--module", "@text.png"}, "out.png", "corvelle: "},
        BadCase{"sequence_frame_missing",
                {"@seq%d.png", "@o%d.png", "--frames", "1-3"},
                "o1.png",
                "seq2.png",
                false},
        BadCase{"sequence_without_frames", {"@seq%d.png", "@o%d.png"}, "o1.png", "--frames"},
        BadCase{"frames_without_patterns",
                {"@in.png", "@out.png", "--frames", "1-2"},
                "out.png",
                "frame patterns"},
        BadCase{
            "bad_output_pattern", {"@seq%d.png", "@o%d%d.png", "--frames", "1-1"}, "o1.png", "frame pattern"},
        BadCase{"picture_from_stdin", {"-", "@out.png"}, "out.png", "--raw"}),
    CaseName());

TEST(CommandRender, OpacityZeroGivesThePngBackValueForValue) {
    TempDir dir;
    const std::vector<uint8_t> samples = Samples(7, 5, 9);
    WritePng(dir / "in.png", 7, 5, samples);
    for (const char* host : {"ae", "premiere"}) {
        const CommandResult result = RunRender(
            dir, {dir / "in.png", dir / "out.png", "--host", host, "--opacity", "0", "--blend", "screen"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(ReadPng(dir / "out.png"), samples) << host;
    }
}

TEST(CommandRender, RendersChangePixelsAndKeepTheSize) {
    TempDir dir;
    WritePng(dir / "in.png", 8, 6, Samples(8, 6, 4));
    const CommandResult result =
        RunRender(dir, {dir / "in.png", dir / "out.png", "--opacity", "100", "--width", "2", "--height", "2",
                        "--feather", "0", "--blend", "normal", "--color", "102030"});
    ASSERT_EQ(result.status, 0) << result.err;
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> out = ReadPng(dir / "out.png", &width, &height);
    ASSERT_EQ(width, 8);
    ASSERT_EQ(height, 6);
    // The corner lies outside the small shape, so Normal at full opacity paints the colour.
    EXPECT_EQ(out[0], 0x10);
    EXPECT_EQ(out[1], 0x20);
    EXPECT_EQ(out[2], 0x30);
}

struct DownsampleCase {
    const char* name;
    const char* factor;
    int width;
    int height;
};

class DownsampleTest : public testing::TestWithParam<DownsampleCase> {};

TEST_P(DownsampleTest, OutputHasTheDownsampledSize) {
    const DownsampleCase& c = GetParam();
    TempDir dir;
    WritePng(dir / "in.png", 9, 6, Samples(9, 6, 5));
    const CommandResult result = RunRender(dir, {dir / "in.png", dir / "out.png", "--downsample", c.factor});
    ASSERT_EQ(result.status, 0) << result.err;
    int width = 0;
    int height = 0;
    ReadPng(dir / "out.png", &width, &height);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Render, DownsampleTest,
                         testing::Values(DownsampleCase{"half", "1/2", 5, 3},
                                         DownsampleCase{"third", "1/3", 3, 2},
                                         DownsampleCase{"apart", "1/1,1/4", 9, 2}),
                         CaseName());

TEST(CommandRender, SequenceRendersEveryFrame) {
    TempDir dir;
    std::map<int, std::vector<uint8_t>> frames;
    for (int f = 8; f <= 10; ++f) {
        frames[f] = Samples(6, 4, static_cast<unsigned>(f));
        WritePng(dir / ("in." + std::string(f < 10 ? "000" : "00") + std::to_string(f) + ".png"), 6, 4,
                 frames[f]);
    }
    const CommandResult result =
        RunRender(dir, {dir / "in.%04d.png", dir / "out_%d.png", "--frames", "8-10", "--opacity", "0"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (int f = 8; f <= 10; ++f)
        EXPECT_EQ(ReadPng(dir / ("out_" + std::to_string(f) + ".png")), frames[f]) << f;
    EXPECT_FALSE(Exists(dir / "out_7.png"));
    EXPECT_FALSE(Exists(dir / "out_11.png"));
}

struct RawCase {
    const char* name;
    std::vector<std::string> hostArgs;
    std::size_t pixelBytes;
};

class RawStreamTest : public testing::TestWithParam<RawCase> {};

// At opacity 0 the module copies, so every frame of the stream must come back byte for byte.
TEST_P(RawStreamTest, OpacityZeroCopiesEveryFrame) {
    const RawCase& c = GetParam();
    TempDir dir;
    const std::size_t frameBytes = 10 * 4 * c.pixelBytes;
    std::string input;
    for (std::size_t i = 0; i < frameBytes * 3; ++i) {
        // Keep every 16-bit and float value in range: the high byte of each small.
        input += static_cast<char>(i % 2 == 1 ? (i * 7) % 0x3f : (i * 31) % 251);
    }
    WriteBytes(dir / "in.raw", input);
    std::vector<std::string> args = {"--raw", "10x4", dir / "in.raw", dir / "out.raw", "--opacity", "0"};
    args.insert(args.end(), c.hostArgs.begin(), c.hostArgs.end());
    const CommandResult result = RunRender(dir, args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadBytes(dir / "out.raw"), input);

    // The same through standard input and output.
    args[2] = "-";
    args[3] = "-";
    const CommandResult piped = RunRender(dir, args, dir / "in.raw");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, input);
}

INSTANTIATE_TEST_SUITE_P(Render, RawStreamTest,
                         testing::Values(RawCase{"argb8", {}, 4}, RawCase{"argb16", {"--depth", "16"}, 8},
                                         RawCase{"bgra8", {"--host", "premiere"}, 4},
                                         RawCase{"bgrafloat", {"--host", "premiere", "--depth", "32"}, 16}),
                         CaseName());

TEST(CommandRender, RawWithoutInputRendersTheTestPicture) {
    TempDir dir;
    const CommandResult plain = RunRender(dir, {"--raw", "32x18", dir / "plain.raw", "--opacity", "0"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    World picture = TestPictureWorld(PixelLayout::Argb8, 32, 18);
    EXPECT_EQ(ReadBytes(dir / "plain.raw"),
              std::string(reinterpret_cast<const char*>(picture.Row(0)), 32 * 18 * 4));

    const CommandResult rendered =
        RunRender(dir, {"--raw", "32x18", dir / "fx.raw", "--width", "10", "--height", "6"});
    ASSERT_EQ(rendered.status, 0) << rendered.err;
    const std::string fx = ReadBytes(dir / "fx.raw");
    EXPECT_EQ(fx.size(), 32u * 18u * 4u);
    EXPECT_NE(fx, ReadBytes(dir / "plain.raw")) << "the default effect darkens the outside";
}

}   // namespace
}   // namespace corvelle
