// `corvelle` with keyframes: every keyed frame equals a flat render of the values a host would
// hand the module at that frame, ranges rendered apart equal one run, drags write keys, and every
// bad file is a command-line mistake refused before any output appears.
#include "RenderTestSupport.h"
#include "core/World.h"
#include "testing/Testing.h"
#include "pictures/ImageFiles.h"

#include <corvelle/keyframes.h>

#include "CaseName.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CommandResult;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::RunRender;
using testing_support::RunShell;
using testing_support::TempDir;
using testing_support::WriteBytes;

constexpr int kWidth = 64;
constexpr int kHeight = 36;

std::string FrameFile(const std::string& prefix, long frame) {
    char name[64];
    std::snprintf(name, sizeof name, "%s.%04ld.png", prefix.c_str(), frame);
    return name;
}

/// The built-in picture, marked with its frame number so frames cannot be mixed up unseen.
void WriteFrames(const TempDir& dir, long first, long last) {
    for (long frame = first; frame <= last; ++frame) {
        World picture = TestPictureWorld(PixelLayout::Argb8, kWidth, kHeight);
        picture.PixelAt(static_cast<A_long>(frame % kWidth), 0)[1] = static_cast<uint8_t>(frame * 20);
        WriteImage(dir / FrameFile("in", frame), picture);
    }
}

const char kKeys[] = R"({"version": 1, "fps": 25, "params": {"blend": "screen"},
  "keys": {
    "width": [{"frame": 1, "value": 20, "interp": "ease"}, {"frame": 9, "value": 60.7}],
    "angle": [{"frame": 1, "value": 0}, {"frame": 9, "value": 33.3}],
    "opacity": [{"frame": 3, "value": 10, "interp": "hold"}, {"frame": 6, "value": 90}],
    "origin": [{"frame": 1, "value": [10, 10]}, {"frame": 9, "value": [50.5, 30.25]}],
    "color": [{"frame": 1, "value": "#000000"}, {"frame": 9, "value": "#ff8801"}],
    "feather": [{"frame": 2, "value": 20}]}})";

/// Decimal text that reads back as exactly `v` (glibc prints every digit asked for exactly).
std::string Exact(double v) {
    char text[256];
    std::snprintf(text, sizeof text, "%.120f", v);
    return text;
}

std::string Shortest(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

/// The flat options for kKeys at `frame`, worked out here from the interpolation rules.
std::vector<std::string> FlatOptions(long frame) {
    // Before the first key (frame 1) and after the last (frame 9) the nearest key holds.
    const double u = frame <= 1 ? 0.0 : frame >= 9 ? 1.0 : (static_cast<double>(frame) - 1.0) / 8.0;
    const double ease = (u * u) * (3.0 - (2.0 * u));
    const double width = frame >= 9 ? 60.7 : 20.0 + ((60.7 - 20.0) * ease);
    const double angle = frame >= 9 ? 33.3 : 0.0 + ((33.3 - 0.0) * u);
    const double x = frame >= 9 ? 50.5 : 10.0 + ((50.5 - 10.0) * u);
    const double y = frame >= 9 ? 30.25 : 10.0 + ((30.25 - 10.0) * u);
    char color[8];
    std::snprintf(color, sizeof color, "%02x%02x%02x", static_cast<int>(std::floor((255.0 * u) + 0.5)),
                  static_cast<int>(std::floor((136.0 * u) + 0.5)), static_cast<int>(std::floor(u + 0.5)));
    return {"--blend",   "screen",
            "--width",   Shortest(width),
            "--angle",   Exact(angle),
            "--opacity", frame < 6 ? "10" : "90",
            "--origin",  Exact(x) + "," + Exact(y),
            "--color",   color,
            "--feather", "20"};
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(KeyedRender, EveryFrameEqualsAFlatRenderOfItsValues) {
    TempDir dir;
    WriteFrames(dir, 0, 10);
    WriteBytes(dir / "keys.json", kKeys);
    const CommandResult keyed = RunRender(
        dir, {dir / "in.%04d.png", dir / "out.%04d.png", "--frames", "0-10", "--keys", dir / "keys.json"});
    ASSERT_EQ(0, keyed.status) << keyed.err;
    for (long frame = 0; frame <= 10; ++frame) {
        const std::string flat = dir / FrameFile("flat", frame);
        const CommandResult r =
            RunRender(dir, Joined({dir / FrameFile("in", frame), flat}, FlatOptions(frame)));
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(ReadBytes(flat), ReadBytes(dir / FrameFile("out", frame))) << "frame " << frame;
    }
    // The keys do change the picture: the first and last frames differ.
    EXPECT_NE(ReadBytes(dir / FrameFile("out", 1)), ReadBytes(dir / FrameFile("out", 9)));
}

TEST(KeyedRender, RangesRenderedApartEqualOneRunOnAnyThreadCount) {
    TempDir dir;
    WriteFrames(dir, 1, 10);
    WriteBytes(dir / "keys.json", kKeys);
    const std::vector<std::string> keys = {"--keys", dir / "keys.json"};
    ASSERT_EQ(0, RunRender(dir, Joined({dir / "in.%04d.png", dir / "one.%04d.png", "--frames", "1-10",
                                        "--threads", "1"},
                                       keys))
                     .status);
    for (const char* threads : {"1", "2"}) {
        for (const char* range : {"1-4", "5-10"}) {
            const CommandResult r = RunRender(dir, Joined({dir / "in.%04d.png", dir / "split.%04d.png",
                                                           "--frames", range, "--threads", threads},
                                                          keys));
            ASSERT_EQ(0, r.status) << r.err;
        }
        for (long frame = 1; frame <= 10; ++frame) {
            EXPECT_EQ(ReadBytes(dir / FrameFile("one", frame)), ReadBytes(dir / FrameFile("split", frame)))
                << "frame " << frame << " with " << threads << " threads";
        }
    }
}

// A raw stream renders several frames at once when it has the threads: each frame must still
// get its own keyed values and its place in the stream.
TEST(KeyedRender, RawStreamIsTheSameOnAnyThreadCount) {
    TempDir dir;
    std::string input;
    for (long frame = 0; frame <= 10; ++frame) {
        World picture = TestPictureWorld(PixelLayout::Argb8, kWidth, kHeight);
        picture.PixelAt(static_cast<A_long>(frame % kWidth), 0)[1] = static_cast<uint8_t>(frame * 20);
        input.append(reinterpret_cast<const char*>(picture.Row(0)), picture.RowBytes() * kHeight);
    }
    WriteBytes(dir / "in.raw", input);
    WriteBytes(dir / "keys.json", kKeys);
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const CommandResult one = RunRender(
        dir, {"--raw", size, dir / "in.raw", dir / "one.raw", "--threads", "1", "--keys", dir / "keys.json"});
    ASSERT_EQ(0, one.status) << one.err;
    const std::string expected = ReadBytes(dir / "one.raw");
    ASSERT_EQ(expected.size(), input.size());
    const std::size_t frameBytes = input.size() / 11;
    EXPECT_NE(expected.substr(frameBytes, frameBytes), expected.substr(9 * frameBytes, frameBytes));
    for (const char* threads : {"2", "3", "0"}) {
        const CommandResult file = RunRender(dir, {"--raw", size, dir / "in.raw", dir / "many.raw",
                                                   "--threads", threads, "--keys", dir / "keys.json"});
        ASSERT_EQ(0, file.status) << file.err;
        EXPECT_EQ(ReadBytes(dir / "many.raw"), expected) << threads << " threads";
        const CommandResult piped =
            RunRender(dir, {"--raw", size, "-", "-", "--threads", threads, "--keys", dir / "keys.json"},
                      dir / "in.raw");
        ASSERT_EQ(0, piped.status) << piped.err;
        EXPECT_EQ(piped.out, expected) << threads << " threads, piped";
    }
}

TEST(KeyedRender, SinglePictureAndOverlayShowTheGivenFrame) {
    TempDir dir;
    WriteFrames(dir, 5, 5);
    WriteBytes(dir / "keys.json", kKeys);
    const std::string in = dir / FrameFile("in", 5);
    ASSERT_EQ(0, RunRender(dir, {in, dir / "keyed.png", "--keys", dir / "keys.json", "--frame", "5"}).status);
    ASSERT_EQ(0, RunRender(dir, Joined({in, dir / "flat.png"}, FlatOptions(5))).status);
    EXPECT_EQ(ReadBytes(dir / "flat.png"), ReadBytes(dir / "keyed.png"));

    const std::string overlay = std::string("'") + CORVELLE_COMMAND_PATH + "' overlay --module '" +
                                CORVELLE_MODULE_PATH + "' '" + in + "' ";
    std::string flat;
    for (const std::string& option : FlatOptions(5)) {
        flat += " '" + option + "'";
    }
    ASSERT_EQ(0, RunShell(dir, overlay + "'" + (dir / "o-keyed.png") + "' --frame 5 --keys '" +
                                   (dir / "keys.json") + "'")
                     .status);
    ASSERT_EQ(0, RunShell(dir, overlay + "'" + (dir / "o-flat.png") + "'" + flat).status);
    EXPECT_EQ(ReadBytes(dir / "o-flat.png"), ReadBytes(dir / "o-keyed.png"));
}

// A drag with the stopwatch on: the changed parameters get keys at the frame, an existing key
// there keeps its interpolation, and the other keys stay.
TEST(KeyedDrag, SavesTheDragsChangesAsKeysAtTheFrame) {
    TempDir dir;
    WriteBytes(dir / "keys.json", R"({"version": 1, "fps": 25, "params": {"blend": "add"},
        "keys": {"width": [{"frame": 0, "value": 250}, {"frame": 24, "value": 300, "interp": "ease"}]}})");
    const CommandResult r =
        RunShell(dir, std::string("'") + CORVELLE_COMMAND_PATH + "' drag --module '" + CORVELLE_MODULE_PATH +
                          "' --press 1110,640 --release 1160,690 --frame 24 --keys '" + (dir / "keys.json") +
                          "' --save-keys '" + (dir / "saved.json") + "'");
    ASSERT_EQ(0, r.status) << r.err;
    const nlohmann::json reported = nlohmann::json::parse(r.out);
    ASSERT_EQ(4, reported["grabbed"]);

    LoadOptions load;
    load.modulePath = CORVELLE_MODULE_PATH;
    const Keyframes saved = Keyframes::Load(dir / "saved.json", Effect(load).Params());
    ASSERT_EQ(1u, saved.Constants().size());
    ASSERT_EQ(2u, saved.Tracks().size());
    const KeyTrack& width = saved.Tracks()[0];
    const KeyTrack& height = saved.Tracks()[1];
    ASSERT_EQ("width", width.param);
    ASSERT_EQ(2u, width.keys.size());
    EXPECT_EQ(250.0, width.keys[0].value.number);
    EXPECT_EQ(24.0, width.keys[1].frame);
    EXPECT_EQ(reported["params"]["width"].get<double>(), width.keys[1].value.number);
    EXPECT_EQ(Interpolation::Ease, width.keys[1].interp);
    ASSERT_EQ("height", height.param);
    ASSERT_EQ(1u, height.keys.size());
    EXPECT_EQ(reported["params"]["height"].get<double>(), height.keys[0].value.number);
}

struct BadKeysCase {
    const char* name;
    const char* text;   // null: no file at all
};

const BadKeysCase kBadKeys[] = {
    {"missing", nullptr},
    {"malformed", R"({"keys": {"width": [{"frame": 0, "value": 1},]}})"},
    {"unknown_parameter", R"({"keys": {"size": [{"frame": 0, "value": 1}]}})"},
    {"keyed_popup", R"({"keys": {"falloff": [{"frame": 0, "value": 2}]}})"},
    {"out_of_range", R"({"keys": {"opacity": [{"frame": 0, "value": 101}]}})"},
    {"unsorted", R"({"keys": {"width": [{"frame": 2, "value": 1}, {"frame": 1, "value": 1}]}})"},
    {"duplicate", R"({"keys": {"width": [{"frame": 1, "value": 1}, {"frame": 1, "value": 2}]}})"},
};

class BadKeysCommandTest : public ::testing::TestWithParam<BadKeysCase> {};

// Exit status 2 from each command that takes keys, with nothing written.
TEST_P(BadKeysCommandTest, IsACommandLineMistakeWithNoOutput) {
    const BadKeysCase& c = GetParam();
    TempDir dir;
    WriteFrames(dir, 1, 2);
    if (c.text != nullptr) {
        WriteBytes(dir / "keys.json", c.text);
    }
    const std::string keys = dir / "keys.json";
    EXPECT_EQ(2,
              RunRender(dir, {dir / "in.%04d.png", dir / "out.%04d.png", "--frames", "1-2", "--keys", keys})
                  .status);
    EXPECT_EQ(2, RunRender(dir, {dir / FrameFile("in", 1), dir / "out.png", "--keys", keys}).status);
    const std::string command = std::string("'") + CORVELLE_COMMAND_PATH + "' ";
    const std::string module = " --module '" + std::string(CORVELLE_MODULE_PATH) + "' --keys '" + keys + "'";
    EXPECT_EQ(2, RunShell(dir, command + "overlay '" + (dir / FrameFile("in", 1)) + "' '" + (dir / "o.png") +
                                   "'" + module)
                     .status);
    EXPECT_EQ(
        2,
        RunShell(dir, command + "drag --press 1,1 --save-keys '" + (dir / "s.json") + "'" + module).status);
    for (const char* written : {"out.0001.png", "out.png", "o.png", "s.json"}) {
        EXPECT_FALSE(Exists(dir / written)) << written;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BadKeysCommandTest, ::testing::ValuesIn(kBadKeys),
                         testing_support::CaseName());

TEST(KeyedRender, FrameIsForSinglePicturesOnly) {
    TempDir dir;
    WriteFrames(dir, 1, 1);
    EXPECT_EQ(2,
              RunRender(dir, {dir / "in.%04d.png", dir / "out.%04d.png", "--frames", "1-1", "--frame", "1"})
                  .status);
    EXPECT_EQ(2, RunRender(dir, {"--raw", "4x4", "-", "-", "--frame", "1"}).status);
    EXPECT_EQ(2, RunRender(dir, {dir / FrameFile("in", 1), dir / "out.png", "--frame", "-1"}).status);
}

}   // namespace
}   // namespace corvelle
