// The corvelle command line run in-process: how a refused command line reads, and the usage.
#include "cli/CommandLine.h"

#include "CaseName.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;
using testing_support::Exists;
using testing_support::TempDir;

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
                    "corvelle: --opacity: expected a decimal number from -32768 to 32767.99998, got 'lots'"},
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
    CommandContext context;
    context.faults.refusedSuites.insert({"PF Pixel Format Suite", 1});
    context.faults.refuseOnlyDuring = PF_Cmd_RENDER;
    const RunResult result = RunCorvelle(
        {"render", "--raw", "4x2", dir / "out.raw", "--host", "premiere", "--module", CORVELLE_MODULE_PATH},
        context);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "corvelle: rendering: the module returned error 516: Not able to acquire AEFX Suite.\n");
    EXPECT_FALSE(Exists(dir / "out.raw"));
}

}   // namespace
}   // namespace corvelle
