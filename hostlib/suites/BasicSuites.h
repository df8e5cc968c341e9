// The host's general suites and PF_InData callbacks: ANSI text and maths, parameter UI updates,
// parameter registration.
#pragma once

#include "core/SuiteRegistry.h"

#include "host/AE_EffectSuites.h"

namespace corvelle {

/// Registers "PF ANSI Suite" 1 and "PF Param Utils Suite" 3.
void RegisterBasicSuites(SuiteRegistry& suites);

/// The utility callbacks for PF_InData.utils: ANSI sprintf (vsprintf semantics) and strcpy,
/// and copy. Each host keeps its own copy, since the module receives a writable pointer.
PF_UtilCallbacks UtilCallbacks();

/// The interaction callbacks add_param and register_ui, answered by the active host.
PF_InteractCallbacks InteractCallbacks();

}   // namespace corvelle
