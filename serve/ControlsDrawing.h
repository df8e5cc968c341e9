// The module's on-screen controls as the figures it stroked, so the page can replay them sharp at
// any size instead of receiving a picture of them.
#pragma once

#include <corvelle/corvelle.h>

#include <nlohmann/json.hpp>

namespace corvelle::serve {

/// Sends the module one draw event for the effect's window and returns what it stroked, in
/// order: [{"ops": [["M",x,y] | ["L",x,y] | ["A",cx,cy,r,startDeg,sweepDeg] | ["Z"]],
/// "rgba": [r,g,b,a] (0..1), "width": w, "dx": dx, "dy": dy}]. Window coordinates; whole
/// numbers fall on pixel centres, as the host's own canvas draws them. Throws Error when the
/// module fails the event.
nlohmann::json DrawControls(Effect& effect);

}   // namespace corvelle::serve
