// Plain suite acquisition that reports failure by code and by a message to the user.
#pragma once

#include "../host/AE_EffectSuites.h"

/// The four drawing suites, in the order they are acquired.
struct DRAWBOT_Suites {
    DRAWBOT_DrawbotSuite1* drawbot_suiteP;
    DRAWBOT_SupplierSuite1* supplier_suiteP;
    DRAWBOT_SurfaceSuite1* surface_suiteP;
    DRAWBOT_PathSuite1* path_suiteP;
};

/// Acquires one suite; on failure sets the error flag, fills return_msg and returns 516.
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version,
                         const char* error_text, void** suite);

/// Releases one suite; fails with 516 and a message only when there is no basic suite.
PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version,
                         const char* error_text);

/// Acquires the four drawing suites in order and stops at the first failure.
PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites);

/// Releases all four drawing suite names, whatever each release returns.
PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);
