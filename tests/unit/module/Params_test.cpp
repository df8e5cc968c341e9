// The module's parameter registration and its parameter-UI updates, as the host receives them.
#include "core/Host.h"
#include "core/HostError.h"
#include "ModuleUnderTest.h"

#include "KT_Corvelle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace corvelle {
namespace {

constexpr PF_OutFlags kRerender = 0x400000;
constexpr PF_OutFlags kRerenderAndRefresh = 0x420000;

std::string AppLabel(HostApp app) {
    return app == HostApp::Premiere ? "editor" : "compositor";
}

/// The host after Parameters setup, with nothing recorded yet.
struct SetUpHost {
    Host host;
    explicit SetUpHost(HostApp app = HostApp::AfterEffects) : host(Module().Entry(), For(app)) {
        EXPECT_EQ(PF_Err_NONE, host.ParamsSetup());
        host.Trace().Clear();
    }
};

const PF_ParamDef& Registered(const Host& host, int index) {
    return host.RegisteredParams().at(static_cast<std::size_t>(index) - 1);
}

// ---- Registration ----------------------------------------------------------------------------

struct RegistrationCase {
    const char* label;
    int index;
    const char* name;
    PF_ParamType type;
    A_long id;
    PF_ParamFlags flags;
};

class RegistrationTest : public ::testing::TestWithParam<RegistrationCase> {};

// Saved projects find parameters by id, the host shows them by index and name.
TEST_P(RegistrationTest, NameTypeIdAndFlags) {
    const RegistrationCase& c = GetParam();
    SetUpHost setUp;
    ASSERT_EQ(13u, setUp.host.RegisteredParams().size());
    const PF_ParamDef& def = Registered(setUp.host, c.index);
    EXPECT_STREQ(c.name, def.name);
    EXPECT_EQ(c.type, def.param_type);
    EXPECT_EQ(c.id, def.uu.id);
    EXPECT_EQ(c.flags, def.flags);
    EXPECT_EQ(0, def.ui_flags);
    EXPECT_FALSE(setUp.host.UIState(c.index).disabled);
    EXPECT_EQ(c.name, setUp.host.UIState(c.index).name);
}

INSTANTIATE_TEST_SUITE_P(
    Params, RegistrationTest,
    ::testing::Values(RegistrationCase{"shape", PARAM_SHAPE, "Corvelle Type", PF_Param_POPUP, 14, 2},
                      RegistrationCase{"origin", PARAM_ORIGIN, "Point of origin", PF_Param_POINT, 1, 0},
                      RegistrationCase{"width", PARAM_WIDTH, "Width", PF_Param_FLOAT_SLIDER, 2, 0},
                      RegistrationCase{"height", PARAM_HEIGHT, "Height", PF_Param_FLOAT_SLIDER, 3, 0},
                      RegistrationCase{"angle", PARAM_ANGLE, "Angle", PF_Param_ANGLE, 13, 0},
                      RegistrationCase{"feather", PARAM_FEATHER, "Feather", PF_Param_FLOAT_SLIDER, 4, 0},
                      RegistrationCase{"fill_with", PARAM_FILL_WITH, "Fill with", PF_Param_POPUP, 15, 2},
                      RegistrationCase{"color", PARAM_COLOR, "Color", PF_Param_COLOR, 12, 0},
                      RegistrationCase{"opacity", PARAM_OPACITY, "Opacity", PF_Param_FIX_SLIDER, 5, 0},
                      RegistrationCase{"blend_mode", PARAM_BLEND_MODE, "Blending mode", PF_Param_POPUP, 7, 2},
                      RegistrationCase{"invert", PARAM_INVERT, "Invert", PF_Param_CHECKBOX, 8, 2},
                      RegistrationCase{"mask_only", PARAM_MASK_ONLY, "Mask Only", PF_Param_CHECKBOX, 9, 0x42},
                      RegistrationCase{"falloff", PARAM_FALLOFF, "Alpha falloff", PF_Param_POPUP, 16, 2}),
    [](const ::testing::TestParamInfo<RegistrationCase>& test_info) {
        return std::string(test_info.param.label);
    });

struct PopupCase {
    const char* label;
    int index;
    A_short numChoices;
    A_short dephault;
    const char* choices;
};

class PopupTest : public ::testing::TestWithParam<PopupCase> {};

// The count, not the text, decides what the user can pick: the shape list's trailing bar and the
// two blend modes past 23 stay unreachable.
TEST_P(PopupTest, ChoicesAndDefault) {
    const PopupCase& c = GetParam();
    SetUpHost setUp;
    const PF_ParamDef& def = Registered(setUp.host, c.index);
    EXPECT_EQ(c.numChoices, def.u.pd.num_choices);
    EXPECT_EQ(c.dephault, def.u.pd.dephault);
    EXPECT_STREQ(c.choices, def.u.pd.u.namesptr);
    EXPECT_EQ(c.dephault, setUp.host.Param(c.index).u.pd.value);
}

INSTANTIATE_TEST_SUITE_P(
    Popups, PopupTest,
    ::testing::Values(PopupCase{"shape", PARAM_SHAPE, 2, 1, "Ellipse|Rectangle|"},
                      PopupCase{"fill_with", PARAM_FILL_WITH, 2, 1, "Color|Transparent"},
                      PopupCase{"blend_mode", PARAM_BLEND_MODE, 23, 3,
                                "Normal|Add|Multiply|Screen|Overlay|Soft light|Hard light|Darken|Lighten|"
                                "Difference|Hue|Saturation|Color|Luminosity|Color dodge|Linear dodge|"
                                "Color burn|Linear burn|Linear light|Vivid light|Pin light|Lighter color|"
                                "Darker color|Subtract|Divide"},
                      PopupCase{"falloff", PARAM_FALLOFF, 6, 1,
                                "Linear|Quadratic|Cubic|Gamma 2.2|Gaussian|Exponential"}),
    [](const ::testing::TestParamInfo<PopupCase>& test_info) { return std::string(test_info.param.label); });

struct FloatSliderCase {
    const char* label;
    int index;
    float dephault;
};

class FloatSliderTest : public ::testing::TestWithParam<FloatSliderCase> {};

TEST_P(FloatSliderTest, RangesPrecisionAndDefault) {
    const FloatSliderCase& c = GetParam();
    SetUpHost setUp;
    const PF_FloatSliderDef& fs = Registered(setUp.host, c.index).u.fs_d;
    EXPECT_EQ(0.0f, fs.valid_min);
    EXPECT_EQ(15000.0f, fs.valid_max);
    EXPECT_EQ(0.0f, fs.slider_min);
    EXPECT_EQ(15000.0f, fs.slider_max);
    EXPECT_EQ(c.dephault, fs.dephault);
    EXPECT_EQ(1, fs.precision);
    EXPECT_EQ(0, fs.display_flags);
    EXPECT_EQ(0.05f, fs.curve_tolerance);
    EXPECT_EQ(0.0, fs.phase);
    EXPECT_EQ(0u, fs.fs_flags);
    EXPECT_EQ(static_cast<double>(c.dephault), setUp.host.Param(c.index).u.fs_d.value);
}

INSTANTIATE_TEST_SUITE_P(Sliders, FloatSliderTest,
                         ::testing::Values(FloatSliderCase{"width", PARAM_WIDTH, 300.0f},
                                           FloatSliderCase{"height", PARAM_HEIGHT, 200.0f},
                                           FloatSliderCase{"feather", PARAM_FEATHER, 100.0f}),
                         [](const ::testing::TestParamInfo<FloatSliderCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

TEST(ParamsTest, OpacityIsAPercentFixedSlider) {
    SetUpHost setUp;
    const PF_FixedSliderDef& fd = Registered(setUp.host, PARAM_OPACITY).u.fd;
    EXPECT_EQ(0, fd.valid_min);
    EXPECT_EQ(0x640000, fd.valid_max);
    EXPECT_EQ(0, fd.slider_min);
    EXPECT_EQ(0x640000, fd.slider_max);
    EXPECT_EQ(0x190000, fd.dephault);
    EXPECT_EQ(1, fd.precision);
    EXPECT_EQ(PF_ValueDisplayFlag_PERCENT, fd.display_flags);
    EXPECT_STREQ("", fd.value_str);
    EXPECT_STREQ("", fd.value_desc);
}

TEST(ParamsTest, CheckboxLabels) {
    SetUpHost setUp;
    EXPECT_STREQ("Invert mask", Registered(setUp.host, PARAM_INVERT).u.bd.u.nameptr);
    EXPECT_STREQ("Shows only mask, no source", Registered(setUp.host, PARAM_MASK_ONLY).u.bd.u.nameptr);
    EXPECT_EQ(0, Registered(setUp.host, PARAM_INVERT).u.bd.dephault);
    EXPECT_EQ(0, Registered(setUp.host, PARAM_MASK_ONLY).u.bd.dephault);
}

// A new instance: an opaque-black-filled ellipse centred on the layer, 300 by 200, angle 0,
// feather 100, 25 % Multiply, not inverted, not mask only, linear falloff.
TEST(ParamsTest, NewInstanceValues) {
    HostSettings settings;
    settings.layerWidth = 1280;
    settings.layerHeight = 720;
    Host host(Module().Entry(), settings);
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    ASSERT_EQ(static_cast<std::size_t>(PARAM_COUNT), host.ParamCount());
    const PF_PointDef& origin = Registered(host, PARAM_ORIGIN).u.td;
    EXPECT_EQ(0x320000, origin.x_dephault);
    EXPECT_EQ(0x320000, origin.y_dephault);
    EXPECT_EQ(0, origin.restrict_bounds);
    EXPECT_EQ(640 << 16, host.Param(PARAM_ORIGIN).u.td.x_value);
    EXPECT_EQ(360 << 16, host.Param(PARAM_ORIGIN).u.td.y_value);
    EXPECT_EQ(0, host.Param(PARAM_ANGLE).u.ad.value);
    EXPECT_EQ(0, Registered(host, PARAM_ANGLE).u.ad.dephault);
    const PF_Pixel color = host.Param(PARAM_COLOR).u.cd.value;
    EXPECT_EQ(255, color.alpha);
    EXPECT_EQ(0, color.red);
    EXPECT_EQ(0, color.green);
    EXPECT_EQ(0, color.blue);
    EXPECT_EQ(0x190000, host.Param(PARAM_OPACITY).u.fd.value);
    EXPECT_EQ(0, host.Param(PARAM_INVERT).u.bd.value);
    EXPECT_EQ(0, host.Param(PARAM_MASK_ONLY).u.bd.value);
}

// Each name goes through the host's strcpy before its add_param; the custom UI comes last.
TEST(ParamsTest, RegistrationOrderAndCustomUI) {
    Host host(Module().Entry());
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    std::vector<std::string> expected;
    for (int i = 1; i < PARAM_COUNT; ++i) {
        expected.push_back("strcpy");
        expected.push_back("add_param");
    }
    expected.push_back("register_ui");
    EXPECT_EQ(expected, host.Trace().Functions());
    for (const CallRecord& call : host.Trace().Records()) {
        if (call.function == "add_param") {
            EXPECT_EQ(-1, call.args["index"]);
        }
    }
    EXPECT_EQ(14, host.OutData().num_params);
    ASSERT_TRUE(host.UIRegistered());
    PF_CustomUIInfo expectedInfo{};
    expectedInfo.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER;
    EXPECT_EQ(0, std::memcmp(&expectedInfo, &host.RegisteredUI(), sizeof expectedInfo));
}

class AddParamFailureTest : public ::testing::TestWithParam<int> {};

// The k-th refusal ends the set-up at once: nothing after it, no custom UI, no count.
TEST_P(AddParamFailureTest, StopsAtTheRefusedParameter) {
    const int k = GetParam();
    Host host(Module().Entry());
    host.Faults().failAddParamAt = k;
    host.Faults().addParamError = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(PF_Err_OUT_OF_MEMORY, host.ParamsSetup());
    EXPECT_EQ(static_cast<std::size_t>(k), host.Trace().Count("add_param"));
    EXPECT_EQ(0u, host.Trace().Count("register_ui"));
    EXPECT_FALSE(host.UIRegistered());
    EXPECT_EQ(0, host.OutData().num_params);
}

INSTANTIATE_TEST_SUITE_P(K, AddParamFailureTest, ::testing::Range(1, 14),
                         [](const ::testing::TestParamInfo<int>& test_info) {
                             return "param" + std::to_string(test_info.param);
                         });

TEST(ParamsTest, RegisterUIFailureStillCountsTheParameters) {
    Host host(Module().Entry());
    host.Faults().registerUIError = PF_Err_INVALID_CALLBACK;
    EXPECT_EQ(PF_Err_INVALID_CALLBACK, host.ParamsSetup());
    EXPECT_EQ(14, host.OutData().num_params);
    EXPECT_EQ(13u, host.RegisteredParams().size());
}

// ---- Update parameter UI ---------------------------------------------------------------------

struct MaskOnlyCase {
    HostApp app;
    bool on;
};

std::string MaskOnlyLabel(const ::testing::TestParamInfo<MaskOnlyCase>& test_info) {
    return AppLabel(test_info.param.app) + (test_info.param.on ? "_on" : "_off");
}

class MaskOnlyTest : public ::testing::TestWithParam<MaskOnlyCase> {};

// The checkbox is supervised, so changing it sends the update; on greys out and renames both
// dependent controls, off restores them.
TEST_P(MaskOnlyTest, RenamesAndGreysTheDependentControls) {
    const MaskOnlyCase& c = GetParam();
    SetUpHost setUp(c.app);
    Host& host = setUp.host;
    if (!c.on) {   // from on to off, so "off" really restores something
        ASSERT_EQ(PF_Err_NONE,
                  host.ChangeParam(PARAM_MASK_ONLY, [](PF_ParamDef& def) { def.u.bd.value = 1; }));
    }
    ASSERT_EQ(PF_Err_NONE,
              host.ChangeParam(PARAM_MASK_ONLY, [&](PF_ParamDef& def) { def.u.bd.value = c.on ? 1 : 0; }));
    EXPECT_EQ(c.on ? "Blending mode (disabled)" : "Blending mode", host.UIState(PARAM_BLEND_MODE).name);
    EXPECT_EQ(c.on ? "Opacity (100%)" : "Opacity", host.UIState(PARAM_OPACITY).name);
    EXPECT_EQ(c.on, host.UIState(PARAM_BLEND_MODE).disabled);
    EXPECT_EQ(c.on, host.UIState(PARAM_OPACITY).disabled);
    EXPECT_EQ(c.app == HostApp::Premiere ? kRerenderAndRefresh : kRerender, host.OutData().out_flags);
    // The values are the user's and stay.
    EXPECT_EQ(3, host.Param(PARAM_BLEND_MODE).u.pd.value);
    EXPECT_EQ(0x190000, host.Param(PARAM_OPACITY).u.fd.value);
    EXPECT_TRUE(host.LastCommandProblems().empty());
}

INSTANTIATE_TEST_SUITE_P(States, MaskOnlyTest,
                         ::testing::Values(MaskOnlyCase{HostApp::AfterEffects, true},
                                           MaskOnlyCase{HostApp::AfterEffects, false},
                                           MaskOnlyCase{HostApp::Premiere, true},
                                           MaskOnlyCase{HostApp::Premiere, false}),
                         MaskOnlyLabel);

class UpdateFlagsTest : public ::testing::TestWithParam<MaskOnlyCase> {};

// The re-render bits are or-ed in: whatever the out block already held stays, and exactly the
// host's bits are added. Other ui_flags bits of the controls pass through.
TEST_P(UpdateFlagsTest, AddsExactlyTheHostsBitsAndKeepsOthers) {
    const MaskOnlyCase& c = GetParam();
    SetUpHost setUp(c.app);
    Host& host = setUp.host;
    host.Param(PARAM_MASK_ONLY).u.bd.value = c.on ? 1 : 0;
    host.Param(PARAM_BLEND_MODE).ui_flags = 0x4 | (c.on ? 0 : PF_PUI_DISABLED);
    host.Param(PARAM_OPACITY).ui_flags = 0x1 | (c.on ? 0 : PF_PUI_DISABLED);
    std::vector<PF_ParamDef> copies;
    for (int i = 0; i < PARAM_COUNT; ++i) {
        copies.push_back(host.Param(i));
    }
    std::vector<PF_ParamDef*> params;
    for (PF_ParamDef& copy : copies) {
        params.push_back(&copy);
    }
    PF_OutData out{};
    out.out_flags = PF_OutFlag_CUSTOM_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    PF_InData in_data = host.InData();
    PF_Err err = PF_Err_NONE;
    {
        Host::CommandScope scope(host);
        host.Suites().ResetBalance();
        err = Module().Entry()(PF_Cmd_UPDATE_PARAMS_UI, &in_data, &out, params.data(), nullptr, nullptr);
        EXPECT_TRUE(host.Suites().BalanceProblems().empty());
    }
    ASSERT_EQ(PF_Err_NONE, err);
    const PF_OutFlags added = c.app == HostApp::Premiere ? kRerenderAndRefresh : kRerender;
    EXPECT_EQ(PF_OutFlag_CUSTOM_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE | added, out.out_flags);
    const std::vector<CallRecord> calls = host.Trace().Records();
    std::vector<std::pair<int, int>> updates;
    for (const CallRecord& call : calls) {
        if (call.function == "PF_UpdateParamUI") {
            updates.emplace_back(call.args["index"].get<int>(), call.args["ui_flags"].get<int>());
        }
    }
    const int disabled = c.on ? PF_PUI_DISABLED : 0;
    EXPECT_EQ((std::vector<std::pair<int, int>>{{PARAM_BLEND_MODE, 0x4 | disabled},
                                                {PARAM_OPACITY, 0x1 | disabled}}),
              updates);
    // The host's own records were lent, not handed over.
    EXPECT_EQ(0x4 | (c.on ? 0 : PF_PUI_DISABLED), copies[PARAM_BLEND_MODE].ui_flags);
}

INSTANTIATE_TEST_SUITE_P(States, UpdateFlagsTest,
                         ::testing::Values(MaskOnlyCase{HostApp::AfterEffects, true},
                                           MaskOnlyCase{HostApp::AfterEffects, false},
                                           MaskOnlyCase{HostApp::Premiere, true},
                                           MaskOnlyCase{HostApp::Premiere, false}),
                         MaskOnlyLabel);

// Both controls are rewritten on every update, even when already right.
TEST(ParamsTest, UpdateRewritesBothControlsEveryTime) {
    SetUpHost setUp;
    ASSERT_EQ(PF_Err_NONE, setUp.host.UpdateParamsUI());
    ASSERT_EQ(PF_Err_NONE, setUp.host.UpdateParamsUI());
    EXPECT_EQ(4u, setUp.host.Trace().Count("PF_UpdateParamUI"));
}

struct RefusalCase {
    const char* label;
    int refusedIndex;
    std::size_t updateCalls;
    bool blendRenamed;
    bool opacityRenamed;
};

class UpdateRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

// A refused blending-mode update skips the opacity one; the re-render is asked for either way.
TEST_P(UpdateRefusalTest, ReturnsTheRefusalAndStillAsksForARerender) {
    const RefusalCase& c = GetParam();
    SetUpHost setUp;
    Host& host = setUp.host;
    host.Faults().failUpdateParamUIIndex = c.refusedIndex;
    host.Faults().updateParamUIError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    EXPECT_EQ(PF_Err_INTERNAL_STRUCT_DAMAGED,
              host.ChangeParam(PARAM_MASK_ONLY, [](PF_ParamDef& def) { def.u.bd.value = 1; }));
    EXPECT_EQ(c.updateCalls, host.Trace().Count("PF_UpdateParamUI"));
    EXPECT_EQ(c.blendRenamed, host.UIState(PARAM_BLEND_MODE).disabled);
    EXPECT_EQ(c.opacityRenamed, host.UIState(PARAM_OPACITY).disabled);
    EXPECT_EQ(c.opacityRenamed ? "Opacity (100%)" : "Opacity", host.UIState(PARAM_OPACITY).name);
    EXPECT_EQ(kRerender, host.OutData().out_flags);
    EXPECT_TRUE(host.LastCommandProblems().empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, UpdateRefusalTest,
                         ::testing::Values(RefusalCase{"blend_mode", PARAM_BLEND_MODE, 1, false, false},
                                           RefusalCase{"opacity", PARAM_OPACITY, 2, true, false}),
                         [](const ::testing::TestParamInfo<RefusalCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

// Without the Param Utils Suite nothing is updated and no flag is set.
TEST(ParamsTest, UpdateWithoutParamUtilsSuiteFails) {
    SetUpHost setUp;
    Host& host = setUp.host;
    host.Faults().refusedSuites.insert({"PF Param Utils Suite", 3});
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM,
              host.ChangeParam(PARAM_MASK_ONLY, [](PF_ParamDef& def) { def.u.bd.value = 1; }));
    EXPECT_EQ(0u, host.Trace().Count("PF_UpdateParamUI"));
    EXPECT_EQ(0, host.OutData().out_flags);
    EXPECT_FALSE(host.UIState(PARAM_BLEND_MODE).disabled);
    EXPECT_TRUE(host.LastCommandProblems().empty());
}

}   // namespace
}   // namespace corvelle
