// The module's entry point through the headless host: About, Global setup under both hosts,
// and the selectors it leaves alone.
#include "core/Host.h"
#include "core/HostError.h"
#include "ModuleUnderTest.h"

#include "KT_Corvelle_Strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace corvelle {
namespace {

constexpr A_long kVersion = 0x98001;
constexpr PF_OutFlags kGlobalOutFlags = 0x6008400;

/// Calls the module directly with the host's in data and an out block of the test's own, so a
/// test can see whether a command wrote anything at all.
PF_Err CallDirect(Host& host, PF_Cmd cmd, PF_InData in_data, PF_OutData* out_data) {
    Host::CommandScope scope(host);
    return Module().Entry()(cmd, &in_data, out_data, nullptr, nullptr, nullptr);
}

PF_OutData Filled(uint8_t byte) {
    PF_OutData out;
    std::memset(&out, byte, sizeof out);
    return out;
}

// The title line is row 1, a blank, "v1.3"; a single carriage return; then row 2.
TEST(EntryPointTest, AboutTextIsNameVersionAndDescription) {
    for (const HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        Host host(Module().Entry(), For(app));
        std::string text;
        ASSERT_EQ(PF_Err_NONE, host.About(&text));
        EXPECT_EQ(std::string(GetStringPtr(StrID_Name)) + " v1.3\r" + GetStringPtr(StrID_Description), text);
        EXPECT_EQ(0, text.rfind("Corvelle v1.3\r", 0));
        EXPECT_EQ((std::vector<std::string>{"AcquireSuite", "sprintf", "ReleaseSuite"}),
                  host.Trace().Functions());
        EXPECT_EQ("PF ANSI Suite", host.Trace().Records()[0].suite);
        EXPECT_EQ(0, host.OutData().out_flags);
    }
}

TEST(EntryPointTest, AboutWithoutBasicSuiteFailsAndLeavesTheMessage) {
    Host host(Module().Entry());
    host.Command(PF_Cmd_GLOBAL_SETDOWN);
    PF_InData in_data = host.InData();
    in_data.pica_basicP = nullptr;
    PF_OutData out = Filled(0xA5);
    const PF_OutData before = out;
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, CallDirect(host, PF_Cmd_ABOUT, in_data, &out));
    EXPECT_EQ(0, std::memcmp(before.return_msg, out.return_msg, sizeof out.return_msg));
    EXPECT_EQ(0u, host.Trace().Count("sprintf"));
}

TEST(EntryPointTest, AboutWithRefusedAnsiSuiteFailsBalanced) {
    Host host(Module().Entry());
    host.Faults().refusedSuites.insert({"PF ANSI Suite", 1});
    std::string text;
    EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, host.About(&text));
    EXPECT_EQ("", text);
    EXPECT_EQ(0u, host.Trace().Count("ReleaseSuite"));
}

TEST(EntryPointTest, GlobalSetupUnderTheCompositorAsksForNoSuite) {
    Host host(Module().Entry(), For(HostApp::AfterEffects));
    ASSERT_EQ(PF_Err_NONE, host.GlobalSetup());
    EXPECT_EQ(static_cast<A_u_long>(kVersion), host.OutData().my_version);
    EXPECT_EQ(kGlobalOutFlags, host.OutData().out_flags);
    EXPECT_TRUE(host.Trace().Records().empty());
    EXPECT_TRUE(host.DeclaredPixelFormats().empty());
}

// out_flags is assigned, not or-ed, and out_flags2 never written: a stale block shows both.
TEST(EntryPointTest, GlobalSetupAssignsTheFlagsAndLeavesFlags2) {
    for (const HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        Host host(Module().Entry(), For(app));
        host.Command(PF_Cmd_GLOBAL_SETDOWN);
        PF_OutData out = Filled(0xFF);
        ASSERT_EQ(PF_Err_NONE, CallDirect(host, PF_Cmd_GLOBAL_SETUP, host.InData(), &out));
        EXPECT_EQ(kGlobalOutFlags, out.out_flags);
        EXPECT_EQ(static_cast<A_u_long>(kVersion), out.my_version);
        EXPECT_EQ(static_cast<PF_OutFlags2>(0xFFFFFFFF), out.out_flags2);
    }
}

TEST(EntryPointTest, GlobalSetupUnderTheEditorDeclaresBothFormatsInOrder) {
    Host host(Module().Entry(), For(HostApp::Premiere));
    ASSERT_EQ(PF_Err_NONE, host.GlobalSetup());
    EXPECT_EQ(kGlobalOutFlags, host.OutData().out_flags);
    EXPECT_EQ(
        (std::vector<std::string>{"AcquireSuite", "ClearSupportedPixelFormats", "AddSupportedPixelFormat",
                                  "AddSupportedPixelFormat", "ReleaseSuite"}),
        host.Trace().Functions());
    EXPECT_EQ((std::vector<PrPixelFormat>{0x61724742, 0x61726762}), host.DeclaredPixelFormats());
    EXPECT_EQ(1u, host.Trace().Count("ReleaseSuite", "PF Pixel Format Suite"));
}

TEST(EntryPointTest, GlobalSetupWithoutPixelFormatSuiteStillSucceeds) {
    Host host(Module().Entry(), For(HostApp::Premiere));
    host.Faults().refusedSuites.insert({"PF Pixel Format Suite", 1});
    ASSERT_EQ(PF_Err_NONE, host.GlobalSetup());
    EXPECT_EQ(kGlobalOutFlags | PF_OutFlag_DISPLAY_ERROR_MESSAGE, host.OutData().out_flags);
    EXPECT_STREQ("Not able to acquire AEFX Suite.", host.OutData().return_msg);
    EXPECT_EQ(static_cast<A_u_long>(kVersion), host.OutData().my_version);
    EXPECT_TRUE(host.DeclaredPixelFormats().empty());
    EXPECT_EQ(0u, host.Trace().Count("ReleaseSuite"));
}

// A host call that fails during the declaration is not consulted.
TEST(EntryPointTest, GlobalSetupIgnoresAFailedDeclaration) {
    Host host(Module().Entry(), For(HostApp::Premiere));
    host.Faults().failNthCall["ClearSupportedPixelFormats"] = 1;
    ASSERT_EQ(PF_Err_NONE, host.GlobalSetup());
    EXPECT_EQ(kGlobalOutFlags, host.OutData().out_flags);
    EXPECT_EQ((std::vector<PrPixelFormat>{0x61724742, 0x61726762}), host.DeclaredPixelFormats());
}

struct SelectorCase {
    const char* label;
    PF_Cmd cmd;
};

class UnhandledSelectorTest : public ::testing::TestWithParam<SelectorCase> {};

// Set-down, sequence and frame set-up, change reports, smart rendering and unknown values are
// answered with 0 and nothing else: no out-block byte written, no host call.
TEST_P(UnhandledSelectorTest, ReturnsZeroAndTouchesNothing) {
    for (const HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        Host host(Module().Entry(), For(app));
        ASSERT_EQ(PF_Err_NONE, host.ParamsSetup());
        host.Trace().Clear();
        EXPECT_EQ(PF_Err_NONE, host.Command(GetParam().cmd));
        EXPECT_TRUE(host.Trace().Records().empty());
        PF_OutData out = Filled(0x5A);
        const PF_OutData before = out;
        EXPECT_EQ(PF_Err_NONE, CallDirect(host, GetParam().cmd, host.InData(), &out));
        EXPECT_EQ(0, std::memcmp(&before, &out, sizeof out));
    }
}

INSTANTIATE_TEST_SUITE_P(Selectors, UnhandledSelectorTest,
                         ::testing::Values(SelectorCase{"global_setdown", 3},
                                           SelectorCase{"sequence_setup", 5}, SelectorCase{"frame_setup", 10},
                                           SelectorCase{"user_changed_param", 13},
                                           SelectorCase{"sixteen", 16}, SelectorCase{"smart_pre_render", 23},
                                           SelectorCase{"smart_render", 24}, SelectorCase{"minus_one", -1},
                                           SelectorCase{"large", 0x7fffffff}),
                         [](const ::testing::TestParamInfo<SelectorCase>& test_info) {
                             return std::string(test_info.param.label);
                         });

}   // namespace
}   // namespace corvelle
