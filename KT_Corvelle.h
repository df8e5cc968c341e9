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

/// The one function the host calls, for every command it sends the effect.
extern "C" __attribute__((visibility("default"))) PF_Err EntryPointFunc(
    PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
    PF_LayerDef* output, void* extra);
