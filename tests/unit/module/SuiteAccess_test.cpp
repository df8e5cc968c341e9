// The module's two ways of getting suites, against the headless host's registry: the per-command
// cache and the plain functions with their messages.
#include "CaseName.h"
#include "core/Host.h"
#include "core/HostError.h"
#include "ModuleUnderTest.h"

#include "KT_Corvelle.h"
#include "Util/AEFX_SuiteHelper.h"
#include "Util/AEGP_SuiteHandler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

// Stands in for suites a plain host does not serve (drawing, custom UI); never called.
const int kDummyTable = 0;

/// A host made active on this thread, with the records of one finished command at hand.
class SuiteAccessTest : public ::testing::Test {
protected:
    SuiteAccessTest() : m_host(Module().Entry()) {
        for (const char* name :
             {"PF Effect Custom UI Suite", "PF Effect Custom UI Overlay Theme Suite", "DRAWBOT Draw Suite",
              "DRAWBOT Supplier Suite", "DRAWBOT Surface Suite", "DRAWBOT Path Suite"}) {
            if (!m_host.Suites().Has(name, 1)) {
                m_host.Suites().Add(name, 1, &kDummyTable);
            }
        }
        m_host.Command(PF_Cmd_GLOBAL_SETDOWN);
        m_inData = m_host.InData();
        m_host.Trace().Clear();
        m_host.Suites().ResetBalance();
    }

    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const CallRecord& r : m_host.Trace().Records()) {
            if (r.function == "AcquireSuite" || r.function == "ReleaseSuite") {
                calls.push_back(r.function.substr(0, 7) + " " + r.suite);
            }
        }
        return calls;
    }

    Host m_host;
    Host::CommandScope m_scope{m_host};
    PF_InData m_inData{};
    PF_OutData m_outData{};
};

// ---- The suite cache ---------------------------------------------------------------------

struct AccessorCase {
    const char* label;
    const void* (*fetch)(AEGP_SuiteHandler&);
    const char* name;
    int version;
};

class SuiteHandlerAccessorTest : public SuiteAccessTest,
                                 public ::testing::WithParamInterface<AccessorCase> {};

// Each accessor asks for its exact name and version, once however often it is used.
TEST_P(SuiteHandlerAccessorTest, AcquiresOnceAndReleasesOnce) {
    const AccessorCase& c = GetParam();
    {
        AEGP_SuiteHandler suites(m_inData.pica_basicP);
        const void* first = c.fetch(suites);
        EXPECT_NE(nullptr, first);
        EXPECT_EQ(first, c.fetch(suites));
        EXPECT_EQ((std::vector<std::string>{std::string("Acquire ") + c.name}), Calls());
    }
    EXPECT_EQ((std::vector<std::string>{std::string("Acquire ") + c.name, std::string("Release ") + c.name}),
              Calls());
    for (const CallRecord& r : m_host.Trace().Records()) {
        EXPECT_EQ(c.version, r.version);
    }
    EXPECT_TRUE(m_host.Suites().BalanceProblems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Accessors, SuiteHandlerAccessorTest,
    ::testing::Values(
        AccessorCase{"ansi", [](AEGP_SuiteHandler& s) -> const void* { return s.ANSICallbacksSuite1(); },
                     "PF ANSI Suite", 1},
        AccessorCase{"param_utils", [](AEGP_SuiteHandler& s) -> const void* { return s.ParamUtilsSuite3(); },
                     "PF Param Utils Suite", 3},
        AccessorCase{"iterate8", [](AEGP_SuiteHandler& s) -> const void* { return s.Iterate8Suite1(); },
                     "PF Iterate8 Suite", 1},
        AccessorCase{"iterate16", [](AEGP_SuiteHandler& s) -> const void* { return s.Iterate16Suite1(); },
                     "PF iterate16 Suite", 1},
        AccessorCase{"world_transform",
                     [](AEGP_SuiteHandler& s) -> const void* { return s.WorldTransformSuite1(); },
                     "PF World Transform Suite", 1},
        AccessorCase{"custom_ui",
                     [](AEGP_SuiteHandler& s) -> const void* { return s.EffectCustomUISuite1(); },
                     "PF Effect Custom UI Suite", 1},
        AccessorCase{"overlay_theme",
                     [](AEGP_SuiteHandler& s) -> const void* { return s.EffectCustomUIOverlayThemeSuite1(); },
                     "PF Effect Custom UI Overlay Theme Suite", 1},
        AccessorCase{"drawbot_draw", [](AEGP_SuiteHandler& s) -> const void* { return s.DrawbotSuite1(); },
                     "DRAWBOT Draw Suite", 1}),
    [](const ::testing::TestParamInfo<AccessorCase>& test_info) {
        return std::string(test_info.param.label);
    });

TEST_F(SuiteAccessTest, UnusedCacheReleasesNothing) {
    { AEGP_SuiteHandler suites(m_inData.pica_basicP); }
    EXPECT_TRUE(m_host.Trace().Records().empty());
}

TEST_F(SuiteAccessTest, NullBasicSuiteThrows516) {
    try {
        AEGP_SuiteHandler suites(nullptr);
        ADD_FAILURE() << "constructed without a basic suite";
    } catch (int thrown) {
        EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, thrown);
    }
}

// Unwinding from a refusal still gives back what the cache had, once each.
TEST_F(SuiteAccessTest, RefusalUnwindsAndReleasesEarlierSuites) {
    m_host.Faults().refusedSuites.insert({"PF Iterate8 Suite", 1});
    int thrown = 0;
    try {
        AEGP_SuiteHandler suites(m_inData.pica_basicP);
        suites.ANSICallbacksSuite1();
        suites.ParamUtilsSuite3();
        suites.Iterate8Suite1();
        ADD_FAILURE() << "refused suite was handed out";
    } catch (int code) {
        thrown = code;
    }
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, thrown);
    EXPECT_EQ((std::vector<std::string>{"Acquire PF ANSI Suite", "Acquire PF Param Utils Suite",
                                        "Acquire PF Iterate8 Suite", "Release PF ANSI Suite",
                                        "Release PF Param Utils Suite"}),
              Calls());
    EXPECT_TRUE(m_host.Suites().BalanceProblems().empty());
}

// The same discipline through the module's own commands: the host checks balance after each.
// A suite the cache cannot get ends the command with its 516 and no message; the plain helper
// behind the editor's pixel format suite says so in return_msg.
enum class RefusedIn { About, UpdateParamsUI, Render };

struct CommandRefusalCase {
    const char* name;
    const char* suite;
    int version;
    RefusedIn command;
    HostApp app;
    PixelLayout layout;
    bool opacityZero;      // the render is a copy
    const char* message;   // what the module leaves in return_msg, or null for nothing
};

class CommandRefusalTest : public ::testing::TestWithParam<CommandRefusalCase> {};

TEST_P(CommandRefusalTest, CommandReturns516Balanced) {
    const CommandRefusalCase& c = GetParam();
    HostSettings settings = For(c.app);
    settings.layerWidth = 8;
    settings.layerHeight = 4;
    Host host(Module().Entry(), settings);
    ASSERT_EQ(PF_Err_NONE, host.GlobalSetup());
    ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
    host.Faults().refusedSuites.insert({c.suite, c.version});
    host.Trace().Clear();
    PF_Err err = PF_Err_NONE;
    switch (c.command) {
    case RefusedIn::About: err = host.About(); break;
    case RefusedIn::UpdateParamsUI: err = host.UpdateParamsUI(); break;
    case RefusedIn::Render: {
        if (c.opacityZero) {
            host.Param(PARAM_OPACITY).u.fd.value = 0;
        }
        World input(c.layout, 8, 4);
        World output(c.layout, 8, 4);
        err = host.Render(input, output);
        break;
    }
    }
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, err);
    EXPECT_EQ(1u, host.Trace().Count("AcquireSuite", c.suite)) << "the refusal is what ended the command";
    EXPECT_TRUE(host.LastCommandProblems().empty());
    const PF_OutData& out = host.OutData();
    if (c.message != nullptr) {
        EXPECT_EQ(PF_OutFlag_DISPLAY_ERROR_MESSAGE, out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
        EXPECT_STREQ(c.message, out.return_msg);
    } else {
        EXPECT_EQ(0, out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
        EXPECT_STREQ("", out.return_msg);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Suites, CommandRefusalTest,
    ::testing::Values(
        CommandRefusalCase{"about_ansi", "PF ANSI Suite", 1, RefusedIn::About, HostApp::AfterEffects,
                           PixelLayout::Argb8, false, nullptr},
        CommandRefusalCase{"update_param_utils", "PF Param Utils Suite", 3, RefusedIn::UpdateParamsUI,
                           HostApp::AfterEffects, PixelLayout::Argb8, false, nullptr},
        CommandRefusalCase{"render_iterate8", "PF Iterate8 Suite", 1, RefusedIn::Render,
                           HostApp::AfterEffects, PixelLayout::Argb8, false, nullptr},
        CommandRefusalCase{"render_iterate16", "PF iterate16 Suite", 1, RefusedIn::Render,
                           HostApp::AfterEffects, PixelLayout::Argb16, false, nullptr},
        CommandRefusalCase{"render_copy_world_transform", "PF World Transform Suite", 1, RefusedIn::Render,
                           HostApp::AfterEffects, PixelLayout::Argb8, true, nullptr},
        CommandRefusalCase{"render_editor_pixel_format", "PF Pixel Format Suite", 1, RefusedIn::Render,
                           HostApp::Premiere, PixelLayout::Bgra8, false, "Not able to acquire AEFX Suite."},
        // The pixel format suite is already held when the iteration suite is refused.
        CommandRefusalCase{"render_editor_iterate8", "PF Iterate8 Suite", 1, RefusedIn::Render,
                           HostApp::Premiere, PixelLayout::Bgra8, false, nullptr}),
    CaseName());

// ---- The plain functions ---------------------------------------------------------------------

TEST_F(SuiteAccessTest, AcquireWithoutBasicSuiteLeavesTheSlotAndSaysSo) {
    m_inData.pica_basicP = nullptr;
    int sentinel = 0;
    void* suite = &sentinel;
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM,
              AEFX_AcquireSuite(&m_inData, &m_outData, "PF ANSI Suite", 1, nullptr, &suite));
    EXPECT_EQ(&sentinel, suite);
    EXPECT_EQ(PF_OutFlag_DISPLAY_ERROR_MESSAGE, m_outData.out_flags);
    EXPECT_STREQ("Not able to acquire AEFX Suite.", m_outData.return_msg);
}

struct MessageCase {
    const char* label;
    bool release;
    const char* errorText;
    const char* expected;
};

class PlainMessageTest : public SuiteAccessTest, public ::testing::WithParamInterface<MessageCase> {};

// The caller's text, else the default, goes to return_msg, as sprintf's format: "%" stays
// what the caller wrote, since no argument follows.
TEST_P(PlainMessageTest, PutsTheMessageInReturnMsg) {
    const MessageCase& c = GetParam();
    PF_Err err = PF_Err_NONE;
    if (c.release) {
        m_inData.pica_basicP = nullptr;
        err = AEFX_ReleaseSuite(&m_inData, &m_outData, "PF ANSI Suite", 1, c.errorText);
    } else {
        m_host.Faults().refusedSuites.insert({"PF ANSI Suite", 1});
        void* suite = nullptr;
        err = AEFX_AcquireSuite(&m_inData, &m_outData, "PF ANSI Suite", 1, c.errorText, &suite);
        EXPECT_EQ(nullptr, suite);
    }
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, err);
    EXPECT_EQ(PF_OutFlag_DISPLAY_ERROR_MESSAGE, m_outData.out_flags);
    EXPECT_STREQ(c.expected, m_outData.return_msg);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, PlainMessageTest,
    ::testing::Values(
        MessageCase{"acquire_default", false, nullptr, "Not able to acquire AEFX Suite."},
        MessageCase{"acquire_custom", false, "Pixel formats unavailable.", "Pixel formats unavailable."},
        MessageCase{"release_default", true, nullptr, "Not able to release AEFX Suite."},
        MessageCase{"release_custom", true, "Could not give it back.", "Could not give it back."}),
    [](const ::testing::TestParamInfo<MessageCase>& test_info) {
        return std::string(test_info.param.label);
    });

TEST_F(SuiteAccessTest, PlainAcquireAndReleaseBalance) {
    void* suite = nullptr;
    ASSERT_EQ(PF_Err_NONE,
              AEFX_AcquireSuite(&m_inData, &m_outData, "PF Pixel Format Suite", 1, nullptr, &suite));
    EXPECT_NE(nullptr, suite);
    EXPECT_EQ(PF_Err_NONE, AEFX_ReleaseSuite(&m_inData, &m_outData, "PF Pixel Format Suite", 1, nullptr));
    EXPECT_TRUE(m_host.Suites().BalanceProblems().empty());
    EXPECT_EQ(0, m_outData.out_flags);
}

TEST_F(SuiteAccessTest, DrawbotSuitesWithNullRecord) {
    EXPECT_EQ(PF_Err_UNRECOGNIZED_PARAM_TYPE, AEFX_AcquireDrawbotSuites(&m_inData, &m_outData, nullptr));
    EXPECT_STREQ("NULL suite pointer passed to AEFX_AcquireDrawbotSuites", m_outData.return_msg);
    EXPECT_EQ(PF_OutFlag_DISPLAY_ERROR_MESSAGE, m_outData.out_flags);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(SuiteAccessTest, DrawbotSuitesAcquireAllFourInOrder) {
    DRAWBOT_Suites suites{};
    ASSERT_EQ(PF_Err_NONE, AEFX_AcquireDrawbotSuites(&m_inData, &m_outData, &suites));
    EXPECT_NE(nullptr, suites.drawbot_suiteP);
    EXPECT_NE(nullptr, suites.supplier_suiteP);
    EXPECT_NE(nullptr, suites.surface_suiteP);
    EXPECT_NE(nullptr, suites.path_suiteP);
    EXPECT_EQ(PF_Err_NONE, AEFX_ReleaseDrawbotSuites(&m_inData, &m_outData));
    EXPECT_EQ((std::vector<std::string>{"Acquire DRAWBOT Draw Suite", "Acquire DRAWBOT Supplier Suite",
                                        "Acquire DRAWBOT Surface Suite", "Acquire DRAWBOT Path Suite",
                                        "Release DRAWBOT Draw Suite", "Release DRAWBOT Supplier Suite",
                                        "Release DRAWBOT Surface Suite", "Release DRAWBOT Path Suite"}),
              Calls());
    EXPECT_TRUE(m_host.Suites().BalanceProblems().empty());
}

// Without the Surface suite: Draw and Supplier acquired, Path never asked for.
TEST_F(SuiteAccessTest, DrawbotSuitesStopAtTheMissingSurface) {
    m_host.Faults().refusedSuites.insert({"DRAWBOT Surface Suite", 1});
    DRAWBOT_Suites suites{};
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, AEFX_AcquireDrawbotSuites(&m_inData, &m_outData, &suites));
    EXPECT_EQ((std::vector<std::string>{"Acquire DRAWBOT Draw Suite", "Acquire DRAWBOT Supplier Suite",
                                        "Acquire DRAWBOT Surface Suite"}),
              Calls());
    EXPECT_NE(nullptr, suites.drawbot_suiteP);
    EXPECT_NE(nullptr, suites.supplier_suiteP);
    EXPECT_EQ(nullptr, suites.path_suiteP);
    EXPECT_STREQ("Not able to acquire AEFX Suite.", m_outData.return_msg);
    // The two acquired suites are the caller's to give back.
    EXPECT_EQ(2u, m_host.Suites().BalanceProblems().size());
}

}   // namespace
}   // namespace corvelle
