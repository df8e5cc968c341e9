// Parsing of the effect and host options, and their effect on a host running the module.
#include "cli/options/EffectOptions.h"
#include "testing/Testing.h"

#include "CaseName.h"
#include "KT_Corvelle.h"
#include "core/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

struct FixedCase {
    const char* name;
    const char* text;
    bool ok;
    PF_Fixed expected;
};

class ParseFixedTest : public testing::TestWithParam<FixedCase> {};

// One 16.16 step is 1/65536 = 0.0000152587890625, so half a step is 0.00000762939453125.
TEST_P(ParseFixedTest, RoundsToNearestTiesAwayFromZero) {
    const FixedCase& c = GetParam();
    PF_Fixed value = 12345;
    ASSERT_EQ(ParseFixed(c.text, value), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(value, c.expected) << c.text;
    } else {
        EXPECT_EQ(value, 12345) << "a rejected text leaves the value alone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseFixedTest,
    testing::Values(FixedCase{"zero", "0", true, 0}, FixedCase{"negative_zero", "-0", true, 0},
                    FixedCase{"one", "1", true, 65536}, FixedCase{"minus_one", "-1", true, -65536},
                    FixedCase{"plus_sign", "+2", true, 131072}, FixedCase{"opacity_25", "25", true, 0x190000},
                    FixedCase{"half", "0.5", true, 32768}, FixedCase{"leading_point", ".5", true, 32768},
                    FixedCase{"trailing_point", "3.", true, 196608},
                    FixedCase{"below_half_step", "0.0000076293945312", true, 0},
                    FixedCase{"half_step", "0.00000762939453125", true, 1},
                    FixedCase{"minus_half_step", "-0.00000762939453125", true, -1},
                    FixedCase{"minus_below_half_step", "-0.0000076293945312", true, 0},
                    // strtod would round this to exactly half a step; the digits say it is below.
                    FixedCase{"just_below_tie_beyond_double", "0.000007629394531249999999999999", true, 0},
                    FixedCase{"one_and_half_steps", "0.00002288818359375", true, 2},
                    FixedCase{"below_one_and_half_steps", "0.0000228881835937", true, 1},
                    FixedCase{"tenth", "0.1", true, 6554}, FixedCase{"minus_tenth", "-0.1", true, -6554},
                    FixedCase{"largest", "32767.9999847412109375", true, INT_MAX},
                    FixedCase{"tie_above_largest", "32767.99999237060546875", false, 0},
                    FixedCase{"too_big", "32768", false, 0}, FixedCase{"smallest", "-32768", true, INT_MIN},
                    FixedCase{"below_tie_under_smallest", "-32768.0000076293945312", true, INT_MIN},
                    FixedCase{"tie_under_smallest", "-32768.00000762939453125", false, 0},
                    FixedCase{"huge", "99999999999999999999", false, 0}, FixedCase{"empty", "", false, 0},
                    FixedCase{"sign_only", "-", false, 0}, FixedCase{"point_only", ".", false, 0},
                    FixedCase{"exponent", "1e3", false, 0}, FixedCase{"comma", "1,5", false, 0},
                    FixedCase{"leading_blank", " 1", false, 0}, FixedCase{"trailing_blank", "1 ", false, 0},
                    FixedCase{"two_points", "1.2.3", false, 0}, FixedCase{"two_signs", "+-1", false, 0},
                    FixedCase{"hex", "0x10", false, 0}, FixedCase{"word", "abc", false, 0}),
    CaseName());

struct DoubleCase {
    const char* name;
    const char* text;
    bool ok;
    double expected;
};

class ParseDoubleTest : public testing::TestWithParam<DoubleCase> {};

TEST_P(ParseDoubleTest, TakesWholeFiniteNumbers) {
    const DoubleCase& c = GetParam();
    double value = -7.0;
    ASSERT_EQ(ParseDouble(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.expected : -7.0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ParseDoubleTest,
    testing::Values(DoubleCase{"integer", "300", true, 300.0}, DoubleCase{"fraction", "300.25", true, 300.25},
                    DoubleCase{"tenth", "0.1", true, 0.1}, DoubleCase{"negative", "-5", true, -5.0},
                    DoubleCase{"exponent", "1.5e3", true, 1500.0}, DoubleCase{"nan", "nan", false, 0.0},
                    DoubleCase{"inf", "inf", false, 0.0}, DoubleCase{"overflow", "1e999", false, 0.0},
                    DoubleCase{"trailing_text", "12abc", false, 0.0},
                    DoubleCase{"leading_blank", " 12", false, 0.0}, DoubleCase{"empty", "", false, 0.0}),
    CaseName());

/// Parses `args` (without the program name) with both option sets; true when accepted.
bool Parse(std::vector<std::string> args, EffectOptions& effect, HostOptions& host) {
    CLI::App app{"test"};
    AddEffectOptions(&app, effect);
    AddHostOptions(&app, host);
    std::reverse(args.begin(), args.end());   // CLI11 takes the arguments back to front
    try {
        app.parse(args);
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

struct RejectCase {
    const char* name;
    std::vector<std::string> args;
};

class RejectedOptionTest : public testing::TestWithParam<RejectCase> {};

TEST_P(RejectedOptionTest, FailsTheParse) {
    EffectOptions effect;
    HostOptions host;
    EXPECT_FALSE(Parse(GetParam().args, effect, host));
}

INSTANTIATE_TEST_SUITE_P(
    Options, RejectedOptionTest,
    testing::Values(
        RejectCase{"origin_one_value", {"--origin", "100"}},
        RejectCase{"origin_three_values", {"--origin", "1,2,3"}},
        RejectCase{"origin_out_of_range", {"--origin", "40000,0"}},
        RejectCase{"color_short", {"--color", "12345"}}, RejectCase{"color_long", {"--color", "#1234567"}},
        RejectCase{"color_not_hex", {"--color", "GG0000"}}, RejectCase{"width_nan", {"--width", "nan"}},
        RejectCase{"width_word", {"--width", "wide"}}, RejectCase{"feather_inf", {"--feather", "inf"}},
        RejectCase{"angle_exponent", {"--angle", "1e2"}},
        RejectCase{"opacity_percent_sign", {"--opacity", "50%"}}, RejectCase{"blend_empty", {"--blend", ""}},
        RejectCase{"host_unknown", {"--host", "nuke"}}, RejectCase{"depth_24", {"--depth", "24"}},
        RejectCase{"depth_word", {"--depth", "deep"}}, RejectCase{"par_zero_num", {"--par", "0/1"}},
        RejectCase{"par_zero_den", {"--par", "1/0"}}, RejectCase{"par_no_slash", {"--par", "1"}},
        RejectCase{"downsample_up", {"--downsample", "2/1"}},
        RejectCase{"downsample_bad_y", {"--downsample", "1/2,x"}},
        RejectCase{"quality_medium", {"--quality", "medium"}},
        RejectCase{"threads_negative", {"--threads", "-1"}}),
    CaseName());

TEST(EffectOptions, LeftOutOptionsStayUnset) {
    EffectOptions effect;
    HostOptions host;
    ASSERT_TRUE(Parse({}, effect, host));
    EXPECT_FALSE(effect.shape || effect.origin || effect.width || effect.height || effect.angle ||
                 effect.feather || effect.fill || effect.color || effect.opacity || effect.blend ||
                 effect.falloff);
    EXPECT_FALSE(effect.invert || effect.maskOnly);
    EXPECT_EQ(host.host, HostKind::Compositor);
    EXPECT_EQ(WorldLayout(host), PixelLayout::Argb8);
}

TEST(EffectOptions, ValuesArriveInTheHostsForms) {
    EffectOptions effect;
    HostOptions host;
    ASSERT_TRUE(Parse({"--origin", "100.5,-3", "--color", "#FF8000", "--opacity", "12.5", "--angle", "-90",
                       "--width", "0.1", "--invert", "--blend", "soft-light", "--falloff", "4"},
                      effect, host));
    ASSERT_TRUE(effect.origin && effect.color && effect.opacity && effect.angle && effect.width);
    EXPECT_EQ(effect.origin->x, 6586368);
    EXPECT_EQ(effect.origin->y, -196608);
    EXPECT_EQ(effect.color->alpha, 255);
    EXPECT_EQ(effect.color->red, 255);
    EXPECT_EQ(effect.color->green, 128);
    EXPECT_EQ(effect.color->blue, 0);
    EXPECT_EQ(*effect.opacity, 819200);
    EXPECT_EQ(*effect.angle, -5898240);
    EXPECT_EQ(*effect.width, 0.1);
    EXPECT_TRUE(effect.invert);
    EXPECT_EQ(*effect.blend, "soft-light");
    EXPECT_EQ(*effect.falloff, "4");
}

TEST(HostOptions, DownsampleTakesOneOrTwoRatios) {
    EffectOptions effect;
    HostOptions both;
    ASSERT_TRUE(
        Parse({"--downsample", "1/2", "--par", "10/11", "--quality", "lo", "--threads", "3"}, effect, both));
    const RenderSettings& settings = both.render;
    EXPECT_EQ(settings.downsampleX.num, 1);
    EXPECT_EQ(settings.downsampleX.den, 2u);
    EXPECT_EQ(settings.downsampleY.num, 1);
    EXPECT_EQ(settings.downsampleY.den, 2u);
    EXPECT_EQ(settings.pixelAspect.num, 10);
    EXPECT_EQ(settings.pixelAspect.den, 11u);
    EXPECT_FALSE(settings.highQuality);
    EXPECT_EQ(settings.threads, 3u);
    const LoadOptions load = MakeLoadOptions(both, 30, 20);
    EXPECT_EQ(load.layerWidth, 30);
    EXPECT_EQ(load.layerHeight, 20);

    HostOptions apart;
    ASSERT_TRUE(Parse({"--downsample", "1/2,1/4"}, effect, apart));
    EXPECT_EQ(apart.render.downsampleX.den, 2u);
    EXPECT_EQ(apart.render.downsampleY.den, 4u);
}

struct LayoutCase {
    const char* name;
    const char* host;
    const char* depth;
    bool ok;
    PixelLayout layout;
};

class WorldLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(WorldLayoutTest, EachHostRendersItsOwnDepths) {
    const LayoutCase& c = GetParam();
    EffectOptions effect;
    HostOptions host;
    ASSERT_TRUE(Parse({"--host", c.host, "--depth", c.depth}, effect, host));
    if (c.ok) {
        EXPECT_EQ(WorldLayout(host), c.layout);
        EXPECT_NO_THROW(MakeLoadOptions(host, 1, 1));
    } else {
        EXPECT_THROW(WorldLayout(host), Error);
        EXPECT_THROW(MakeLoadOptions(host, 1, 1), Error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, WorldLayoutTest,
    testing::Values(LayoutCase{"ae_8", "ae", "8", true, PixelLayout::Argb8},
                    LayoutCase{"ae_16", "ae", "16", true, PixelLayout::Argb16},
                    LayoutCase{"ae_32", "ae", "32", false, PixelLayout::Argb8},
                    LayoutCase{"premiere_8", "premiere", "8", true, PixelLayout::Bgra8},
                    LayoutCase{"premiere_16", "premiere", "16", false, PixelLayout::Bgra8},
                    LayoutCase{"premiere_32", "premiere", "32", true, PixelLayout::BgraFloat}),
    CaseName());

/// A compositor host on the built module with its parameters set up for a 200×100 layer.
class AppliedOptionsTest : public testing::Test {
protected:
    AppliedOptionsTest()
        : m_effect(MakeEffect(CORVELLE_MODULE_PATH, Settings())), m_host(Internals(m_effect).host) {}
    static HostSettings Settings() {
        HostSettings settings;
        settings.layerWidth = 200;
        settings.layerHeight = 100;
        return settings;
    }
    Effect m_effect;
    Host& m_host;
};

struct PopupCase {
    const char* name;
    std::optional<std::string> EffectOptions::*field;
    const char* text;
    int index;
    A_long expected;   // 0 when the text must be refused
};

class PopupOptionTest : public AppliedOptionsTest, public testing::WithParamInterface<PopupCase> {};

TEST_P(PopupOptionTest, NamesAndNumbersAreTheOfferedChoices) {
    const PopupCase& c = GetParam();
    EffectOptions options;
    options.*c.field = c.text;
    const A_long before = m_host.Param(c.index).u.pd.value;
    if (c.expected == 0) {
        EXPECT_THROW(ApplyEffectOptions(options, m_effect), Error);
        EXPECT_EQ(m_host.Param(c.index).u.pd.value, before);
    } else {
        ApplyEffectOptions(options, m_effect);
        EXPECT_EQ(m_host.Param(c.index).u.pd.value, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, PopupOptionTest,
    testing::Values(
        PopupCase{"shape_rectangle", &EffectOptions::shape, "rectangle", PARAM_SHAPE, 2},
        PopupCase{"shape_trailing_bar_is_no_choice", &EffectOptions::shape, "", PARAM_SHAPE, 0},
        PopupCase{"fill_transparent", &EffectOptions::fill, "transparent", PARAM_FILL_WITH, 2},
        PopupCase{"blend_normal", &EffectOptions::blend, "normal", PARAM_BLEND_MODE, 1},
        PopupCase{"blend_soft_light", &EffectOptions::blend, "soft-light", PARAM_BLEND_MODE, 6},
        PopupCase{"blend_as_shown", &EffectOptions::blend, "Color dodge", PARAM_BLEND_MODE, 15},
        PopupCase{"blend_darker_color_last_offered", &EffectOptions::blend, "darker-color", PARAM_BLEND_MODE,
                  23},
        PopupCase{"blend_subtract_not_offered", &EffectOptions::blend, "subtract", PARAM_BLEND_MODE, 0},
        PopupCase{"blend_last_number", &EffectOptions::blend, "23", PARAM_BLEND_MODE, 23},
        PopupCase{"blend_number_beyond_choices", &EffectOptions::blend, "24", PARAM_BLEND_MODE, 0},
        PopupCase{"blend_negative_number", &EffectOptions::blend, "-3", PARAM_BLEND_MODE, 0},
        PopupCase{"blend_unknown", &EffectOptions::blend, "sparkle", PARAM_BLEND_MODE, 0},
        PopupCase{"falloff_gamma", &EffectOptions::falloff, "gamma-2.2", PARAM_FALLOFF, 4},
        PopupCase{"falloff_exponential", &EffectOptions::falloff, "exponential", PARAM_FALLOFF, 6}),
    CaseName());

TEST_F(AppliedOptionsTest, LeftOutOptionsKeepTheDefaults) {
    ApplyEffectOptions(EffectOptions{}, m_effect);
    EXPECT_EQ(m_host.Param(PARAM_ORIGIN).u.td.x_value, 100 << 16) << "the layer centre";
    EXPECT_EQ(m_host.Param(PARAM_ORIGIN).u.td.y_value, 50 << 16);
    EXPECT_EQ(m_host.Param(PARAM_WIDTH).u.fs_d.value, 300.0);
    EXPECT_EQ(m_host.Param(PARAM_OPACITY).u.fd.value, 25 << 16);
    EXPECT_EQ(m_host.Param(PARAM_BLEND_MODE).u.pd.value, 3);
    EXPECT_EQ(m_host.Param(PARAM_INVERT).u.bd.value, 0);
}

TEST_F(AppliedOptionsTest, ValuesReachTheirParameters) {
    EffectOptions options;
    options.origin = FixedPoint16{3 << 16, -(7 << 16)};
    options.width = 0.1;
    options.height = 15000.0;
    options.feather = 0.0;
    options.angle = -(90 << 16);
    options.color = Color8{1, 2, 3, 255};
    options.opacity = 100 << 16;
    options.invert = true;
    ApplyEffectOptions(options, m_effect);
    EXPECT_EQ(m_host.Param(PARAM_ORIGIN).u.td.x_value, 3 << 16);
    EXPECT_EQ(m_host.Param(PARAM_ORIGIN).u.td.y_value, -(7 << 16));
    EXPECT_EQ(m_host.Param(PARAM_WIDTH).u.fs_d.value, 0.1);
    EXPECT_EQ(m_host.Param(PARAM_HEIGHT).u.fs_d.value, 15000.0);
    EXPECT_EQ(m_host.Param(PARAM_FEATHER).u.fs_d.value, 0.0);
    EXPECT_EQ(m_host.Param(PARAM_ANGLE).u.ad.value, -(90 << 16));
    EXPECT_EQ(m_host.Param(PARAM_COLOR).u.cd.value.blue, 3);
    EXPECT_EQ(m_host.Param(PARAM_OPACITY).u.fd.value, 100 << 16);
    EXPECT_EQ(m_host.Param(PARAM_INVERT).u.bd.value, 1);
}

TEST_F(AppliedOptionsTest, MaskOnlyUpdatesTheParameterUI) {
    EffectOptions options;
    options.maskOnly = true;
    ApplyEffectOptions(options, m_effect);
    EXPECT_EQ(m_host.Param(PARAM_MASK_ONLY).u.bd.value, 1);
    EXPECT_TRUE(m_host.UIState(PARAM_BLEND_MODE).disabled);
    EXPECT_TRUE(m_host.UIState(PARAM_OPACITY).disabled);
}

TEST_F(AppliedOptionsTest, ValuesOutsideASlidersRangeAreRefused) {
    EffectOptions wide;
    wide.width = 15000.5;
    EXPECT_THROW(ApplyEffectOptions(wide, m_effect), Error);
    EffectOptions negative;
    negative.feather = -1.0;
    EXPECT_THROW(ApplyEffectOptions(negative, m_effect), Error);
    EffectOptions opaque;
    opaque.opacity = (100 << 16) + 1;
    EXPECT_THROW(ApplyEffectOptions(opaque, m_effect), Error);
    EXPECT_EQ(m_host.Param(PARAM_OPACITY).u.fd.value, 25 << 16);
}

}   // namespace
}   // namespace corvelle
