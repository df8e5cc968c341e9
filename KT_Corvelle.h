// The effect's entry point and the parameter indices every part of the module shares.
#pragma once

#include "host/AE_EffectUI.h"

/// Parameter indices; the registration order fixes them, so they never change.
enum {
    PARAM_INPUT = 0,
    PARAM_SHAPE,
    PARAM_ORIGIN,
    PARAM_WIDTH,
    PARAM_HEIGHT,
    PARAM_ANGLE,
    PARAM_FEATHER,
    PARAM_FILL_WITH,
    PARAM_COLOR,
    PARAM_OPACITY,
    PARAM_BLEND_MODE,
    PARAM_INVERT,
    PARAM_MASK_ONLY,
    PARAM_FALLOFF,
    PARAM_COUNT
};
static_assert(PARAM_COUNT == 14, "saved projects rely on these indices");

/// The Shape popup's values.
constexpr A_long SHAPE_ELLIPSE = 1;
constexpr A_long SHAPE_RECTANGLE = 2;

/// Everything a pixel needs that depends only on the parameters and the render's scale;
/// filled once per render, then only read (from several threads at once).
struct CorvelleInfo {
    float matrix[3][3];   // output pixel (x, y, 1) to shape space (u, v, 1)
    float halfWidth;
    float halfHeight;
    float scaleU;   // rectangle: 1 / feather; ellipse: 1 / halfWidth^2
    float scaleV;   // rectangle: 1 / feather along v; ellipse: 1 / halfHeight^2
    float outerAB;
    float innerHalfWidth;
    float innerHalfHeight;
    float innerAB;
    float innerHalfWidthSq;
    float innerHalfHeightSq;
    float invInnerHalfWidthSq;
    float invInnerHalfHeightSq;
    float halfWidthSq;
    float halfHeightSq;
    float feather;   // after clamping below the half width
    float opacity;   // 0 to 1
    PF_Boolean isEllipse;
    PF_Boolean invert;
    A_long blendOp;    // 0: write the mask (mask only, or transparent fill)
    float colorFill;   // 1 for the colour fill, 0 for Transparent
    float red;
    float green;
    float blue;
    A_long falloff;   // 1 to 6; anything else is linear
};

/// The one function the host calls, for every command it sends the effect.
extern "C" __attribute__((visibility("default"))) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                                        PF_OutData* out_data,
                                                                        PF_ParamDef* params[],
                                                                        PF_LayerDef* output, void* extra);
