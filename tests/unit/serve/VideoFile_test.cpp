// Videos through ffprobe and ffmpeg: what the probe reader refuses, and that a frame decoded on its
// own is the frame a decode of the whole clip gives.
#include "serve/input/InputFrames.h"
#include "serve/input/VideoFile.h"

#include "RenderTestSupport.h"

#include "CaseName.h"

#include <corvelle/convert.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace corvelle::serve {
namespace {

using testing_support::RunShell;
using testing_support::TempDir;

std::string Probe(const std::string& stream,
                  const std::string& format = R"({"format_name":"matroska,webm"})") {
    return R"({"streams":[)" + stream + R"(],"format":)" + format + "}";
}

const char kGoodStream[] =
    R"({"codec_type":"video","width":64,"height":48,"r_frame_rate":"25/1","avg_frame_rate":"25/1",)"
    R"("start_time":"0.000000","nb_read_packets":"12"})";

TEST(VideoProbe, ReadsAWellFormedAnswer) {
    const VideoInfo info = ParseProbe(Probe(kGoodStream), "clip.mkv", 1 << 20);
    EXPECT_FALSE(info.picture);
    EXPECT_EQ(64, info.width);
    EXPECT_EQ(48, info.height);
    EXPECT_EQ(12, info.frames);
    EXPECT_EQ(25.0, info.fps);
    EXPECT_TRUE(info.constantRate);

    const VideoInfo ntsc =
        ParseProbe(Probe(R"({"codec_type":"video","width":8,"height":8,"r_frame_rate":"30000/1001",)"
                         R"("avg_frame_rate":"2997/100","nb_frames":"3"})"),
                   "clip.mp4", 1 << 20);
    EXPECT_EQ(30000.0 / 1001.0, ntsc.fps);
    EXPECT_EQ(3, ntsc.frames);
    EXPECT_FALSE(ntsc.constantRate);   // the average differs: frames are found by number

    const VideoInfo still = ParseProbe(
        Probe(R"({"codec_type":"video","width":8,"height":8,"r_frame_rate":"25/1","nb_read_packets":"1"})",
              R"({"format_name":"png_pipe"})"),
        "a.png", 1 << 20);
    EXPECT_TRUE(still.picture);

    // A rate no host time can express leaves the keys without a time scale, not the clip unread.
    const VideoInfo odd = ParseProbe(
        Probe(R"({"codec_type":"video","width":8,"height":8,"r_frame_rate":"90000/1","nb_frames":"2"})"),
        "odd.mkv", 1 << 20);
    EXPECT_EQ(0.0, odd.fps);
}

/// The good answer with the stream's `field` set to `value` (JSON text), or removed for "".
std::string Changed(const char* field, const char* value) {
    nlohmann::json stream = nlohmann::json::parse(kGoodStream);
    if (*value == 0) {
        stream.erase(field);
    } else {
        stream[field] = nlohmann::json::parse(value);
    }
    return Probe(stream.dump());
}

struct HostileProbe {
    const char* name;
    std::string text;
};

const HostileProbe kHostile[] = {
    {"empty", ""},
    {"not_json", "streams: none"},
    {"array", "[]"},
    {"truncated", R"({"streams":[{"codec_type":"video","width":64)"},
    {"no_streams", R"({"format":{"format_name":"matroska,webm"}})"},
    {"streams_not_list", R"({"streams":{"codec_type":"video"}})"},
    {"no_video", Changed("codec_type", R"("audio")")},
    {"width_zero", Changed("width", "0")},
    {"width_negative", Changed("width", "-64")},
    {"width_huge", Changed("width", "40000")},
    {"width_text", Changed("width", R"("64px")")},
    {"width_fraction", Changed("width", "64.5")},
    {"no_height", Changed("height", "")},
    {"too_many_pixels", Probe(R"({"codec_type":"video","width":32767,"height":32767,"r_frame_rate":"25/1",)"
                              R"("nb_frames":"1"})")},
    {"no_count", Changed("nb_read_packets", "")},
    {"zero_frames", Changed("nb_read_packets", R"("0")")},
    {"negative_frames", Changed("nb_read_packets", R"("-5")")},
    {"absurd_frames", Changed("nb_read_packets", R"("99999999999999999999")")},
    {"count_with_junk", Changed("nb_read_packets", R"("12abc")")},
    {"rate_zero", Changed("r_frame_rate", R"("0/0")")},
    {"rate_negative", Changed("r_frame_rate", R"("-25/1")")},
    {"rate_not_ratio", Changed("r_frame_rate", R"("25")")},
    {"rate_number", Changed("r_frame_rate", "25")},
    {"no_rate", Changed("r_frame_rate", "")},
};

class VideoProbeRefuses : public ::testing::TestWithParam<HostileProbe> {};

TEST_P(VideoProbeRefuses, WithAnIOError) {
    try {
        ParseProbe(GetParam().text, "clip.mkv", 16384LL * 8192LL);
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(ErrorKind::IO, e.Kind()) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, VideoProbeRefuses, ::testing::ValuesIn(kHostile),
                         testing_support::CaseName());

TEST(VideoDecode, ArgumentsAreAVectorWithTheFileNeverAnOption) {
    VideoInfo info;
    info.width = 8;
    info.height = 8;
    info.frames = 10;
    info.rateNum = 25;
    info.rateDen = 1;
    const std::vector<std::string> args = DecodeArguments("/usr/bin/ffmpeg", "-i;rm -rf x.mkv", info, 4);
    const auto input = std::find(args.begin(), args.end(), "-i");
    ASSERT_NE(args.end(), input);
    EXPECT_EQ("file:-i;rm -rf x.mkv", *(input + 1));
    const auto seek = std::find(args.begin(), args.end(), "-ss");
    ASSERT_NE(args.end(), seek);
    EXPECT_EQ("0.140000000", *(seek + 1));   // half a frame before frame 4 at 25 fps
}

/// Runs ffmpeg through the shell for the test's own files; skips the test without ffmpeg.
class VideoFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveVideoTools()) {
            GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
        }
    }

    /// `frames` frames of ffmpeg's test pattern at 25 fps, with inter frames and B-frames so a
    /// seek has to decode from an earlier key frame.
    std::string MakeClip(int frames, const std::string& codec) {
        const std::string clip = m_dir / ("clip." + std::string(codec == "ffv1" ? "mkv" : "mp4"));
        const std::string encoder = codec == "ffv1" ? "-c:v ffv1" : "-c:v mpeg4 -g 7 -bf 2 -q:v 4";
        const auto r =
            RunShell(m_dir, "ffmpeg -v error -y -f lavfi -i testsrc2=size=48x32:rate=25 -frames:v " +
                                std::to_string(frames) + " " + encoder + " '" + clip + "'");
        EXPECT_EQ(0, r.status) << r.err;
        return clip;
    }

    /// Every frame of the clip, decoded in one run.
    std::vector<uint8_t> DecodeAll(const std::string& clip) {
        const std::string raw = m_dir / "all.rgba";
        const auto r =
            RunShell(m_dir, "ffmpeg -v error -y -i '" + clip +
                                "' -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt rgba '" + raw + "'");
        EXPECT_EQ(0, r.status) << r.err;
        const std::string bytes = testing_support::ReadBytes(raw);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    TempDir m_dir;
};

TEST_F(VideoFileTest, EachFrameOnItsOwnIsTheFrameOfTheWholeDecode) {
    for (const std::string codec : {"mpeg4", "ffv1"}) {
        const std::string clip = MakeClip(20, codec);
        ASSERT_TRUE(IsVideoFile(clip));
        const std::vector<uint8_t> all = DecodeAll(clip);
        InputSpec spec;
        spec.kind = InputSpec::Kind::Video;
        spec.path = clip;
        InputFrames input(spec);
        ASSERT_EQ(20, input.Count());
        EXPECT_EQ(25.0, input.Fps());
        const std::size_t frameBytes = 48 * 32 * 4;
        ASSERT_EQ(all.size(), frameBytes * 20);
        // Jumps forward and back, then steps on from the last one read.
        for (long index : {13L, 0L, 6L, 19L, 7L, 8L, 9L}) {
            const Picture picture = input.Read(index, PixelFormat::Argb8);
            std::vector<uint8_t> rgba(frameBytes);
            io::ToRgba8(picture.View(), rgba.data(), 48 * 4);
            const std::vector<uint8_t> expected(
                all.begin() + static_cast<std::ptrdiff_t>(frameBytes * index),
                all.begin() + static_cast<std::ptrdiff_t>(frameBytes * (index + 1)));
            EXPECT_EQ(expected, rgba) << codec << " frame " << index;
        }
    }
}

// ffprobe's count is checked against what ffmpeg gives: a frame past the end is an error, never a
// frame of another time or a short read taken for a picture.
TEST_F(VideoFileTest, AFramePastTheEndIsAnErrorNotAPicture) {
    const std::string clip = MakeClip(5, "ffv1");
    const VideoInfo info = ProbeVideo(clip, 1 << 20);
    VideoFrames past(clip, info, 5);
    std::vector<uint8_t> rgba;
    EXPECT_FALSE(past.Next(rgba));

    VideoInfo overstated = info;
    overstated.width = 96;   // a probe that claims bigger frames than the stream has
    VideoFrames cut(clip, overstated, 0);
    EXPECT_THROW(
        {
            while (cut.Next(rgba)) {
            }
        },
        Error);
}

TEST_F(VideoFileTest, PicturesAndNonVideosAreNotVideos) {
    EXPECT_FALSE(IsVideoFile(m_dir / "nothing.mkv"));
    testing_support::WriteBytes(m_dir / "text.dat", "hello");
    EXPECT_FALSE(IsVideoFile(m_dir / "text.dat"));
    const auto r = RunShell(m_dir, "cd '" + m_dir.Path() +
                                       "' && ffmpeg -v error -y -f lavfi -i testsrc2=size=8x8 -frames:v 1 "
                                       "still.png && cp still.png still.data");
    ASSERT_EQ(0, r.status) << r.err;
    ASSERT_TRUE(testing_support::Exists(m_dir / "still.data"));
    EXPECT_FALSE(IsVideoFile(m_dir / "still.png"));
    EXPECT_FALSE(IsVideoFile(m_dir / "still.data"));   // ffprobe calls it an image, whatever its name
}

}   // namespace
}   // namespace corvelle::serve
