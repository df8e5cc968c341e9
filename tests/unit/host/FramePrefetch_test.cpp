// Reading ahead must hand out the stream's frames in order, each whole, and report a frame cut
// short after every whole frame before it, as reading in turn does.
#include "core/HostError.h"
#include <corvelle/streams.h>

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace corvelle {
namespace {

using testing_support::LetteredFrames;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct StreamCase {
    const char* name;
    int wholeFrames;
    int extraBytes;   // a last frame cut short
    bool readAhead;
};

class FramePrefetchTest : public testing::TestWithParam<StreamCase> {};

TEST_P(FramePrefetchTest, HandsOutEveryWholeFrameInOrder) {
    const StreamCase& c = GetParam();
    constexpr int kFrameBytes = 2 * 2 * 4;
    TempDir dir;
    WriteBytes(dir / "frames.raw", LetteredFrames(c.wholeFrames, static_cast<std::size_t>(kFrameBytes),
                                                  static_cast<std::size_t>(c.extraBytes)));

    RawFrameReader reader(dir / "frames.raw");
    FramePrefetch frames(reader, PixelFormat::Argb8, 2, 2, c.readAhead ? kFrameBytes : kFrameBytes - 1);
    for (int frame = 0; frame < c.wholeFrames; ++frame) {
        const Picture* picture = frames.Next();
        ASSERT_NE(picture, nullptr) << "frame " << frame;
        EXPECT_EQ(picture->bytes[kFrameBytes - 1], 'a' + frame);
        EXPECT_EQ(frames.FramesRead(), frame + 1);
    }
    if (c.extraBytes > 0) {
        EXPECT_THROW(frames.Next(), HostError);
    } else {
        EXPECT_EQ(frames.Next(), nullptr);
        EXPECT_EQ(frames.Next(), nullptr);
    }
}

const StreamCase kStreams[] = {
    {"empty", 0, 0, true},
    {"one_frame", 1, 0, true},
    {"three_frames", 3, 0, true},
    {"cut_after_two", 2, 5, true},
    {"cut_first", 0, 3, true},
    {"large_frames_in_turn", 3, 0, false},
    {"large_frames_cut", 1, 7, false},
};

INSTANTIATE_TEST_SUITE_P(Streams, FramePrefetchTest, testing::ValuesIn(kStreams),
                         testing_support::CaseName());

TEST(FramePrefetchTest, StopsEarlyWithoutWaitingForTheWholeStream) {
    TempDir dir;
    std::ofstream(dir / "frames.raw", std::ios::binary) << std::string(16 * 10, 'x');
    RawFrameReader reader(dir / "frames.raw");
    {
        FramePrefetch frames(reader, PixelFormat::Argb8, 2, 2);
        ASSERT_NE(frames.Next(), nullptr);   // a read of the second frame is now under way
    }
    // Only the frame read ahead was taken from the stream.
    EXPECT_EQ(reader.FramesRead(), 2);
}

}   // namespace
}   // namespace corvelle
