// Placeholder until the on-screen controls land.
#include "KT_Corvelle_UI.h"

PF_Err HandleEvent(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, PF_EventExtra*) {
    return PF_Err_NONE;
}
