// Faults a test asks the headless host to inject into the module's calls.
#pragma once

#include "host/AE_Effect.h"
#include "host/PrSDKPixelFormat.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace corvelle {

struct FaultPlan {
    /// AcquireSuite refuses these (name, version) pairs.
    std::set<std::pair<std::string, int>> refusedSuites;
    /// When set, the refusals apply only while the host runs this command, so a plan made
    /// before set-up can still refuse a suite to the render alone.
    std::optional<PF_Cmd> refuseOnlyDuring;
    /// PF_InData.pica_basicP is null for every command.
    bool withholdBasicSuite = false;
    /// add_param fails at its k-th call (1-based; 0 never) with `addParamError`.
    int failAddParamAt = 0;
    PF_Err addParamError = PF_Err_OUT_OF_MEMORY;
    /// register_ui fails with this code when set.
    std::optional<PF_Err> registerUIError;
    /// PF_UpdateParamUI fails for this parameter index (or every index with -1).
    std::optional<int> failUpdateParamUIIndex;
    PF_Err updateParamUIError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    /// The k-th call (1-based, counted over the host's lifetime) of a function fails,
    /// keyed by function name as recorded in the call trace ("MoveTo", "PF_StrokePath", ...).
    std::map<std::string, int> failNthCall;
    PF_Err callFailureError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    /// PF_GetDrawingReference succeeds but hands back a null reference.
    bool noDrawingReference = false;
    /// GetPixelFormat reports this format instead of the output world's own.
    std::optional<PrPixelFormat> pixelFormatOverride;
};

}   // namespace corvelle
