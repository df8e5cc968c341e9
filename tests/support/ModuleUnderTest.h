// The built module, loaded once for every test, and host settings for either application.
#pragma once

#include "core/Host.h"
#include "core/ModuleLibrary.h"

namespace corvelle {

/// The module the build made, loaded on first use and kept for the whole test run.
inline const ModuleLibrary& Module() {
    static const ModuleLibrary library(CORVELLE_MODULE_PATH);
    return library;
}

/// Default host settings under the given application.
inline HostSettings For(HostApp app) {
    HostSettings settings;
    settings.app = app;
    return settings;
}

}   // namespace corvelle
