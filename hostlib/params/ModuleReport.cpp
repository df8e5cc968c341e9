// The set-up commands run one by one, and what a host learns from each, as JSON.
#include "core/Host.h"
#include "core/HostError.h"
#include "core/ModuleLibrary.h"
#include "params/ModuleDescription.h"
#include "params/ParamKeys.h"

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <string>

namespace corvelle {
namespace {

std::string ReturnMsg(const PF_OutData& out) {
    return std::string(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
}

/// A failed command ends the run; a message the module left beside success is passed on.
void CheckCommand(const char* command, PF_Err err, const PF_OutData& out, nlohmann::json& warnings) {
    const bool message = (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0;
    if (err) {
        throw HostError(std::string(command) + " failed with error " + std::to_string(err) +
                        (message ? ": " + ReturnMsg(out) : std::string()));
    }
    if (message) {
        warnings.push_back(std::string(command) + ": " + ReturnMsg(out));
    }
}

}   // namespace

// Below an Effect on purpose: it reports each set-up command as the host sees it (About before
// Global setup, every command's out flags and messages), which an Effect, set up whole, hides.
std::string InspectModuleJson(const std::string& modulePath, HostKind hostKind, bool maskOnly) {
    const std::string path = modulePath.empty() ? ModuleLibrary::DefaultPath() : modulePath;
    const ModuleLibrary library(path);
    HostSettings settings;
    settings.app = hostKind == HostKind::Editor ? HostApp::Premiere : HostApp::AfterEffects;
    Host host(library.Entry(), settings);
    host.SetBalancePolicy(BalancePolicy::Warn);

    nlohmann::json info{{"module", path}, {"host", hostKind == HostKind::Editor ? "premiere" : "ae"}};
    nlohmann::json warnings = nlohmann::json::array();
    std::string about;
    CheckCommand("About", host.About(&about), host.OutData(), warnings);
    info["about"] = about;

    CheckCommand("Global setup", host.GlobalSetup(), host.OutData(), warnings);
    info["version"] = DescribeVersion(host.OutData().my_version);
    info["out_flags"] = DescribeOutFlags(host.OutData().out_flags);
    info["out_flags2"] = host.OutData().out_flags2;
    if (settings.app == HostApp::Premiere) {
        info["pixel_formats"] = DescribePixelFormats(host.DeclaredPixelFormats());
    }

    CheckCommand("Parameters setup", host.ParamsSetup(), host.OutData(), warnings);
    info["num_params"] = host.OutData().num_params;
    info["custom_ui"] =
        host.UIRegistered() ? nlohmann::json{{"events", host.RegisteredUI().events}} : nlohmann::json();
    if (maskOnly) {
        const int index = IndexOfKey(host.RegisteredParams(), "mask_only");
        if (index == 0) {
            throw HostError("cannot turn Mask Only on: the module registers no checkbox with id " +
                            std::to_string(IdOfKey("mask_only")));
        }
        const PF_Err err = host.ChangeParam(index, [](PF_ParamDef& def) { def.u.bd.value = 1; });
        CheckCommand("Update parameter UI", err, host.OutData(), warnings);
        info["mask_only_update"] = {{"out_flags", DescribeOutFlags(host.OutData().out_flags)}};
    }
    info["parameters"] = DescribeParams(host);
    info["warnings"] = warnings;
    // Another module's texts need not be UTF-8; what is not shows as U+FFFD, never as a failure.
    return info.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}   // namespace corvelle
