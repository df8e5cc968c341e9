// The headless host on its own: suite lookup, balance checks, iteration, copies, parameter
// storage and the command records, driven by a stand-in entry point the test controls.
#include "core/Host.h"
#include "params/ModuleDescription.h"
#include "core/ModuleLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using Behaviour = std::function<PF_Err(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*)>;

// The stand-in module: each test says what its commands do.
thread_local Behaviour t_behaviour;

PF_Err StandInEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                    PF_LayerDef* output, void*) {
    return t_behaviour ? t_behaviour(cmd, in_data, out_data, params, output) : PF_Err_NONE;
}

class HostTest : public ::testing::Test {
protected:
    void TearDown() override { t_behaviour = nullptr; }
};

const void* Acquire(const PF_InData* in_data, const char* name, int version, SPErr* err) {
    const void* suite = &err;   // anything but null, so a refusal must clear it
    *err = in_data->pica_basicP->AcquireSuite(name, version, &suite);
    return suite;
}

// ---- Suite lookup ---------------------------------------------------------------------------

struct SuiteCase {
    const char* label;
    const char* name;
    int version;
    bool granted;
};

class SuiteLookupTest : public HostTest, public ::testing::WithParamInterface<SuiteCase> {};

// Names are matched exactly, capitals and blanks included, and versions too.
TEST_P(SuiteLookupTest, GrantsOnlyExactNameAndVersion) {
    const SuiteCase& c = GetParam();
    Host host(StandInEntry);
    SPErr err = -1;
    const void* suite = nullptr;
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        suite = Acquire(in_data, c.name, c.version, &err);
        if (suite) {
            in_data->pica_basicP->ReleaseSuite(c.name, c.version);
        }
        return PF_Err_NONE;
    };
    host.About();
    EXPECT_EQ(c.granted, err == kSPNoError);
    EXPECT_EQ(c.granted, suite != nullptr);
    EXPECT_TRUE(host.LastCommandProblems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, SuiteLookupTest,
    ::testing::Values(SuiteCase{"ansi", "PF ANSI Suite", 1, true},
                      SuiteCase{"param_utils", "PF Param Utils Suite", 3, true},
                      SuiteCase{"iterate8", "PF Iterate8 Suite", 1, true},
                      SuiteCase{"iterate16", "PF iterate16 Suite", 1, true},
                      SuiteCase{"world_transform", "PF World Transform Suite", 1, true},
                      SuiteCase{"pixel_format", "PF Pixel Format Suite", 1, true},
                      SuiteCase{"iterate16_capital_I", "PF Iterate16 Suite", 1, false},
                      SuiteCase{"iterate8_small_i", "PF iterate8 Suite", 1, false},
                      SuiteCase{"ansi_version2", "PF ANSI Suite", 2, false},
                      SuiteCase{"param_utils_version1", "PF Param Utils Suite", 1, false},
                      SuiteCase{"ansi_lower_case", "pf ansi suite", 1, false},
                      SuiteCase{"ansi_trailing_blank", "PF ANSI Suite ", 1, false},
                      SuiteCase{"unknown", "PF Sampling8 Suite", 1, false}),
    [](const ::testing::TestParamInfo<SuiteCase>& test_info) { return std::string(test_info.param.label); });

TEST_F(HostTest, RefusedSuiteIsNotCountedAndHandsBackNull) {
    Host host(StandInEntry);
    host.Faults().refusedSuites.insert({"PF ANSI Suite", 1});
    const void* suite = nullptr;
    SPErr err = 0;
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        suite = Acquire(in_data, "PF ANSI Suite", 1, &err);
        return PF_Err_NONE;
    };
    EXPECT_NO_THROW(host.About());
    EXPECT_NE(kSPNoError, err);
    EXPECT_EQ(nullptr, suite);
}

TEST_F(HostTest, WithheldBasicSuiteIsNull) {
    Host host(StandInEntry);
    host.Faults().withholdBasicSuite = true;
    const SPBasicSuite* seen = host.Suites().BasicSuite();
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        seen = in_data->pica_basicP;
        return PF_Err_NONE;
    };
    host.About();
    EXPECT_EQ(nullptr, seen);
}

// ---- Balance ----------------------------------------------------------------------------

struct BalanceCase {
    const char* label;
    int acquires;
    int releases;
    const char* problem;   // empty: balanced
};

class BalanceTest : public HostTest, public ::testing::WithParamInterface<BalanceCase> {};

TEST_P(BalanceTest, ReportsEveryUnbalancedSuite) {
    const BalanceCase& c = GetParam();
    for (const BalancePolicy policy : {BalancePolicy::Throw, BalancePolicy::Warn}) {
        Host host(StandInEntry);
        host.SetBalancePolicy(policy);
        t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
            SPErr err = 0;
            for (int i = 0; i < c.acquires; ++i) {
                Acquire(in_data, "PF ANSI Suite", 1, &err);
            }
            for (int i = 0; i < c.releases; ++i) {
                in_data->pica_basicP->ReleaseSuite("PF ANSI Suite", 1);
            }
            return PF_Err_NONE;
        };
        const bool balanced = std::string(c.problem).empty();
        if (policy == BalancePolicy::Throw && !balanced) {
            try {
                host.About();
                ADD_FAILURE() << "no HostError";
            } catch (const HostError& e) {
                EXPECT_NE(std::string::npos, std::string(e.what()).find(c.problem)) << e.what();
            }
        } else {
            testing::internal::CaptureStderr();
            EXPECT_NO_THROW(host.About());
            const std::string warnings = testing::internal::GetCapturedStderr();
            EXPECT_EQ(balanced, warnings.empty()) << warnings;
        }
        ASSERT_EQ(balanced ? 0u : 1u, host.LastCommandProblems().size());
        if (!balanced) {
            EXPECT_EQ(c.problem, host.LastCommandProblems()[0]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BalanceTest,
    ::testing::Values(
        BalanceCase{"balanced", 1, 1, ""}, BalanceCase{"twice_each", 2, 2, ""},
        BalanceCase{"leak", 1, 0, "\"PF ANSI Suite\" 1 acquired 1 time, released 0 times"},
        BalanceCase{"double_release", 1, 2, "\"PF ANSI Suite\" 1 acquired 1 time, released 2 times"},
        BalanceCase{"release_only", 0, 1, "\"PF ANSI Suite\" 1 acquired 0 times, released 1 time"}),
    [](const ::testing::TestParamInfo<BalanceCase>& test_info) {
        return std::string(test_info.param.label);
    });

// A leak in one command must not be blamed on the next.
TEST_F(HostTest, BalanceStartsAfreshEachCommand) {
    Host host(StandInEntry);
    host.SetBalancePolicy(BalancePolicy::Warn);
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        SPErr err = 0;
        Acquire(in_data, "PF ANSI Suite", 1, &err);
        return PF_Err_NONE;
    };
    testing::internal::CaptureStderr();
    host.About();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(1u, host.LastCommandProblems().size());
    t_behaviour = nullptr;
    host.About();
    EXPECT_TRUE(host.LastCommandProblems().empty());
}

TEST_F(HostTest, ExtraBalanceChecksRunAfterEveryCommand) {
    Host host(StandInEntry);
    int runs = 0;
    host.AddBalanceCheck([&] {
        ++runs;
        return std::vector<std::string>{"pen 1 never released"};
    });
    EXPECT_THROW(host.About(), HostError);
    EXPECT_EQ(1, runs);
}

// ---- Command records ------------------------------------------------------------------------

struct AppCase {
    const char* label;
    HostApp app;
    A_long applId;
};

class InDataTest : public HostTest, public ::testing::WithParamInterface<AppCase> {};

TEST_P(InDataTest, CarriesTheSettings) {
    HostSettings settings;
    settings.app = GetParam().app;
    settings.layerWidth = 640;
    settings.layerHeight = 360;
    settings.downsampleX = {1, 2};
    settings.downsampleY = {1, 4};
    settings.pixelAspect = {10, 11};
    settings.quality = PF_Quality_LO;
    settings.currentTime = 7;
    settings.timeScale = 25;
    Host host(StandInEntry, settings);
    PF_InData seen{};
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        seen = *in_data;
        out_data->my_version = 1;   // must not survive into the next command
        return PF_Err_NONE;
    };
    host.About();
    EXPECT_EQ(GetParam().applId, seen.appl_id);
    EXPECT_EQ(640, seen.width);
    EXPECT_EQ(360, seen.height);
    EXPECT_EQ(1, seen.downsample_x.num);
    EXPECT_EQ(2u, seen.downsample_x.den);
    EXPECT_EQ(4u, seen.downsample_y.den);
    EXPECT_EQ(10, seen.pixel_aspect_ratio.num);
    EXPECT_EQ(11u, seen.pixel_aspect_ratio.den);
    EXPECT_EQ(PF_Quality_LO, seen.quality);
    EXPECT_EQ(7, seen.current_time);
    EXPECT_EQ(25u, seen.time_scale);
    EXPECT_EQ(host.EffectRef(), seen.effect_ref);
    t_behaviour = nullptr;
    host.About();
    EXPECT_EQ(0u, host.OutData().my_version);
}

INSTANTIATE_TEST_SUITE_P(Apps, InDataTest,
                         ::testing::Values(AppCase{"compositor", HostApp::AfterEffects, 0x46584354},
                                           AppCase{"editor", HostApp::Premiere, 0x50724D72}),
                         [](const ::testing::TestParamInfo<AppCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

// sprintf into return_msg is bounded by its 256 bytes; the host knows that buffer's size.
TEST_F(HostTest, SprintfIntoReturnMsgStopsAtItsEnd) {
    Host host(StandInEntry);
    const std::string longText(300, 'x');
    A_long written = 0;
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        written = in_data->utils->ansi.sprintf(out_data->return_msg, "%s", longText.c_str());
        return PF_Err_NONE;
    };
    std::string text;
    host.About(&text);
    EXPECT_EQ(std::string(255, 'x'), text);
    EXPECT_EQ(255, written);
}

TEST_F(HostTest, SprintfFormatsAsVsprintf) {
    Host host(StandInEntry);
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        in_data->utils->ansi.sprintf(out_data->return_msg, "%s v%d.%d\r%s", "A", 1, 3, "B");
        return PF_Err_NONE;
    };
    std::string text;
    host.About(&text);
    EXPECT_EQ("A v1.3\rB", text);
    const std::vector<CallRecord> calls = host.Trace().Records();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("sprintf", calls[0].function);
    EXPECT_EQ("A v1.3\rB", calls[0].args["text"]);
}

TEST_F(HostTest, NthCallOfAFunctionFails) {
    Host host(StandInEntry);
    host.Faults().failNthCall["AcquireSuite"] = 2;
    std::vector<SPErr> results;
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        SPErr err = 0;
        if (Acquire(in_data, "PF ANSI Suite", 1, &err)) {
            in_data->pica_basicP->ReleaseSuite("PF ANSI Suite", 1);
        }
        results.push_back(err);
        return PF_Err_NONE;
    };
    for (int i = 0; i < 3; ++i) {
        host.About();
    }
    EXPECT_EQ((std::vector<SPErr>{0, PF_Err_INTERNAL_STRUCT_DAMAGED, 0}), results);
}

// ---- Parameters -----------------------------------------------------------------------

PF_ParamDef PointDef(PF_Fixed xPercent, PF_Fixed yPercent) {
    PF_ParamDef def{};
    def.param_type = PF_Param_POINT;
    def.u.td.x_dephault = xPercent;
    def.u.td.y_dephault = yPercent;
    return def;
}

PF_ParamDef CheckboxDef(PF_ParamFlags flags, const char* label) {
    PF_ParamDef def{};
    def.param_type = PF_Param_CHECKBOX;
    def.flags = flags;
    def.u.bd.u.nameptr = label;
    return def;
}

/// Registers `defs` as a module's Parameters setup does, num_params included.
PF_Err RegisterAll(PF_InData* in_data, PF_OutData* out_data, std::vector<PF_ParamDef> defs) {
    for (PF_ParamDef& def : defs) {
        if (const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def)) {
            return err;
        }
    }
    out_data->num_params = static_cast<A_long>(defs.size()) + 1;
    return PF_Err_NONE;
}

struct PointCase {
    const char* label;
    A_long layerWidth, layerHeight;
    PF_Fixed xPercent, yPercent;
    PF_Fixed x, y;   // layer pixels, 16.16
};

class PointDefaultTest : public HostTest, public ::testing::WithParamInterface<PointCase> {};

// The default is a percentage of the layer; the value is layer pixels, rounded to nearest 16.16.
TEST_P(PointDefaultTest, ResolvesPercentOfTheLayer) {
    const PointCase& c = GetParam();
    HostSettings settings;
    settings.layerWidth = c.layerWidth;
    settings.layerHeight = c.layerHeight;
    Host host(StandInEntry, settings);
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        return RegisterAll(in_data, out_data, {PointDef(c.xPercent, c.yPercent)});
    };
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    ASSERT_EQ(2u, host.ParamCount());
    EXPECT_EQ(c.x, host.Param(1).u.td.x_value);
    EXPECT_EQ(c.y, host.Param(1).u.td.y_value);
}

INSTANTIATE_TEST_SUITE_P(
    Layers, PointDefaultTest,
    ::testing::Values(PointCase{"centre_1920x1080", 1920, 1080, 50 << 16, 50 << 16, 960 << 16, 540 << 16},
                      PointCase{"centre_odd_size", 1921, 1081, 50 << 16, 50 << 16, 0x3C08000, 0x21C8000},
                      PointCase{"corners", 640, 360, 0, 100 << 16, 0, 360 << 16},
                      // 1/3 % of 100 px = 1/3 px: 21845.33 rounds down.
                      PointCase{"third_percent", 100, 100, 0x5555, 0xAAAB, 21845, 43691}),
    [](const ::testing::TestParamInfo<PointCase>& test_info) { return std::string(test_info.param.label); });

// A render at 1/2 x 1/4 sees points in its own pixels; sliders are not scaled.
TEST_F(HostTest, RenderScalesPointsByDownsample) {
    HostSettings settings;
    settings.layerWidth = 8;
    settings.layerHeight = 8;
    settings.downsampleX = {1, 2};
    settings.downsampleY = {1, 4};
    Host host(StandInEntry, settings);
    PF_FixedPoint seen{};
    PF_LayerDef seenInput{};
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                      PF_LayerDef*) -> PF_Err {
        if (cmd == PF_Cmd_PARAMS_SETUP) {
            return RegisterAll(in_data, out_data, {PointDef(50 << 16, 50 << 16)});
        }
        if (cmd == PF_Cmd_RENDER) {
            seen = PF_FixedPoint{params[1]->u.td.x_value, params[1]->u.td.y_value};
            seenInput = params[0]->u.ld;
        }
        return PF_Err_NONE;
    };
    host.ParamsSetup();
    World input(PixelLayout::Argb8, 4, 2);
    World output(PixelLayout::Argb8, 4, 2);
    ASSERT_EQ(PF_Err_NONE, host.Render(input, output));
    EXPECT_EQ(2 << 16, seen.x);
    EXPECT_EQ(1 << 16, seen.y);
    EXPECT_EQ(input.Def()->data, seenInput.data);
    EXPECT_EQ(4 << 16, host.Param(1).u.td.x_value);   // the instance's own value stays whole
}

struct FormatCase {
    const char* label;
    HostApp app;
    PixelLayout layout;
    bool declared;
    bool renders;
};

class RenderFormatTest : public HostTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(RenderFormatTest, RendersOnlyTheHostsFormats) {
    const FormatCase& c = GetParam();
    HostSettings settings;
    settings.app = c.app;
    Host host(StandInEntry, settings);
    PrPixelFormat reported = 0;
    PF_Err reportErr = -1;
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef* output) -> PF_Err {
        SPErr err = 0;
        auto* suite =
            static_cast<const PF_PixelFormatSuite1*>(Acquire(in_data, "PF Pixel Format Suite", 1, &err));
        if (cmd == PF_Cmd_GLOBAL_SETUP && c.declared) {
            suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
            suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_32f);
        }
        if (cmd == PF_Cmd_PARAMS_SETUP) {
            RegisterAll(in_data, out_data, {CheckboxDef(0, "x")});
        }
        if (cmd == PF_Cmd_RENDER) {
            reportErr = suite->GetPixelFormat(output, &reported);
        }
        in_data->pica_basicP->ReleaseSuite("PF Pixel Format Suite", 1);
        return PF_Err_NONE;
    };
    host.GlobalSetup();
    host.ParamsSetup();
    World input(c.layout, 3, 2);
    World output(c.layout, 3, 2);
    if (!c.renders) {
        EXPECT_THROW(host.Render(input, output), HostError);
        return;
    }
    ASSERT_EQ(PF_Err_NONE, host.Render(input, output));
    if (c.app == HostApp::Premiere) {
        EXPECT_EQ(PF_Err_NONE, reportErr);
        EXPECT_EQ(c.layout == PixelLayout::Bgra8 ? PrPixelFormat_BGRA_4444_8u : PrPixelFormat_BGRA_4444_32f,
                  reported);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RenderFormatTest,
    ::testing::Values(FormatCase{"ae_argb8", HostApp::AfterEffects, PixelLayout::Argb8, false, true},
                      FormatCase{"ae_argb16", HostApp::AfterEffects, PixelLayout::Argb16, false, true},
                      FormatCase{"ae_bgra8", HostApp::AfterEffects, PixelLayout::Bgra8, false, false},
                      FormatCase{"ae_float", HostApp::AfterEffects, PixelLayout::BgraFloat, false, false},
                      FormatCase{"pr_bgra8", HostApp::Premiere, PixelLayout::Bgra8, true, true},
                      FormatCase{"pr_float", HostApp::Premiere, PixelLayout::BgraFloat, true, true},
                      FormatCase{"pr_bgra8_undeclared", HostApp::Premiere, PixelLayout::Bgra8, false, false},
                      FormatCase{"pr_argb8", HostApp::Premiere, PixelLayout::Argb8, true, false}),
    [](const ::testing::TestParamInfo<FormatCase>& test_info) { return std::string(test_info.param.label); });

TEST_F(HostTest, PixelFormatOverrideIsReported) {
    HostSettings settings;
    settings.app = HostApp::Premiere;
    Host host(StandInEntry, settings);
    host.Faults().pixelFormatOverride = 0x12345678u;
    PrPixelFormat reported = 0;
    World world(PixelLayout::Bgra8, 1, 1);
    Host::CommandScope scope(host);
    const void* table = nullptr;
    ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF Pixel Format Suite", 1, &table));
    EXPECT_EQ(PF_Err_NONE,
              static_cast<const PF_PixelFormatSuite1*>(table)->GetPixelFormat(world.Def(), &reported));
    EXPECT_EQ(0x12345678u, reported);
}

// Only a supervised parameter's change makes the host send Update parameter UI.
TEST_F(HostTest, ChangeParamSendsUpdateOnlyWhenSupervised) {
    Host host(StandInEntry);
    std::vector<PF_Cmd> commands;
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        commands.push_back(cmd);
        if (cmd == PF_Cmd_PARAMS_SETUP) {
            return RegisterAll(in_data, out_data,
                               {CheckboxDef(0, "plain"), CheckboxDef(PF_ParamFlag_SUPERVISE, "supervised")});
        }
        return PF_Err_NONE;
    };
    host.ParamsSetup();
    host.ChangeParam(1, [](PF_ParamDef& def) { def.u.bd.value = 1; });
    host.ChangeParam(2, [](PF_ParamDef& def) { def.u.bd.value = 1; });
    EXPECT_EQ((std::vector<PF_Cmd>{PF_Cmd_PARAMS_SETUP, PF_Cmd_UPDATE_PARAMS_UI}), commands);
    EXPECT_EQ(1, host.Param(1).u.bd.value);
    EXPECT_EQ(1, host.Param(2).u.bd.value);
    EXPECT_THROW(host.ChangeParam(0, [](PF_ParamDef&) {}), HostError);
    EXPECT_THROW(host.ChangeParam(3, [](PF_ParamDef&) {}), HostError);
}

// Only values the module marks as changed during an event become the instance's values.
TEST_F(HostTest, EventAppliesOnlyMarkedValues) {
    Host host(StandInEntry);
    std::vector<PF_Cmd> commands;
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                      PF_LayerDef*) -> PF_Err {
        commands.push_back(cmd);
        if (cmd == PF_Cmd_PARAMS_SETUP) {
            return RegisterAll(in_data, out_data,
                               {CheckboxDef(0, "plain"), CheckboxDef(0, "plain"),
                                CheckboxDef(PF_ParamFlag_SUPERVISE, "supervised")});
        }
        if (cmd == PF_Cmd_EVENT) {
            params[1]->u.bd.value = 1;   // unmarked: dropped
            params[2]->u.bd.value = 1;
            params[2]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            params[3]->u.bd.value = 1;
            params[3]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
        }
        return PF_Err_NONE;
    };
    host.ParamsSetup();
    PF_EventExtra event{};
    EXPECT_EQ(PF_Err_NONE, host.Event(event));
    EXPECT_EQ(0, host.Param(1).u.bd.value);
    EXPECT_EQ(1, host.Param(2).u.bd.value);
    EXPECT_EQ(1, host.Param(3).u.bd.value);
    EXPECT_EQ((std::vector<PF_Cmd>{PF_Cmd_PARAMS_SETUP, PF_Cmd_EVENT, PF_Cmd_UPDATE_PARAMS_UI}), commands);
}

// The module's label texts may live on its stack; the host keeps its own copies.
TEST_F(HostTest, RegisteredTextsOutliveTheCall) {
    Host host(StandInEntry);
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        char label[] = "Shows only mask";
        const PF_Err err = RegisterAll(in_data, out_data, {CheckboxDef(0, label)});
        std::memset(label, 'z', sizeof label - 1);
        return err;
    };
    host.ParamsSetup();
    EXPECT_STREQ("Shows only mask", host.RegisteredParams()[0].u.bd.u.nameptr);
}

// Registration belongs to Parameters setup; a set-up that fails or miscounts leaves no instance.
TEST_F(HostTest, RegistrationOnlyDuringASoundSetUp) {
    Host host(StandInEntry);
    PF_Err lateAddParam = PF_Err_NONE;
    A_long declared = 2;
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        PF_ParamDef def = CheckboxDef(0, "x");
        if (cmd == PF_Cmd_PARAMS_SETUP) {
            in_data->inter.add_param(in_data->effect_ref, -1, &def);
            out_data->num_params = declared;
        } else {
            lateAddParam = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        }
        return PF_Err_NONE;
    };
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    host.UpdateParamsUI();
    EXPECT_EQ(PF_Err_INVALID_CALLBACK, lateAddParam);
    EXPECT_EQ(2u, host.ParamCount());

    declared = 14;   // more records than registered would be read past the end
    EXPECT_THROW(host.ParamsSetup(), HostError);
    World input(PixelLayout::Argb8, 1, 1);
    World output(PixelLayout::Argb8, 1, 1);
    EXPECT_THROW(host.Render(input, output), HostError);
    // The UI update reads the parameter records, so it is refused too rather than sent none.
    EXPECT_THROW(host.UpdateParamsUI(), HostError);
}

struct FailedSetUpCase {
    const char* label;
    PF_Err returned;   // what Parameters setup returns after registering one checkbox
    A_long declared;   // the num_params it reports
    bool throws;       // an exception escapes the entry point instead
};

class FailedSetUpTest : public HostTest, public ::testing::WithParamInterface<FailedSetUpCase> {};

// However the set-up fails, what it half registered is dropped and nothing that lends parameter
// records reaches the module, which would otherwise be handed none; About and the global
// selectors still go through, and a sound set-up brings the instance back.
TEST_P(FailedSetUpTest, RefusesEverythingThatLendsParameters) {
    const FailedSetUpCase& c = GetParam();
    Host host(StandInEntry);
    bool sound = false;
    std::vector<PF_Cmd> sent;
    t_behaviour = [&](PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        if (cmd != PF_Cmd_PARAMS_SETUP) {
            sent.push_back(cmd);
            return PF_Err_NONE;
        }
        const PF_Err err = RegisterAll(in_data, out_data, {CheckboxDef(0, "x")});
        if (sound)
            return err;
        out_data->num_params = c.declared;
        if (c.throws)
            throw std::runtime_error("set-up");
        return c.returned;
    };
    if (c.returned != PF_Err_NONE) {
        EXPECT_EQ(c.returned, host.ParamsSetup());
    } else {
        EXPECT_THROW(host.ParamsSetup(), HostError);
    }
    EXPECT_EQ(0u, host.ParamCount());
    PF_EventExtra event{};
    EXPECT_THROW(host.Event(event), HostError);
    EXPECT_THROW(host.Command(PF_Cmd_USER_CHANGED_PARAM), HostError);
    EXPECT_THROW(host.Command(PF_Cmd_SMART_RENDER), HostError);
    EXPECT_EQ(PF_Err_NONE, host.Command(PF_Cmd_GLOBAL_SETDOWN));
    EXPECT_EQ(PF_Err_NONE, host.About());
    EXPECT_EQ((std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_ABOUT}), sent);

    sound = true;
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    EXPECT_EQ(PF_Err_NONE, host.Event(event));
}

INSTANTIATE_TEST_SUITE_P(SetUp, FailedSetUpTest,
                         ::testing::Values(FailedSetUpCase{"returns_an_error", PF_Err_OUT_OF_MEMORY, 2,
                                                           false},
                                           FailedSetUpCase{"miscounts", PF_Err_NONE, 5, false},
                                           FailedSetUpCase{"throws", PF_Err_NONE, 2, true}),
                         [](const ::testing::TestParamInfo<FailedSetUpCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

struct AddParamCase {
    const char* label;
    bool ownRef;
    PF_ParamIndex index;
    PF_ParamType type;
    PF_Err expected;
};

class AddParamArgsTest : public HostTest, public ::testing::WithParamInterface<AddParamCase> {};

TEST_P(AddParamArgsTest, RefusesWhatAHostWouldRefuse) {
    const AddParamCase& c = GetParam();
    Host host(StandInEntry);
    t_behaviour = [&](PF_Cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef**,
                      PF_LayerDef*) -> PF_Err {
        PF_ParamDef def = CheckboxDef(0, "x");
        def.param_type = c.type;
        PF_ProgPtr ref = c.ownRef ? in_data->effect_ref : reinterpret_cast<PF_ProgPtr>(&def);
        out_data->num_params = 2;
        return in_data->inter.add_param(ref, c.index, &def);
    };
    EXPECT_EQ(c.expected, host.ParamsSetup());
    EXPECT_EQ(c.expected ? 0u : 1u, host.RegisteredParams().size());
}

INSTANTIATE_TEST_SUITE_P(
    Args, AddParamArgsTest,
    ::testing::Values(AddParamCase{"append", true, -1, PF_Param_CHECKBOX, PF_Err_NONE},
                      AddParamCase{"next_index", true, 1, PF_Param_CHECKBOX, PF_Err_NONE},
                      AddParamCase{"gap", true, 5, PF_Param_CHECKBOX, PF_Err_INVALID_INDEX},
                      AddParamCase{"foreign_ref", false, -1, PF_Param_CHECKBOX, PF_Err_BAD_CALLBACK_PARAM},
                      AddParamCase{"unknown_type", true, -1, 99, PF_Err_UNRECOGNIZED_PARAM_TYPE}),
    [](const ::testing::TestParamInfo<AddParamCase>& test_info) {
        return std::string(test_info.param.label);
    });

// ---- Iteration ----------------------------------------------------------------------------

// Counts the calls per output pixel and checks that each sees its own input pixel.
struct Visit {
    const World* input;
    std::vector<std::atomic<int>> calls;
    std::atomic<int> wrongInput{0};
    A_long width;
    Visit(const World* in, A_long w, A_long h)
        : input(in), calls(static_cast<std::size_t>(w * h)), width(w) {}
};

PF_Err CountPixel8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    auto* visit = static_cast<Visit*>(refcon);
    ++visit->calls[static_cast<std::size_t>(y * visit->width + x)];
    const bool inside = x < visit->input->Width() && y < visit->input->Height();
    const PF_Pixel blank{};
    const auto* expected = inside ? reinterpret_cast<const PF_Pixel*>(visit->input->PixelAt(x, y)) : &blank;
    if (std::memcmp(in, expected, sizeof *in) != 0) {
        ++visit->wrongInput;
    }
    out->alpha = 255;
    out->red = static_cast<A_u_char>(x);
    out->green = static_cast<A_u_char>(y);
    return PF_Err_NONE;
}

PF_Err CountPixel16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    auto* visit = static_cast<Visit*>(refcon);
    ++visit->calls[static_cast<std::size_t>(y * visit->width + x)];
    const bool inside = x < visit->input->Width() && y < visit->input->Height();
    const PF_Pixel16 blank{};
    const auto* expected = inside ? reinterpret_cast<const PF_Pixel16*>(visit->input->PixelAt(x, y)) : &blank;
    if (std::memcmp(in, expected, sizeof *in) != 0) {
        ++visit->wrongInput;
    }
    out->alpha = 32768;
    out->red = static_cast<A_u_short>(x);
    out->green = static_cast<A_u_short>(y);
    return PF_Err_NONE;
}

struct IterateCase {
    const char* label;
    bool deep;
    unsigned threads;
    A_long inW, inH, outW, outH, pad;
    bool area;   // iterate over [1,1)-(outW-1,outH-1) instead of the whole output
};

class IterateTest : public HostTest, public ::testing::WithParamInterface<IterateCase> {};

// Every pixel of the area once, each with its own input (transparent black beyond the input),
// the padding untouched.
TEST_P(IterateTest, VisitsEveryPixelOnce) {
    const IterateCase& c = GetParam();
    HostSettings settings;
    settings.threads = c.threads;
    Host host(StandInEntry, settings);
    const PixelLayout layout = c.deep ? PixelLayout::Argb16 : PixelLayout::Argb8;
    World input(layout, c.inW, c.inH, c.pad + 3);
    for (A_long y = 0; y < c.inH; ++y) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(c.inW) * BytesPerPixel(layout); ++i) {
            input.Row(y)[i] = static_cast<uint8_t>(i * 31 + static_cast<std::size_t>(y) * 7 + 1);
        }
    }
    World output(layout, c.outW, c.outH, c.pad);
    Visit visit(&input, c.outW, c.outH);
    const PF_Rect area{1, 1, c.outW - 1, c.outH - 1};

    Host::CommandScope scope(host);
    PF_InData in_data = host.InData();
    const void* table = nullptr;
    PF_Err err = PF_Err_NONE;
    if (c.deep) {
        ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF iterate16 Suite", 1, &table));
        err = static_cast<const PF_iterate16Suite1*>(table)->iterate(
            &in_data, 0, c.outH, input.Def(), c.area ? &area : nullptr, &visit, CountPixel16, output.Def());
    } else {
        ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF Iterate8 Suite", 1, &table));
        err = static_cast<const PF_Iterate8Suite1*>(table)->iterate(
            &in_data, 0, c.outH, input.Def(), c.area ? &area : nullptr, &visit, CountPixel8, output.Def());
    }
    EXPECT_EQ(PF_Err_NONE, err);
    for (A_long y = 0; y < c.outH; ++y) {
        for (A_long x = 0; x < c.outW; ++x) {
            const bool inArea = !c.area || (x >= 1 && y >= 1 && x < c.outW - 1 && y < c.outH - 1);
            EXPECT_EQ(inArea ? 1 : 0, visit.calls[static_cast<std::size_t>(y * c.outW + x)].load())
                << "pixel " << x << "," << y;
        }
    }
    EXPECT_EQ(0, visit.wrongInput.load());
    EXPECT_TRUE(output.PaddingIntact());
    EXPECT_TRUE(input.PaddingIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, IterateTest,
    ::testing::Values(IterateCase{"one_thread", false, 1, 7, 5, 7, 5, 0, false},
                      IterateCase{"two_threads_padded", false, 2, 7, 5, 7, 5, 12, false},
                      IterateCase{"more_threads_than_rows", false, 8, 6, 3, 6, 3, 4, false},
                      IterateCase{"three_threads_square", false, 3, 9, 9, 9, 9, 8, false},
                      IterateCase{"area", false, 2, 9, 7, 9, 7, 4, true},
                      IterateCase{"input_smaller", false, 3, 4, 2, 7, 5, 4, false},
                      IterateCase{"input_larger", false, 2, 9, 8, 5, 4, 0, false},
                      IterateCase{"deep_two_threads_padded", true, 2, 7, 5, 7, 5, 16, false},
                      IterateCase{"deep_input_smaller", true, 3, 3, 4, 6, 6, 8, true}),
    [](const ::testing::TestParamInfo<IterateCase>& test_info) {
        return std::string(test_info.param.label);
    });

// The first error in row order wins, however the rows were spread over threads.
PF_Err FailFromRow(void* refcon, A_long, A_long y, PF_Pixel*, PF_Pixel*) {
    const A_long firstBad = *static_cast<const A_long*>(refcon);
    return y >= firstBad ? 1000 + y : PF_Err_NONE;
}

TEST_F(HostTest, IterateReturnsTheLowestRowsError) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        HostSettings settings;
        settings.threads = threads;
        Host host(StandInEntry, settings);
        World input(PixelLayout::Argb8, 4, 16);
        World output(PixelLayout::Argb8, 4, 16);
        Host::CommandScope scope(host);
        PF_InData in_data = host.InData();
        const void* table = nullptr;
        ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF Iterate8 Suite", 1, &table));
        A_long firstBad = 5;
        EXPECT_EQ(1005, static_cast<const PF_Iterate8Suite1*>(table)->iterate(
                            &in_data, 0, 16, input.Def(), nullptr, &firstBad, FailFromRow, output.Def()))
            << threads << " threads";
    }
}

// An 8-bit iteration over a deep world would walk the rows with the wrong pixel size.
TEST_F(HostTest, IterateRefusesAWorldOfTheOtherDepth) {
    Host host(StandInEntry);
    World input(PixelLayout::Argb16, 2, 2);
    World output(PixelLayout::Argb16, 2, 2);
    Host::CommandScope scope(host);
    PF_InData in_data = host.InData();
    const void* table = nullptr;
    ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF Iterate8 Suite", 1, &table));
    A_long never = 100;
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM,
              static_cast<const PF_Iterate8Suite1*>(table)->iterate(&in_data, 0, 2, input.Def(), nullptr,
                                                                    &never, FailFromRow, output.Def()));
}

// ---- Copies ---------------------------------------------------------------------------------

struct CopyCase {
    const char* label;
    const char* function;   // "copy", "copy_hq" or "utils"
    A_long inW, inH, outW, outH;
};

class CopyTest : public HostTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyTest, CopiesTheCommonAreaAndClearsTheRest) {
    const CopyCase& c = GetParam();
    Host host(StandInEntry);
    World input(PixelLayout::Argb16, c.inW, c.inH, 6);
    for (A_long y = 0; y < c.inH; ++y) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(c.inW) * 8; ++i) {
            input.Row(y)[i] = static_cast<uint8_t>(i + static_cast<std::size_t>(y) * 16 + 1);
        }
    }
    World output(PixelLayout::Argb16, c.outW, c.outH, 2);
    for (A_long y = 0; y < c.outH; ++y) {
        std::memset(output.Row(y), 0x77, static_cast<std::size_t>(c.outW) * 8);
    }
    host.Command(PF_Cmd_GLOBAL_SETDOWN);   // fills the in data with the host's callbacks
    Host::CommandScope scope(host);
    const PF_InData in_data = host.InData();
    const void* table = nullptr;
    ASSERT_EQ(kSPNoError, host.Suites().Acquire("PF World Transform Suite", 1, &table));
    const auto* transform = static_cast<const PF_WorldTransformSuite1*>(table);
    const std::string function = c.function;
    PF_Err err = PF_Err_NONE;
    if (function == "copy") {
        err = transform->copy(host.EffectRef(), input.Def(), output.Def(), nullptr, nullptr);
    } else if (function == "copy_hq") {
        err = transform->copy_hq(host.EffectRef(), input.Def(), output.Def(), nullptr, nullptr);
    } else {
        err = in_data.utils->copy(host.EffectRef(), input.Def(), output.Def(), nullptr, nullptr);
    }
    ASSERT_EQ(PF_Err_NONE, err);
    for (A_long y = 0; y < c.outH; ++y) {
        for (A_long x = 0; x < c.outW; ++x) {
            const bool common = x < c.inW && y < c.inH;
            const uint8_t zero[8] = {};
            EXPECT_EQ(0, std::memcmp(output.PixelAt(x, y), common ? input.PixelAt(x, y) : zero, 8))
                << "pixel " << x << "," << y;
        }
    }
    EXPECT_TRUE(output.PaddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, CopyTest,
                         ::testing::Values(CopyCase{"same_size", "copy", 5, 3, 5, 3},
                                           CopyCase{"hq_same_size", "copy_hq", 5, 3, 5, 3},
                                           CopyCase{"utils_same_size", "utils", 5, 3, 5, 3},
                                           CopyCase{"input_smaller", "copy", 3, 2, 5, 4},
                                           CopyCase{"input_larger", "copy_hq", 6, 5, 4, 3}),
                         [](const ::testing::TestParamInfo<CopyCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

// ---- Worlds and the module library ------------------------------------------------------------

TEST(WorldTest, CopyLendsItsOwnBytes) {
    World world(PixelLayout::BgraFloat, 3, 2, 5);
    world.PixelAt(2, 1)[0] = 9;
    const World copy(world);
    EXPECT_NE(world.Def()->data, copy.Def()->data);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(copy.Def()->data), copy.Row(0));
    EXPECT_TRUE(copy.SamePixels(world));
    EXPECT_EQ(3u * 16u + 5u, copy.RowBytes());
    world.PixelAt(0, 0)[0] = 1;
    EXPECT_FALSE(copy.SamePixels(world));
}

TEST(WorldTest, PaddingChangeIsSeen) {
    World world(PixelLayout::Argb8, 2, 2, 3);
    EXPECT_TRUE(world.PaddingIntact());
    world.Row(1)[2 * 4 + 2] = 0;
    EXPECT_FALSE(world.PaddingIntact());
    EXPECT_EQ(PF_WorldFlag_DEEP, World(PixelLayout::Argb16, 1, 1).Def()->world_flags);
    EXPECT_THROW(World(PixelLayout::Argb8, -1, 2), HostError);
}

TEST(ModuleLibraryTest, MessagesNameThePathAndTheCause) {
    try {
        ModuleLibrary missing("/nonexistent/Corvelle.so");
        ADD_FAILURE() << "loaded a missing module";
    } catch (const HostError& e) {
        EXPECT_EQ(0, std::string(e.what()).rfind("cannot load module /nonexistent/Corvelle.so: ", 0))
            << e.what();
    }
    try {
        ModuleLibrary bare("libm.so.6");
        ADD_FAILURE() << "loaded a bare name from the library path";
    } catch (const HostError& e) {
        // A bare name is a file in the current folder, not a search of the library path.
        EXPECT_EQ(0, std::string(e.what()).rfind("cannot load module libm.so.6: ", 0)) << e.what();
    }
    Dl_info maths{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&::nextafter), &maths));
    const std::string libm = maths.dli_fname;
    try {
        ModuleLibrary library(libm);
        ADD_FAILURE() << libm << " has an entry point?";
    } catch (const HostError& e) {
        EXPECT_EQ("module " + libm + " has no EntryPointFunc", e.what());
    }
}

TEST(ModuleLibraryTest, DefaultPathIsBesideTheCommand) {
    const std::string path = ModuleLibrary::DefaultPath();
    EXPECT_EQ(0, path.rfind('/', 0));
    EXPECT_EQ(path.size() - std::strlen("/Corvelle.so"), path.rfind("/Corvelle.so"));
}

// ---- What info prints of flags and versions ----------------------------------------------------

TEST(ModuleDescriptionTest, DecodesTheVersionWord) {
    EXPECT_EQ("version 1.3.0 develop build 1 (0x98001)", DescribeVersion(0x98001)["text"]);
    EXPECT_EQ("version 7.15.15 release build 511 (0x3fffff)", DescribeVersion(0x3fffff)["text"]);
}

TEST(ModuleDescriptionTest, NamesOutFlagsAndUnknownBits) {
    EXPECT_EQ((nlohmann::json{"PIX_INDEPENDENT", "CUSTOM_UI", "DEEP_COLOR_AWARE", "SEND_UPDATE_PARAMS_UI"}),
              DescribeOutFlags(0x6008400)["names"]);
    EXPECT_EQ((nlohmann::json{"bit 0", "DISPLAY_ERROR_MESSAGE"}), DescribeOutFlags(0x101)["names"]);
}

TEST(ModuleDescriptionTest, DecimalsReadBackExactly) {
    EXPECT_EQ("50", Decimal(50.0));
    EXPECT_EQ("0.05", Decimal(0.05f));
    EXPECT_EQ("0.05000000074505806", Decimal(static_cast<double>(0.05f)));
    EXPECT_EQ("1.52587890625e-05", Decimal(1.0 / 65536.0));
}

}   // namespace
}   // namespace corvelle
