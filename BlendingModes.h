// Per-channel blend operations and the HSB colour model they build on.
#pragma once

#include "host/AE_Effect.h"

#include <cmath>
#include <cstdint>
#include <type_traits>

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

/// Hue, Saturation, Color and Luminosity mix whole pixels in the HSB model, not channel by channel.
constexpr bool IsHsbBlend(A_long code) {
    return code == BLEND_HUE || code == BLEND_SATURATION || code == BLEND_COLOR || code == BLEND_LUMINOSITY;
}

/// Blends channel `blend` into `base` at `strength` by operation `code`; unknown codes give base.
float BlendSimple_f(float base, float blend, float strength, A_long code);

template <A_long Code>
using BlendCode = std::integral_constant<A_long, Code>;

inline __attribute__((always_inline)) float Select(bool when, float yes, float no) {
    return when ? yes : no;
}

/// Whether BlendOperation<Code> is written with +, -, * and Select alone, so that it also runs
/// on several channels at once.
template <A_long Code>
constexpr bool kLanewiseBlend =
    Code == BLEND_NORMAL || Code == BLEND_ADD || Code == BLEND_MULTIPLY || Code == BLEND_SCREEN ||
    Code == BLEND_DARKEN || Code == BLEND_LIGHTEN || Code == BLEND_DIFFERENCE || Code == BLEND_LINEAR_BURN ||
    Code == BLEND_SUBTRACT;

/// One operation on one channel: A the layer, B the fill, o the strength. Each has the form
/// (1 - o)*A + o*X with K = (1 - o)*A in float. The operations marked "double" widen their
/// float inputs, work in double and round once at the end; the steps kept in float before
/// the widening are the ones the results have always been computed with. BLEND_NONE gives A.
template <A_long Code, class F>
inline __attribute__((always_inline)) F BlendOperation(F A, F B, F o) {
    const F K = (1.0f - o) * A;
    if constexpr (Code == BLEND_NORMAL) {
        return K + (B * o);
    } else if constexpr (Code == BLEND_ADD) {
        return ((B + A) * o) + K;
    } else if constexpr (Code == BLEND_MULTIPLY) {
        return K + ((o * A) * B);
    } else if constexpr (Code == BLEND_SCREEN) {
        return K + (((B + A) - (A * B)) * o);
    } else if constexpr (Code == BLEND_OVERLAY) {
        if (B > 0.5f) {   // double
            const float minus_two_a = -2.0f * A;
            const double b_half = (double)B - 0.5;
            return (float)((double)K +
                           ((double)o * (((2.0 * b_half) + (double)A) + ((double)minus_two_a * b_half))));
        }
        return K + (2.0f * ((o * A) * B));
    } else if constexpr (Code == BLEND_SOFT_LIGHT) {   // double
        if (B > 0.5f) {
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o * (1.0 - ((double)one_minus_a * (1.0 - ((double)B - 0.5))))));
        }
        const float o_a = o * A;
        return (float)((double)K + (((double)B + 0.5) * (double)o_a));
    } else if constexpr (Code == BLEND_HARD_LIGHT) {
        if (B > 0.5f) {   // double
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o * (1.0 - ((double)one_minus_a * ((((double)B - 0.5) * -2.0) + 1.0)))));
        }
        return K + ((2.0f * (o * A)) * B);
    } else if constexpr (Code == BLEND_DARKEN) {   // channel by channel, Darker color too
        return Select(A > B, K + (B * o), A);
    } else if constexpr (Code == BLEND_LIGHTEN) {   // channel by channel, Lighter color too
        return Select(B > A, K + (B * o), A);
    } else if constexpr (Code == BLEND_COLOR_BURN) {
        if (B == 0.0f) {
            return K;
        }
        return K + ((1.0f - ((1.0f - A) / B)) * o);
    } else if constexpr (Code == BLEND_DIFFERENCE) {
        return Select(A > B, ((A - B) * o) + K, K + ((B - A) * o));
    } else if constexpr (Code == BLEND_COLOR_DODGE) {
        if (B == 1.0f) {
            return K + o;
        }
        return ((A / (1.0f - B)) * o) + K;
    } else if constexpr (Code == BLEND_LINEAR_BURN) {
        return (((B + A) - 1.0f) * o) + K;
    } else if constexpr (Code == BLEND_LINEAR_LIGHT) {
        if (B > 0.5f) {   // double
            return (float)((double)K + ((double)o * ((2.0 * ((double)B - 0.5)) + (double)A)));
        }
        return K + ((((B + B) + A) - 1.0f) * o);
    } else if constexpr (Code == BLEND_VIVID_LIGHT) {
        if (B > 0.5f) {   // double
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o * (1.0 + ((double)one_minus_a / (((double)B - 0.5) * -2.0)))));
        }
        if (B == 0.5f) {
            // The dodge form divides by zero here; answer as Color dodge does at its pole.
            return K + o;
        }
        return K + ((o * A) / ((B * -2.0f) + 1.0f));
    } else if constexpr (Code == BLEND_PIN_LIGHT) {   // double
        const float b_twice = B + B;
        const double M = (B > 0.5f) ? std::fmax((double)A, 2.0 * ((double)B - 0.5))
                                    : std::fmin((double)A, (double)b_twice);
        return (float)((double)K + ((double)o * M));
    } else if constexpr (Code == BLEND_SUBTRACT) {
        return ((A - B) * o) + K;
    } else if constexpr (Code == BLEND_DIVIDE) {
        if (B == 0.0f) {
            return K;
        }
        return ((A / B) * o) + K;
    } else {
        static_assert(Code == BLEND_NONE, "every operation has a formula above");
        (void)K;
        (void)B;
        (void)o;
        return A;
    }
}

/// Calls `visit` with the BlendCode of `code`'s operation (aliases folded together), or with
/// BlendCode<BLEND_NONE> when the code names no per-channel operation; returns its result.
template <class Visitor>
inline __attribute__((always_inline)) auto VisitBlendOperation(A_long code, Visitor&& visit) {
    switch (code) {
    case BLEND_NORMAL: return visit(BlendCode<BLEND_NORMAL>{});
    case BLEND_ADD:
    case BLEND_LINEAR_DODGE: return visit(BlendCode<BLEND_ADD>{});
    case BLEND_MULTIPLY: return visit(BlendCode<BLEND_MULTIPLY>{});
    case BLEND_SCREEN: return visit(BlendCode<BLEND_SCREEN>{});
    case BLEND_OVERLAY: return visit(BlendCode<BLEND_OVERLAY>{});
    case BLEND_SOFT_LIGHT: return visit(BlendCode<BLEND_SOFT_LIGHT>{});
    case BLEND_HARD_LIGHT: return visit(BlendCode<BLEND_HARD_LIGHT>{});
    case BLEND_DARKEN:
    case BLEND_DARKER_COLOR: return visit(BlendCode<BLEND_DARKEN>{});
    case BLEND_LIGHTEN:
    case BLEND_LIGHTER_COLOR: return visit(BlendCode<BLEND_LIGHTEN>{});
    case BLEND_COLOR_BURN: return visit(BlendCode<BLEND_COLOR_BURN>{});
    case BLEND_DIFFERENCE: return visit(BlendCode<BLEND_DIFFERENCE>{});
    case BLEND_COLOR_DODGE: return visit(BlendCode<BLEND_COLOR_DODGE>{});
    case BLEND_LINEAR_BURN: return visit(BlendCode<BLEND_LINEAR_BURN>{});
    case BLEND_LINEAR_LIGHT: return visit(BlendCode<BLEND_LINEAR_LIGHT>{});
    case BLEND_VIVID_LIGHT: return visit(BlendCode<BLEND_VIVID_LIGHT>{});
    case BLEND_PIN_LIGHT: return visit(BlendCode<BLEND_PIN_LIGHT>{});
    case BLEND_SUBTRACT: return visit(BlendCode<BLEND_SUBTRACT>{});
    case BLEND_DIVIDE: return visit(BlendCode<BLEND_DIVIDE>{});
    default: return visit(BlendCode<BLEND_NONE>{});
    }
}

/// Converts a colour to hue, saturation and brightness (hexcone model).
PF_PixelFloat_HSB RGB2HSB(float red, float green, float blue);

/// Converts back to red, green and blue; the result's alpha is always 0. The sector is the
/// low byte of floor(6 hue), so hue 1 is sector 6 and a NaN or huge hue the last row.
PF_PixelFloat HSB2RGB(const PF_PixelFloat_HSB* hsb);

/// Truncates toward zero like a plain cast for every value inside the int32 range; below
/// it gives INT32_MIN, above it and for NaN INT32_MAX, where a plain cast is undefined.
inline int32_t TruncateToInt32(float v) {
    if (v >= -2147483648.0f && v < 2147483648.0f) {
        return (int32_t)v;
    }
    return (v < 0.0f) ? INT32_MIN : INT32_MAX;
}
