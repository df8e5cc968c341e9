// The window options read into the public window description, and the pixels a drag names.
#include "cli/options/WindowOptions.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

/// Parses `args` (without the program name); true when accepted.
bool Parse(std::vector<std::string> args, WindowSpec& window) {
    CLI::App app{"test"};
    AddWindowOptions(app, window);
    std::reverse(args.begin(), args.end());   // CLI11 takes the arguments back to front
    try {
        app.parse(args);
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

TEST(WindowOptionsTest, FillsEveryFieldOfTheWindow) {
    WindowSpec window;
    ASSERT_TRUE(Parse(
        {"--window", "comp", "--zoom", "1/4", "--offset", "-3.5,7", "--layer-pos", "10000,-10000"}, window));
    EXPECT_EQ(window.kind, WindowSpec::Kind::Composition);
    EXPECT_EQ(window.zoom, 0.25);
    EXPECT_EQ(window.offsetX, -3.5);
    EXPECT_EQ(window.offsetY, 7.0);
    EXPECT_EQ(window.layerPosX, 10000.0);
    EXPECT_EQ(window.layerPosY, -10000.0);
}

TEST(WindowOptionsTest, ZoomLimitsAreThoseOfThePublicWindow) {
    for (const char* zoom : {"1/64", "64"}) {
        WindowSpec window;
        EXPECT_TRUE(Parse({"--zoom", zoom}, window)) << zoom;
        EXPECT_TRUE(IsWindowZoom(window.zoom)) << zoom;
    }
    EXPECT_FALSE(IsWindowZoom(kMinWindowZoom / 2));
    EXPECT_FALSE(IsWindowZoom(kMaxWindowZoom * 2));
}

struct RejectCase {
    const char* name;
    std::vector<std::string> args;
};

class RejectedWindowTest : public testing::TestWithParam<RejectCase> {};

TEST_P(RejectedWindowTest, FailsTheParseAndKeepsTheDefaults) {
    WindowSpec window;
    EXPECT_FALSE(Parse(GetParam().args, window));
    EXPECT_EQ(window.kind, WindowSpec::Kind::Layer);
    EXPECT_EQ(window.zoom, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Options, RejectedWindowTest,
                         testing::Values(RejectCase{"unknown_window", {"--window", "Layer"}},
                                         RejectCase{"zoom_below", {"--zoom", "1/65"}},
                                         RejectCase{"zoom_above", {"--zoom", "64.5"}},
                                         RejectCase{"zoom_nan", {"--zoom", "nan"}},
                                         RejectCase{"offset_one_number", {"--offset", "1"}},
                                         RejectCase{"offset_too_far", {"--offset", "0,10001"}},
                                         RejectCase{"layer_pos_not_number", {"--layer-pos", "a,1"}}),
                         CaseName());

struct PixelCase {
    const char* name;
    const char* text;
    bool ok;
    int x;
    int y;
};

class WindowPixelTest : public testing::TestWithParam<PixelCase> {};

TEST_P(WindowPixelTest, ReadsWholePixelsWithinRange) {
    const PixelCase& c = GetParam();
    if (!c.ok) {
        try {
            ParseWindowPixel(c.text, "--press");
            FAIL() << c.text << " was accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::BadValue);
        }
        return;
    }
    const WindowPixel at = ParseWindowPixel(c.text, "--press");
    EXPECT_EQ(at.x, c.x);
    EXPECT_EQ(at.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Options, WindowPixelTest,
                         testing::Values(PixelCase{"plain", "12,-7", true, 12, -7},
                                         PixelCase{"at_limit", "1000000,-1000000", true, 1000000, -1000000},
                                         PixelCase{"beyond_limit", "1000001,0", false, 0, 0},
                                         PixelCase{"fraction", "1.5,2", false, 0, 0},
                                         PixelCase{"one_number", "3", false, 0, 0}),
                         CaseName());

}   // namespace
}   // namespace corvelle
