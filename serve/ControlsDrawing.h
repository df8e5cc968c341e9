// The module's on-screen controls as the figures it stroked, so the page can replay them sharp at
// any size instead of receiving a picture of them.
#pragma once

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

namespace corvelle::serve {

/// Effect::ControlStrokesJson() as JSON.
nlohmann::json DrawControls(Effect& effect);

}   // namespace corvelle::serve
