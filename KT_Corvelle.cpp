// Placeholder until the entry point lands.
#include "KT_Corvelle.h"

PF_Err EntryPointFunc(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
    return PF_Err_NONE;
}
