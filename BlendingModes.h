// Per-channel blend operations and the HSB colour model they build on.
#pragma once

#include "host/AE_Effect.h"

#include <cstdint>

/// Hue (fraction of a turn, 0 = red), saturation and brightness (the largest channel).
struct PF_PixelFloat_HSB {
    float hue;
    float saturation;
    float brightness;
};

/// Internal blend operation codes; popup values map onto these at render set-up.
enum {
    BLEND_NONE = 0,
    BLEND_NORMAL = 2,
    BLEND_ADD = 4,
    BLEND_MULTIPLY = 5,
    BLEND_SCREEN = 6,
    BLEND_OVERLAY = 7,
    BLEND_SOFT_LIGHT = 8,
    BLEND_HARD_LIGHT = 9,
    BLEND_DARKEN = 10,
    BLEND_LIGHTEN = 11,
    BLEND_HUE = 13,
    BLEND_SATURATION = 14,
    BLEND_COLOR = 15,
    BLEND_LUMINOSITY = 16,
    BLEND_COLOR_BURN = 24,
    BLEND_DIFFERENCE = 26,
    BLEND_COLOR_DODGE = 27,
    BLEND_LINEAR_DODGE = 29,
    BLEND_LINEAR_BURN = 30,
    BLEND_LINEAR_LIGHT = 31,
    BLEND_VIVID_LIGHT = 32,
    BLEND_PIN_LIGHT = 33,
    BLEND_LIGHTER_COLOR = 35,
    BLEND_DARKER_COLOR = 36,
    BLEND_SUBTRACT = 37,
    BLEND_DIVIDE = 38
};

/// Blends channel `blend` into `base` at `strength` by operation `code`; unknown codes give base.
float BlendSimple_f(float base, float blend, float strength, A_long code);

/// Converts a colour to hue, saturation and brightness (hexcone model).
PF_PixelFloat_HSB RGB2HSB(float red, float green, float blue);

/// Converts back to red, green and blue; the result's alpha is always 0.
PF_PixelFloat HSB2RGB(const PF_PixelFloat_HSB* hsb);

/// Truncates toward zero like a plain cast for every value inside the int32 range; below
/// it gives INT32_MIN, above it and for NaN INT32_MAX, where a plain cast is undefined.
inline int32_t TruncateToInt32(float v) {
    if (v >= -2147483648.0f && v < 2147483648.0f) {
        return (int32_t)v;
    }
    return (v < 0.0f) ? INT32_MIN : INT32_MAX;
}
