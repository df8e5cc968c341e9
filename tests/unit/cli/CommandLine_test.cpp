// The corvelle command line run in-process: how a refused command line reads, and the usage.
#include "cli/CommandLine.h"
#include "testing/Testing.h"

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <utility>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

RunResult RunCorvelle(const std::vector<std::string>& args, const CommandContext& context = {}) {
    std::vector<const char*> argv{"corvelle"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.status = RunCommandLine(static_cast<int>(argv.size()), argv.data(), context, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    const char* expected;   // the whole of standard error
};

class RefusedCommandLineTest : public testing::TestWithParam<RefusalCase> {};

// Every refusal is one line in the command's own style and exit status 2, whatever part of
// CLI11 caught it; nothing is run, so nothing else is printed.
TEST_P(RefusedCommandLineTest, SaysWhatFailedAndWhy) {
    const RefusalCase& c = GetParam();
    const RunResult result = RunCorvelle(c.args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, std::string(c.expected) + "\n");
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RefusedCommandLineTest,
    testing::Values(
        RefusalCase{
            "no_command", {}, "corvelle: no command given: expected info, render, overlay, drag or serve"},
        RefusalCase{"unknown_command",
                    {"paint"},
                    "corvelle: paint: not a command (info, render, overlay, drag or serve)"},
        RefusalCase{"unknown_option",
                    {"render", "--sparkle", "out.png"},
                    "corvelle: render: unknown option --sparkle (corvelle render --help lists them)"},
        RefusalCase{"unknown_option_after_file",
                    {"render", "out.png", "-x"},
                    "corvelle: render: unknown option -x (corvelle render --help lists them)"},
        RefusalCase{
            "missing_value", {"render", "out.png", "--opacity"}, "corvelle: --opacity: needs a value"},
        RefusalCase{"bad_number",
                    {"render", "out.png", "--opacity", "lots"},
                    "corvelle: --opacity: expected a decimal number from -32768 to 32767.9999847412109375, "
                    "got 'lots'"},
        RefusalCase{"bad_window_pair",
                    {"overlay", "out.png", "--offset", "1"},
                    "corvelle: --offset: expected two numbers as X,Y, got \"1\""},
        RefusalCase{"no_files", {"render"}, "corvelle: render: expected [INPUT] OUTPUT, got no file"},
        RefusalCase{"three_files",
                    {"overlay", "a.png", "b.png", "c.png"},
                    "corvelle: overlay: expected [INPUT] OUTPUT, got 3 files"},
        RefusalCase{"required_option", {"drag"}, "corvelle: drag: --press is required"}),
    CaseName());

TEST(CommandLine, UsageNamesTheFilesInOrder) {
    const RunResult render = RunCorvelle({"render", "--help"});
    EXPECT_EQ(render.status, 0);
    EXPECT_NE(render.out.find("Usage: corvelle render [INPUT] OUTPUT [options]\n"), std::string::npos)
        << render.out;
    EXPECT_NE(render.out.find("  --opacity PERCENT "), std::string::npos) << render.out;
    EXPECT_NE(RunCorvelle({"--help"}).out.find("Usage: corvelle COMMAND [options]\n"), std::string::npos);
}

// A module error with a message reaches the user whole. Refused the pixel format suite in the
// render alone (Global setup still declares the formats), the editor's render fails with the
// suite helper's own text, and no output appears.
TEST(CommandLine, RenderReportsTheModulesMessage) {
    TempDir dir;
    FaultPlan faults;
    faults.refusedSuites.insert({"PF Pixel Format Suite", 1});
    faults.refuseOnlyDuring = PF_Cmd_RENDER;
    CommandContext context;
    context.makeEffect = [faults](const LoadOptions& load) { return MakeEffect(load, faults); };
    const RunResult result = RunCorvelle(
        {"render", "--raw", "4x2", dir / "out.raw", "--host", "premiere", "--module", CORVELLE_MODULE_PATH},
        context);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "corvelle: rendering: the module returned error 516: Not able to acquire AEFX Suite.\n");
    EXPECT_FALSE(Exists(dir / "out.raw"));
}

struct StatusCase {
    const char* name;
    std::vector<std::string> args;
};

class CommandLineMistakeTest : public testing::TestWithParam<StatusCase> {};

// Every mistake in what the command line asks for exits 2, whichever part finds it: the parser,
// a value's own check, or the run's checks before it touches anything.
TEST_P(CommandLineMistakeTest, ExitsTwo) {
    TempDir dir;
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        if (arg.rfind("DIR/", 0) == 0)
            arg = dir / arg.substr(4);
    }
    const RunResult result = RunCorvelle(args);
    EXPECT_EQ(result.status, 2) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineMistakeTest,
    testing::Values(
        StatusCase{"no_command", {}}, StatusCase{"unknown_command", {"paint"}},
        StatusCase{"unknown_option", {"render", "DIR/o.png", "--sparkle"}},
        StatusCase{"too_many_files", {"render", "a.png", "b.png", "c.png"}},
        StatusCase{"bad_width", {"render", "DIR/o.png", "--width", " 5"}},
        StatusCase{"bad_raw_size", {"render", "--raw", "0x5", "-", "-"}},
        StatusCase{"raw_side_too_long", {"render", "--raw", "32768x5", "-", "-"}},
        StatusCase{"bad_frames", {"render", "a.%d.png", "DIR/b.%d.png", "--frames", "5-2"}},
        StatusCase{"bad_max_pixels", {"render", "DIR/o.png", "--max-pixels", "0"}},
        StatusCase{"depth_the_host_lacks", {"render", "DIR/o.png", "--depth", "32"}},
        StatusCase{"unknown_output_format", {"render", "DIR/o.xyz"}},
        StatusCase{"picture_to_stdout", {"render", "-"}},
        StatusCase{"sequence_without_frames", {"render", "a.%d.png", "DIR/b.%d.png"}},
        StatusCase{"frames_with_raw", {"render", "--raw", "4x4", "--frames", "1-2", "-", "-"}},
        StatusCase{"bad_pattern", {"render", "a.%s.png", "DIR/b.%d.png", "--frames", "1-2"}},
        StatusCase{"overlay_not_png", {"overlay", "DIR/o.tif"}},
        StatusCase{"overlay_trace_is_output", {"overlay", "DIR/o.png", "--trace", "DIR/o.png"}},
        StatusCase{"bad_zoom", {"overlay", "DIR/o.png", "--zoom", "1/65"}},
        StatusCase{"bad_window", {"overlay", "DIR/o.png", "--window", "sky"}},
        StatusCase{"drag_without_press", {"drag"}},
        StatusCase{"drag_bad_press", {"drag", "--press", "1.5,2"}},
        StatusCase{"drag_press_far_away", {"drag", "--press", "2000000,0"}},
        StatusCase{"info_bad_host", {"info", "--host", "nuke"}},
        StatusCase{"blend_past_the_last_choice",
                   {"render", "DIR/o.png", "--blend", "24", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"shape_zero", {"render", "DIR/o.png", "--shape", "0", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"shape_negative",
                   {"render", "DIR/o.png", "--shape", "-3", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"fill_zero", {"render", "DIR/o.png", "--fill", "0", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"falloff_zero",
                   {"render", "DIR/o.png", "--falloff", "0", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"overlay_window_too_wide",
                   {"overlay", "DIR/o.png", "--zoom", "64", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"drag_window_too_wide",
                   {"drag", "--press", "1,1", "--zoom", "64", "--module", CORVELLE_MODULE_PATH}},
        StatusCase{"drag_move_far_away", {"drag", "--press", "1,1", "--move", "1e7,0"}}),
    CaseName());

struct SharedFileCase {
    const char* name;
    std::vector<std::string> args;   // "DIR/" names a file in the case's folder
    int status;
};

class SharedFileTest : public testing::TestWithParam<SharedFileCase> {};

// No output may be an input or another output, however the two names reach one file; the
// refusal comes before anything is read or written, so every file is left as it was.
TEST_P(SharedFileTest, LeavesEveryFileAlone) {
    const SharedFileCase& c = GetParam();
    TempDir dir;
    const std::string keys = R"({"version": 1, "params": {"blend": "screen"}})";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"in.png", "not read"}, {"in.raw", "not read either"}, {"k.json", keys},
        {"kk.json", keys},      {"in.1.png", "not read"},      {"keys.1.png", keys}};
    for (const auto& [name, bytes] : files)
        WriteBytes(dir / name, bytes);
    ASSERT_EQ(symlink("new.png", (dir / "lnk").c_str()), 0);
    ASSERT_EQ(symlink("lnk", (dir / "lnk2.png").c_str()), 0);
    ASSERT_EQ(symlink((dir / "k.json").c_str(), (dir / "klink.png").c_str()), 0);
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg.rfind("DIR/", 0) == 0)
            arg = dir / arg.substr(4);
    }
    args.insert(args.end(), {"--module", CORVELLE_MODULE_PATH});
    const RunResult result = RunCorvelle(args);
    EXPECT_EQ(result.status, c.status) << result.err;
    if (c.status != 2)
        return;
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadBytes(dir / name), bytes) << name;
    EXPECT_FALSE(Exists(dir / "new.png"));
    EXPECT_FALSE(Exists(dir / "d.png"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SharedFileTest,
    testing::Values(
        SharedFileCase{"raw_output_is_keys",
                       {"render", "--raw", "8x4", "DIR/in.raw", "DIR/k.json", "--keys", "DIR/k.json"},
                       2},
        SharedFileCase{
            "picture_output_is_keys", {"render", "DIR/in.png", "DIR/klink.png", "--keys", "DIR/k.json"}, 2},
        SharedFileCase{
            "sequence_output_is_keys",
            {"render", "DIR/in.%d.png", "DIR/keys.%d.png", "--frames", "1-1", "--keys", "DIR/keys.1.png"},
            2},
        SharedFileCase{"overlay_trace_is_keys",
                       {"overlay", "DIR/new.png", "--keys", "DIR/kk.json", "--trace", "DIR/kk.json"},
                       2},
        SharedFileCase{
            "overlay_trace_through_dangling_link", {"overlay", "DIR/new.png", "--trace", "DIR/lnk"}, 2},
        SharedFileCase{
            "overlay_output_through_two_links", {"overlay", "DIR/lnk2.png", "--trace", "DIR/new.png"}, 2},
        SharedFileCase{"drag_saves_keys_over_input",
                       {"drag", "--press", "1,1", "--input", "DIR/in.png", "--save-keys", "DIR/in.png"},
                       2},
        SharedFileCase{"drag_saves_keys_over_overlay",
                       {"drag", "--press", "1,1", "--save-keys", "DIR/d.png", "--overlay", "DIR/d.png"},
                       2},
        SharedFileCase{"drag_overlay_is_keys",
                       {"drag", "--press", "1,1", "--keys", "DIR/k.json", "--overlay", "DIR/klink.png"},
                       2},
        SharedFileCase{"drag_updates_its_key_file",
                       {"drag", "--press", "1,1", "--keys", "DIR/k.json", "--save-keys", "DIR/klink.png"},
                       0}),
    CaseName());

}   // namespace
}   // namespace corvelle
