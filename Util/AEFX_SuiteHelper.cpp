// Plain suite helpers: they never throw, and speak to the user only through return_msg.
#include "AEFX_SuiteHelper.h"

namespace {

PF_Err ReportSuiteError(PF_InData* in_data, PF_OutData* out_data, const char* message, PF_Err err) {
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    // The text is the format itself: it carries no conversions of its own.
    in_data->utils->ansi.sprintf(out_data->return_msg, message);
    return err;
}

}   // namespace

PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version,
                         const char* error_text, void** suite) {
    if (in_data->pica_basicP) {
        (void)in_data->pica_basicP->AcquireSuite(name, version, const_cast<const void**>(suite));
        if (*suite) {
            return PF_Err_NONE;
        }
    }
    return ReportSuiteError(in_data, out_data, error_text ? error_text : "Not able to acquire AEFX Suite.",
                            PF_Err_BAD_CALLBACK_PARAM);
}

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32 version,
                         const char* error_text) {
    if (in_data->pica_basicP) {
        (void)in_data->pica_basicP->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    return ReportSuiteError(in_data, out_data, error_text ? error_text : "Not able to release AEFX Suite.",
                            PF_Err_BAD_CALLBACK_PARAM);
}

PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites) {
    if (!suites) {
        return ReportSuiteError(in_data, out_data, "NULL suite pointer passed to AEFX_AcquireDrawbotSuites",
                                PF_Err_UNRECOGNIZED_PARAM_TYPE);
    }
    PF_Err err = AEFX_AcquireSuite(in_data, out_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1,
                                   nullptr, reinterpret_cast<void**>(&suites->drawbot_suiteP));
    if (!err) {
        err = AEFX_AcquireSuite(in_data, out_data, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1,
                                nullptr, reinterpret_cast<void**>(&suites->supplier_suiteP));
    }
    if (!err) {
        err = AEFX_AcquireSuite(in_data, out_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1,
                                nullptr, reinterpret_cast<void**>(&suites->surface_suiteP));
    }
    if (!err) {
        err = AEFX_AcquireSuite(in_data, out_data, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, nullptr,
                                reinterpret_cast<void**>(&suites->path_suiteP));
    }
    return err;
}

PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
    (void)AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, nullptr);
    (void)AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1,
                            nullptr);
    (void)AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1,
                            nullptr);
    (void)AEFX_ReleaseSuite(in_data, out_data, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, nullptr);
    return PF_Err_NONE;
}
