// The on-screen controls: drawing over the composition and layer windows, clicks and drags.
#pragma once

#include "host/AE_EffectUI.h"

/// Sends draw events to DrawEvent, clicks to DoClick and drags to DoDrag.
PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output, PF_EventExtra* event);
