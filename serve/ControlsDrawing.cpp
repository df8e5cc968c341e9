// The strokes the library records for one draw event, as the page receives them.
#include "ControlsDrawing.h"

namespace corvelle::serve {

nlohmann::json DrawControls(Effect& effect) {
    return nlohmann::json::parse(effect.ControlStrokesJson());
}

}   // namespace corvelle::serve
