// Frames rendered side by side must still come out whole and in order, and a failure must
// stop the stream where a render one frame at a time would have stopped it.
#include <corvelle/streams.h>

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace corvelle {
namespace {

using testing_support::LetteredFrames;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr int kFrameBytes = 2 * 2 * 4;

enum class Stage { None, Render, Write };

struct PipelineCase {
    const char* name;
    std::size_t lanes;
    int wholeFrames;
    int extraBytes;           // a last frame cut short
    std::set<long> failing;   // frames whose render (or write) throws
    Stage stage;
    long expectWritten;
    std::string expectError;   // empty: none
};

class FramePipelineTest : public testing::TestWithParam<PipelineCase> {};

TEST_P(FramePipelineTest, WritesWholeFramesInOrderUpToTheFirstFailure) {
    const PipelineCase& c = GetParam();
    const std::string bytes = LetteredFrames(c.wholeFrames, static_cast<std::size_t>(kFrameBytes),
                                             static_cast<std::size_t>(c.extraBytes));
    TempDir dir;
    WriteBytes(dir / "frames.raw", bytes);
    RawFrameReader reader(dir / "frames.raw");

    // Each lane copies its frame out; later frames finish sooner, so lanes overtake each other.
    std::vector<std::vector<uint8_t>> outputs(c.lanes, std::vector<uint8_t>(kFrameBytes));
    std::vector<LaneRender> lanes;
    for (std::size_t lane = 0; lane < c.lanes; ++lane) {
        lanes.push_back([&, lane](long frame, const ConstImageView& layer) {
            std::this_thread::sleep_for(std::chrono::milliseconds(frame % 2 == 0 ? 20 : 1));
            if (c.stage == Stage::Render && c.failing.count(frame) != 0) {
                throw Error("frame " + std::to_string(frame) + " failed");
            }
            const auto* in = static_cast<const uint8_t*>(layer.data);
            std::copy(in, in + kFrameBytes, outputs[lane].begin());
            return ConstImageView{outputs[lane].data(), 2, 2, 8, PixelFormat::Argb8};
        });
    }
    std::string written;
    const auto write = [&](long index, const ConstImageView& frame) {
        EXPECT_EQ(index, static_cast<long>(written.size()) / kFrameBytes);
        if (c.stage == Stage::Write && c.failing.count(index) != 0) {
            throw Error("writing frame " + std::to_string(index) + " failed");
        }
        written.append(static_cast<const char*>(frame.data), kFrameBytes);
    };

    std::string error;
    long count = -1;
    try {
        count = RenderFramesInOrder(reader, PixelFormat::Argb8, 2, 2, lanes, write);
    } catch (const Error& e) {
        error = e.what();
    }
    if (c.expectError.empty()) {
        EXPECT_EQ(error, "");
        EXPECT_EQ(count, c.expectWritten);
    } else {
        EXPECT_NE(error.find(c.expectError), std::string::npos) << error;
    }
    EXPECT_EQ(written, bytes.substr(0, static_cast<std::size_t>(c.expectWritten) * kFrameBytes));
}

const PipelineCase kPipelines[] = {
    {"one_lane", 1, 5, 0, {}, Stage::None, 5, ""},
    {"two_lanes", 2, 7, 0, {}, Stage::None, 7, ""},
    {"three_lanes", 3, 8, 0, {}, Stage::None, 8, ""},
    {"more_lanes_than_frames", 4, 2, 0, {}, Stage::None, 2, ""},
    {"empty_stream", 2, 0, 0, {}, Stage::None, 0, ""},
    {"cut_after_three", 2, 3, 5, {}, Stage::None, 3, "missing"},
    {"cut_first", 3, 0, 5, {}, Stage::None, 0, "missing"},
    {"render_fails_first", 2, 6, 0, {0}, Stage::Render, 0, "frame 0 failed"},
    {"render_fails_midway", 2, 6, 0, {3}, Stage::Render, 3, "frame 3 failed"},
    // Frame 5 fails sooner than frame 4 (odd frames are quick); frame 4's error is the one told.
    {"earliest_failure_told", 2, 8, 0, {4, 5}, Stage::Render, 4, "frame 4 failed"},
    {"render_fails_last", 3, 6, 0, {5}, Stage::Render, 5, "frame 5 failed"},
    {"write_fails_midway", 2, 6, 0, {2}, Stage::Write, 2, "writing frame 2 failed"},
    {"one_lane_write_fails", 1, 4, 0, {1}, Stage::Write, 1, "writing frame 1 failed"},
};

INSTANTIATE_TEST_SUITE_P(Streams, FramePipelineTest, testing::ValuesIn(kPipelines),
                         testing_support::CaseName());

// Frames a file each: lanes read and write at once, so frames may be written out of order, but
// every frame before the first failure is written exactly once, whole, and that failure is told.
struct FilesCase {
    const char* name;
    std::size_t lanes;
    long frames;
    long failing;   // -1: none
    Stage stage;    // None: the read of `failing` throws
    std::string expectError;
};

class RenderFramesAtOnceTest : public testing::TestWithParam<FilesCase> {};

TEST_P(RenderFramesAtOnceTest, WritesEveryFrameBeforeTheFirstFailureOnce) {
    const FilesCase& c = GetParam();
    const auto content = [](long frame) { return static_cast<uint8_t>('a' + frame); };
    const FrameSource read = [&](long frame, std::optional<Picture>& layer) {
        if (frame >= c.frames)
            return false;
        if (c.stage == Stage::None && frame == c.failing)
            throw Error("reading frame " + std::to_string(frame) + " failed");
        layer = MakePicture(PixelFormat::Argb8, 2, 2);
        std::fill(layer->bytes.data(), layer->bytes.data() + kFrameBytes, content(frame));
        return true;
    };
    std::vector<std::vector<uint8_t>> outputs(c.lanes, std::vector<uint8_t>(kFrameBytes));
    std::vector<LaneRender> lanes;
    for (std::size_t lane = 0; lane < c.lanes; ++lane) {
        lanes.push_back([&, lane](long frame, const ConstImageView& layer) {
            std::this_thread::sleep_for(std::chrono::milliseconds(frame % 2 == 0 ? 15 : 1));
            if (c.stage == Stage::Render && frame == c.failing)
                throw Error("frame " + std::to_string(frame) + " failed");
            const auto* in = static_cast<const uint8_t*>(layer.data);
            std::copy(in, in + kFrameBytes, outputs[lane].begin());
            return ConstImageView{outputs[lane].data(), 2, 2, 8, PixelFormat::Argb8};
        });
    }
    std::mutex writing;
    std::vector<int> times(static_cast<std::size_t>(c.frames), 0);
    const FrameSink write = [&](long frame, const ConstImageView& rendered) {
        const auto* bytes = static_cast<const uint8_t*>(rendered.data);
        const std::lock_guard<std::mutex> lock(writing);
        EXPECT_EQ(std::count(bytes, bytes + kFrameBytes, content(frame)), kFrameBytes) << "frame " << frame;
        ++times[static_cast<std::size_t>(frame)];
    };
    std::string error;
    long count = -1;
    try {
        count = RenderFrames(read, lanes, write, FrameAccess::AtOnce);
    } catch (const Error& e) {
        error = e.what();
    }
    EXPECT_EQ(error, c.expectError);
    const long whole = c.failing < 0 ? c.frames : c.failing;
    for (long frame = 0; frame < c.frames; ++frame) {
        if (frame < whole) {
            EXPECT_EQ(times[static_cast<std::size_t>(frame)], 1) << "frame " << frame;
        } else {
            EXPECT_LE(times[static_cast<std::size_t>(frame)], frame == c.failing ? 0 : 1)
                << "frame " << frame;
        }
    }
    if (c.failing < 0) {
        EXPECT_EQ(count, c.frames);
    }
}

const FilesCase kFiles[] = {
    {"one_lane", 1, 4, -1, Stage::None, ""},
    {"two_lanes", 2, 9, -1, Stage::None, ""},
    {"three_lanes", 3, 10, -1, Stage::None, ""},
    {"no_frames", 2, 0, -1, Stage::None, ""},
    {"read_fails", 2, 8, 3, Stage::None, "reading frame 3 failed"},
    {"read_fails_first", 3, 8, 0, Stage::None, "reading frame 0 failed"},
    {"render_fails", 2, 8, 4, Stage::Render, "frame 4 failed"},
};

INSTANTIATE_TEST_SUITE_P(Files, RenderFramesAtOnceTest, testing::ValuesIn(kFiles),
                         testing_support::CaseName());

TEST(FramePipelineTest, RefusesNoLanes) {
    TempDir dir;
    std::ofstream(dir / "frames.raw", std::ios::binary) << std::string(kFrameBytes, 'x');
    RawFrameReader reader(dir / "frames.raw");
    EXPECT_THROW(
        RenderFramesInOrder(reader, PixelFormat::Argb8, 2, 2, {}, [](long, const ConstImageView&) {}), Error);
}

}   // namespace
}   // namespace corvelle
