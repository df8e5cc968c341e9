// The plug-in's frei0r parameters: their order, names and defaults, and how each frei0r value
// becomes the module's value on a frame of a given size.
#pragma once

#include <corvelle/corvelle.h>

// frei0r's header declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <array>
#include <string>

namespace corvelle::frei0r {

/// How a frei0r value maps to the module's parameter.
enum class Mapping {
    Choice,        // string: a choice name (or its 1-based number)
    PointX,        // double: fraction of the frame width, the origin's x
    PointY,        // double: fraction of the frame height, the origin's y
    FrameWidth,    // double: pixels = value × frame width
    FrameHeight,   // double: pixels = value × frame height
    Degrees,       // double: degrees = value × 360
    Percent,       // double: percent = value × 100
    Color,         // colour: each channel floor(c × 255 + 0.5), clamped
    Checkbox,      // bool: on from 0.5
};

struct ParamSpec {
    const char* name;          // as hosts address it
    int type;                  // F0R_PARAM_*
    const char* explanation;   // shown by hosts
    const char* key;           // the module parameter's key in the host library
    Mapping mapping;
    double number;      // the default of a double or bool
    const char* text;   // the default of a string
};

constexpr int kParamCount = 14;
extern const std::array<ParamSpec, kParamCount> kParams;

/// One parameter's frei0r value, as the host last set it (or its default).
struct ParamSlot {
    double number = 0.0;
    f0r_param_color_t color{0.0f, 0.0f, 0.0f};
    std::string text;
};

using ParamSlots = std::array<ParamSlot, kParamCount>;

/// The defaults, the same fractions at every frame size.
ParamSlots DefaultSlots();

/// Takes the value `param` points at (the frei0r type of parameter `index`) into `slots`, and
/// sets what it means on `effect` (null: no module) for a `width` × `height` frame. A value that
/// means nothing (NaN, a string naming no choice, a null string) keeps the previous value and is
/// noted once. Returns whether the slot changed. Throws corvelle::Error if the module refuses.
bool SetParam(ParamSlots& slots, int index, const void* param, Effect* effect, int width, int height);

/// Sets every slot on `effect`, as for a new instance.
void ApplyAll(const ParamSlots& slots, Effect& effect, int width, int height);

/// Writes slot `index` where `param` points, in its frei0r type.
void GetParam(const ParamSlots& slots, int index, void* param);

}   // namespace corvelle::frei0r
