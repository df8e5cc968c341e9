// `corvelle serve` refuses a bad start before it listens: each case exits with its status and
// writes nothing. A case that wrongly started the server is ended by `timeout` (status 124).
#include "RenderTestSupport.h"

#include "CaseName.h"

#include <corvelle/pictures.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::RunShell;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct ServeCase {
    const char* name;
    std::vector<std::string> args;   // in the test's folder, which holds in.png and clip.mkv
    int status;
};

const ServeCase kRefused[] = {
    {"malformed_keys", {"in.png", "--keys", "bad.json"}, 2},
    {"keys_out_of_range", {"in.png", "--keys", "range.json"}, 2},
    {"unreadable_keys", {"in.png", "--keys", "folder"}, 1},
    {"keys_are_the_input", {"in.png", "--keys", "in.png"}, 2},
    {"keys_are_the_output", {"in.png", "--keys", "k.json", "--output", "k.json"}, 2},
    {"output_is_the_input", {"in.png", "--output", "./in.png"}, 2},
    {"keys_folder_missing", {"in.png", "--keys", "none/k.json"}, 1},
    {"fps_zero", {"in.png", "--fps", "0"}, 2},
    {"fps_not_a_ratio", {"in.png", "--fps", "1000.5"}, 2},
    {"fps_text", {"in.png", "--fps", "fast"}, 2},
    {"duration_zero", {"in.png", "--duration", "0"}, 2},
    {"duration_for_a_sequence", {"in.%04d.png", "--frames", "1-2", "--duration", "5"}, 2},
    {"video_output_not_a_pattern", {"clip.mkv", "--output", "out.png"}, 2},
    {"not_a_picture_or_video", {"text.dat"}, 1},
};

class ServeRefuses : public ::testing::TestWithParam<ServeCase> {};

TEST_P(ServeRefuses, BeforeListening) {
    const ServeCase& c = GetParam();
    const bool video = std::find(c.args.begin(), c.args.end(), "clip.mkv") != c.args.end();
    TempDir dir;
    Picture picture = MakePicture(PixelFormat::Argb8, 8, 8);
    WritePicture(dir / "in.png", std::as_const(picture).View());
    WriteBytes(dir / "bad.json", R"({"keys": {"width": [{"frame": 0, "value": 1},]}})");
    WriteBytes(dir / "range.json", R"({"keys": {"opacity": [{"frame": 0, "value": 101}]}})");
    WriteBytes(dir / "text.dat", "not a picture");
    ASSERT_EQ(0, mkdir((dir / "folder").c_str(), 0700));
    if (video &&
        RunShell(dir, "cd '" + dir.Path() +
                          "' && ffmpeg -v error -f lavfi -i testsrc2=size=8x8 -frames:v 2 -c:v ffv1 clip.mkv")
                .status != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    std::string command = "cd '" + dir.Path() + "' && timeout 20 '" + CORVELLE_COMMAND_PATH +
                          "' serve --port 0 --module '" + CORVELLE_MODULE_PATH + "'";
    for (const std::string& arg : c.args) {
        command += " '" + arg + "'";
    }
    const auto r = RunShell(dir, command);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find('\n', r.err.find('\n') + 1)) << "more than one line: " << r.err;
    EXPECT_EQ("", r.out);
    for (const char* written : {"k.json", "out.png"}) {
        EXPECT_FALSE(testing_support::Exists(dir / written)) << written;
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, ServeRefuses, ::testing::ValuesIn(kRefused), testing_support::CaseName());

}   // namespace
}   // namespace corvelle
