// Blend operations on single channel values, and conversions between RGB and HSB.
#include "BlendingModes.h"

#include <cfloat>
#include <cmath>

static_assert(FLT_EVAL_METHOD == 0, "float steps must round to float, not wider");

// Each operation is (1 - o)*A + o*X. The operations marked "double" widen their float
// inputs, work in double and round once at the end; the steps kept in float before the
// widening are the ones the results have always been computed with.
float BlendSimple_f(float base, float blend, float strength, A_long code) {
    const float A = base;
    const float B = blend;
    const float o = strength;
    const float K = (1.0f - o) * A;

    switch (code) {
    case BLEND_NORMAL:
        return K + (B * o);
    case BLEND_ADD:
    case BLEND_LINEAR_DODGE:
        return ((B + A) * o) + K;
    case BLEND_MULTIPLY:
        return K + ((o * A) * B);
    case BLEND_SCREEN:
        return K + (((B + A) - (A * B)) * o);
    case BLEND_OVERLAY:
        if (B > 0.5f) {
            const float minus_two_a = -2.0f * A;
            const double b_half = (double)B - 0.5;
            return (float)((double)K +
                           ((double)o * (((2.0 * b_half) + (double)A) + ((double)minus_two_a * b_half))));
        }
        return K + (2.0f * ((o * A) * B));
    case BLEND_SOFT_LIGHT: {
        if (B > 0.5f) {
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o * (1.0 - ((double)one_minus_a * (1.0 - ((double)B - 0.5))))));
        }
        const float o_a = o * A;
        return (float)((double)K + (((double)B + 0.5) * (double)o_a));
    }
    case BLEND_HARD_LIGHT:
        if (B > 0.5f) {
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o *
                            (1.0 - ((double)one_minus_a * ((((double)B - 0.5) * -2.0) + 1.0)))));
        }
        return K + ((2.0f * (o * A)) * B);
    case BLEND_DARKEN:
    case BLEND_DARKER_COLOR:
        return (A > B) ? (K + (B * o)) : A;
    case BLEND_LIGHTEN:
    case BLEND_LIGHTER_COLOR:
        return (B > A) ? (K + (B * o)) : A;
    case BLEND_COLOR_BURN:
        if (B == 0.0f) {
            return K;
        }
        return K + ((1.0f - ((1.0f - A) / B)) * o);
    case BLEND_DIFFERENCE:
        return (A > B) ? (((A - B) * o) + K) : (K + ((B - A) * o));
    case BLEND_COLOR_DODGE:
        if (B == 1.0f) {
            return K + o;
        }
        return ((A / (1.0f - B)) * o) + K;
    case BLEND_LINEAR_BURN:
        return (((B + A) - 1.0f) * o) + K;
    case BLEND_LINEAR_LIGHT:
        if (B > 0.5f) {
            return (float)((double)K + ((double)o * ((2.0 * ((double)B - 0.5)) + (double)A)));
        }
        return K + ((((B + B) + A) - 1.0f) * o);
    case BLEND_VIVID_LIGHT:
        if (B > 0.5f) {
            const float one_minus_a = 1.0f - A;
            return (float)((double)K +
                           ((double)o * (1.0 + ((double)one_minus_a / (((double)B - 0.5) * -2.0)))));
        }
        if (B == 0.5f) {
            // The dodge form divides by zero here; answer as Color dodge does at its pole.
            return K + o;
        }
        return K + ((o * A) / ((B * -2.0f) + 1.0f));
    case BLEND_PIN_LIGHT: {
        const float b_twice = B + B;
        const double M = (B > 0.5f) ? std::fmax((double)A, 2.0 * ((double)B - 0.5))
                                    : std::fmin((double)A, (double)b_twice);
        return (float)((double)K + ((double)o * M));
    }
    case BLEND_SUBTRACT:
        return ((A - B) * o) + K;
    case BLEND_DIVIDE:
        if (B == 0.0f) {
            return K;
        }
        return ((A / B) * o) + K;
    default:
        return A;
    }
}

PF_PixelFloat_HSB RGB2HSB(float red, float green, float blue) {
    const float max = (float)std::fmax(std::fmax((double)red, (double)green), (double)blue);
    const float min = (float)std::fmin(std::fmin((double)red, (double)green), (double)blue);

    PF_PixelFloat_HSB hsb = {0.0f, 0.0f, max};
    if (max == min) {
        return hsb;
    }
    const float delta = max - min;
    hsb.saturation = delta / max;

    // Ties go to red, then green: yellow is 1/6, not 1/6 reached from the green side.
    float hue;
    if (max == red) {
        hue = ((green - blue) / delta) + ((blue > green) ? 6.0f : 0.0f);
    } else if (max == green) {
        hue = ((blue - red) / delta) + 2.0f;
    } else {
        hue = ((red - green) / delta) + 4.0f;
    }
    hsb.hue = hue / 6.0f;
    return hsb;
}

PF_PixelFloat HSB2RGB(const PF_PixelFloat_HSB* hsb) {
    const float h = hsb->hue;
    const float s = hsb->saturation;
    const float V = hsb->brightness;

    PF_PixelFloat rgb = {0.0f, V, V, V};
    if (s == 0.0f) {
        return rgb;
    }
    const float h6 = h * 6.0f;
    // Only the low byte of the sector counts, so a hue of exactly 1 lands in sector 6.
    const uint8_t i = (uint8_t)(uint32_t)TruncateToInt32(std::floor(h6));
    const float f = h6 - (float)i;
    const float p = (1.0f - s) * V;
    const float q = (1.0f - (s * f)) * V;
    const float t = (1.0f - (s * (1.0f - f))) * V;

    switch (i) {
    case 0: rgb.red = V; rgb.green = t; rgb.blue = p; break;
    case 1: rgb.red = q; rgb.green = V; rgb.blue = p; break;
    case 2: rgb.red = p; rgb.green = V; rgb.blue = t; break;
    case 3: rgb.red = p; rgb.green = q; rgb.blue = V; break;
    case 4: rgb.red = t; rgb.green = p; rgb.blue = V; break;
    default: rgb.red = V; rgb.green = p; rgb.blue = q; break;
    }
    return rgb;
}
