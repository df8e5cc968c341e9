// Blend operations on single channel values, and conversions between RGB and HSB.
#include "BlendingModes.h"

#include <cfloat>
#include <cmath>

static_assert(FLT_EVAL_METHOD == 0, "float steps must round to float, not wider");

float BlendSimple_f(float base, float blend, float strength, A_long code) {
    return VisitBlendOperation(
        code, [&](auto op) { return BlendOperation<decltype(op)::value>(base, blend, strength); });
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
    case 0:
        rgb.red = V;
        rgb.green = t;
        rgb.blue = p;
        break;
    case 1:
        rgb.red = q;
        rgb.green = V;
        rgb.blue = p;
        break;
    case 2:
        rgb.red = p;
        rgb.green = V;
        rgb.blue = t;
        break;
    case 3:
        rgb.red = p;
        rgb.green = q;
        rgb.blue = V;
        break;
    case 4:
        rgb.red = t;
        rgb.green = p;
        rgb.blue = V;
        break;
    default:
        rgb.red = V;
        rgb.green = p;
        rgb.blue = q;
        break;
    }
    return rgb;
}
