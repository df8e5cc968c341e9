// The effect's entry point: command dispatch, parameters, render set-up and pixel functions.
#include "KT_Corvelle.h"

#include "KT_Corvelle_Strings.h"
#include "KT_Corvelle_UI.h"
#include "Util/AEFX_SuiteHelper.h"
#include "Util/AEGP_SuiteHandler.h"

namespace {

constexpr int MAJOR_VERSION = 1;
constexpr int MINOR_VERSION = 3;
constexpr int BUG_VERSION = 0;
constexpr int STAGE_VERSION = PF_Stage_DEVELOP;
constexpr int BUILD_VERSION = 1;
static_assert(PF_VERSION(MAJOR_VERSION, MINOR_VERSION, BUG_VERSION, STAGE_VERSION, BUILD_VERSION) ==
                  0x98001,
              "the registration resource carries the same version");

constexpr PF_OutFlags GLOBAL_OUT_FLAGS = PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_CUSTOM_UI |
                                         PF_OutFlag_DEEP_COLOR_AWARE |
                                         PF_OutFlag_SEND_UPDATE_PARAMS_UI;
static_assert(GLOBAL_OUT_FLAGS == 0x6008400, "the registration resource carries the same flags");

constexpr A_long SLIDER_MIN = 0;
constexpr A_long SLIDER_MAX = 15000;
constexpr A_long POINT_DEFAULT = 50L << 16;
constexpr A_long OPACITY_MAX = 100L << 16;
constexpr A_long OPACITY_DEFAULT = 25L << 16;
constexpr A_short SHAPE_CHOICES = 2;
constexpr A_short FILL_CHOICES = 2;
constexpr A_short BLEND_CHOICES = 23;   // Subtract and Divide stay out of the popup
constexpr A_short BLEND_DEFAULT = 3;    // Multiply
constexpr A_short FALLOFF_CHOICES = 6;

// Persistent ids: saved projects find their values by these, never by index.
enum {
    ORIGIN_DISK_ID = 1,
    WIDTH_DISK_ID = 2,
    HEIGHT_DISK_ID = 3,
    FEATHER_DISK_ID = 4,
    OPACITY_DISK_ID = 5,
    BLEND_MODE_DISK_ID = 7,
    INVERT_DISK_ID = 8,
    MASK_ONLY_DISK_ID = 9,
    COLOR_DISK_ID = 12,
    ANGLE_DISK_ID = 13,
    SHAPE_DISK_ID = 14,
    FILL_WITH_DISK_ID = 15,
    FALLOFF_DISK_ID = 16
};

const char FALLOFF_PARAM_NAME[] = "Alpha falloff";
const char FALLOFF_CHOICES_TEXT[] = "Linear|Quadratic|Cubic|Gamma 2.2|Gaussian|Exponential";
const char INVERT_CHECKBOX_LABEL[] = "Invert mask";
const char MASK_ONLY_CHECKBOX_LABEL[] = "Shows only mask, no source";

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    suites.ANSICallbacksSuite1()->sprintf(out_data->return_msg, "%s v%d.%d\r%s",
                                          GetStringPtr(StrID_Name), MAJOR_VERSION, MINOR_VERSION,
                                          GetStringPtr(StrID_Description));
    return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    out_data->my_version =
        PF_VERSION(MAJOR_VERSION, MINOR_VERSION, BUG_VERSION, STAGE_VERSION, BUILD_VERSION);
    out_data->out_flags = GLOBAL_OUT_FLAGS;

    if (IsPremiere(in_data)) {
        // Nothing here can fail the command: without the suite Premiere simply offers no
        // BGRA formats, and the helper has already left its message.
        void* suite = nullptr;
        (void)AEFX_AcquireSuite(in_data, out_data, kPFPixelFormatSuite,
                                kPFPixelFormatSuiteVersion1, nullptr, &suite);
        if (suite) {
            const auto* pixel_formats = static_cast<const PF_PixelFormatSuite1*>(suite);
            (void)pixel_formats->ClearSupportedPixelFormats(in_data->effect_ref);
            (void)pixel_formats->AddSupportedPixelFormat(in_data->effect_ref,
                                                         PrPixelFormat_BGRA_4444_32f);
            (void)pixel_formats->AddSupportedPixelFormat(in_data->effect_ref,
                                                         PrPixelFormat_BGRA_4444_8u);
            (void)AEFX_ReleaseSuite(in_data, out_data, kPFPixelFormatSuite,
                                    kPFPixelFormatSuiteVersion1, nullptr);
        }
    }
    return PF_Err_NONE;
}

void CopyParamName(PF_InData* in_data, PF_ParamDef* def, const char* name) {
    in_data->utils->ansi.strcpy(def->name, name);
}

PF_Err AddParam(PF_InData* in_data, PF_ParamDef* def) {
    return in_data->inter.add_param(in_data->effect_ref, -1, def);
}

void FillFloatSlider(PF_FloatSliderDef* slider, PF_FpShort dephault) {
    slider->valid_min = SLIDER_MIN;
    slider->valid_max = SLIDER_MAX;
    slider->slider_min = SLIDER_MIN;
    slider->slider_max = SLIDER_MAX;
    slider->value = (PF_FpLong)dephault;
    slider->dephault = dephault;
    slider->precision = 1;
    slider->display_flags = 0;
    slider->curve_tolerance = 0.05f;
}

void FillPopup(PF_PopupDef* popup, A_short num_choices, A_short dephault, const char* choices) {
    popup->num_choices = num_choices;
    popup->dephault = dephault;
    popup->value = dephault;
    popup->u.namesptr = choices;
}

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    PF_Err err = PF_Err_NONE;
    PF_ParamDef def;

    {   // PARAM_SHAPE
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.param_type = PF_Param_POPUP;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Shape_Param_Name));
        FillPopup(&def.u.pd, SHAPE_CHOICES, 1, GetStringPtr(StrID_Shape_Choices));
        def.uu.id = SHAPE_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_ORIGIN
        def = PF_ParamDef{};
        def.param_type = PF_Param_POINT;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Origin_Param_Name));
        def.u.td.x_dephault = POINT_DEFAULT;
        def.u.td.y_dephault = POINT_DEFAULT;
        def.u.td.x_value = POINT_DEFAULT;
        def.u.td.y_value = POINT_DEFAULT;
        def.u.td.restrict_bounds = 0;
        def.uu.id = ORIGIN_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_WIDTH
        def = PF_ParamDef{};
        def.param_type = PF_Param_FLOAT_SLIDER;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Width_Param_Name));
        FillFloatSlider(&def.u.fs_d, 300.0f);
        def.uu.id = WIDTH_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_HEIGHT
        def = PF_ParamDef{};
        def.param_type = PF_Param_FLOAT_SLIDER;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Height_Param_Name));
        FillFloatSlider(&def.u.fs_d, 200.0f);
        def.uu.id = HEIGHT_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_ANGLE
        def = PF_ParamDef{};
        def.param_type = PF_Param_ANGLE;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Angle_Param_Name));
        def.u.ad.dephault = 0;
        def.u.ad.value = 0;
        def.uu.id = ANGLE_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_FEATHER
        def = PF_ParamDef{};
        def.param_type = PF_Param_FLOAT_SLIDER;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Feather_Param_Name));
        FillFloatSlider(&def.u.fs_d, 100.0f);
        def.uu.id = FEATHER_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_FILL_WITH
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.param_type = PF_Param_POPUP;
        CopyParamName(in_data, &def, GetStringPtr(StrID_FillWith_Param_Name));
        FillPopup(&def.u.pd, FILL_CHOICES, 1, GetStringPtr(StrID_FillWith_Choices));
        def.uu.id = FILL_WITH_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_COLOR
        def = PF_ParamDef{};
        def.param_type = PF_Param_COLOR;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Color_Param_Name));
        def.u.cd.dephault = PF_Pixel{255, 0, 0, 0};
        def.u.cd.value = def.u.cd.dephault;
        def.uu.id = COLOR_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_OPACITY
        def = PF_ParamDef{};
        def.param_type = PF_Param_FIX_SLIDER;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Opacity_Param_Name));
        def.u.fd.valid_min = 0;
        def.u.fd.valid_max = OPACITY_MAX;
        def.u.fd.slider_min = 0;
        def.u.fd.slider_max = OPACITY_MAX;
        def.u.fd.dephault = OPACITY_DEFAULT;
        def.u.fd.value = OPACITY_DEFAULT;
        def.u.fd.precision = 1;
        def.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
        def.uu.id = OPACITY_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_BLEND_MODE
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.param_type = PF_Param_POPUP;
        CopyParamName(in_data, &def, GetStringPtr(StrID_BlendMode_Param_Name));
        FillPopup(&def.u.pd, BLEND_CHOICES, BLEND_DEFAULT, GetStringPtr(StrID_BlendMode_Choices));
        def.uu.id = BLEND_MODE_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_INVERT
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.param_type = PF_Param_CHECKBOX;
        CopyParamName(in_data, &def, GetStringPtr(StrID_Invert_Param_Name));
        def.u.bd.u.nameptr = INVERT_CHECKBOX_LABEL;
        def.u.bd.dephault = 0;
        def.u.bd.value = 0;
        def.uu.id = INVERT_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_MASK_ONLY: supervised, so the host sends the UI update below
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_SUPERVISE;
        def.param_type = PF_Param_CHECKBOX;
        CopyParamName(in_data, &def, GetStringPtr(StrID_MaskOnly_Param_Name));
        def.u.bd.u.nameptr = MASK_ONLY_CHECKBOX_LABEL;
        def.u.bd.dephault = 0;
        def.u.bd.value = 0;
        def.uu.id = MASK_ONLY_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (!err) {   // PARAM_FALLOFF
        def = PF_ParamDef{};
        def.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        def.param_type = PF_Param_POPUP;
        CopyParamName(in_data, &def, FALLOFF_PARAM_NAME);
        FillPopup(&def.u.pd, FALLOFF_CHOICES, 1, FALLOFF_CHOICES_TEXT);
        def.uu.id = FALLOFF_DISK_ID;
        err = AddParam(in_data, &def);
    }
    if (err) {
        return err;
    }

    PF_CustomUIInfo ui = {};
    ui.events = PF_CustomEFlag_COMP | PF_CustomEFlag_LAYER;
    err = in_data->inter.register_ui(in_data->effect_ref, &ui);
    // The parameters are in place whatever the host thought of the custom UI.
    out_data->num_params = PARAM_COUNT;
    return err;
}

void SetControlState(PF_InData* in_data, PF_ParamDef* def, bool disabled, const char* name) {
    if (disabled) {
        def->ui_flags |= PF_PUI_DISABLED;
    } else {
        def->ui_flags &= ~PF_PUI_DISABLED;
    }
    CopyParamName(in_data, def, name);
}

PF_Err UpdateParameterUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);

    // The host's own records stay as they are; it takes the new state from these copies.
    PF_ParamDef blend_def = *params[PARAM_BLEND_MODE];
    PF_ParamDef opacity_def = *params[PARAM_OPACITY];
    const bool mask_only = params[PARAM_MASK_ONLY]->u.bd.value == 1;
    if (mask_only) {
        SetControlState(in_data, &blend_def, true, GetStringPtr(StrID_BlendMode_Disabled_Param_Name));
        SetControlState(in_data, &opacity_def, true, GetStringPtr(StrID_Opacity_Disabled_Param_Name));
    } else {
        SetControlState(in_data, &blend_def, false, GetStringPtr(StrID_BlendMode_Param_Name));
        SetControlState(in_data, &opacity_def, false, GetStringPtr(StrID_Opacity_Param_Name));
    }

    const PF_ParamUtilsSuite3* param_utils = suites.ParamUtilsSuite3();
    PF_Err err = param_utils->PF_UpdateParamUI(in_data->effect_ref, PARAM_BLEND_MODE, &blend_def);
    if (!err) {
        err = param_utils->PF_UpdateParamUI(in_data->effect_ref, PARAM_OPACITY, &opacity_def);
    }

    // Premiere redraws the effect controls only when asked to.
    out_data->out_flags |= IsPremiere(in_data)
                               ? (PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI)
                               : PF_OutFlag_FORCE_RERENDER;
    return err;
}

PF_Err Render(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }

}  // namespace

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra) {
    PF_Err err = PF_Err_NONE;
    try {
        switch (cmd) {
        case PF_Cmd_ABOUT: err = About(in_data, out_data); break;
        case PF_Cmd_GLOBAL_SETUP: err = GlobalSetup(in_data, out_data); break;
        case PF_Cmd_PARAMS_SETUP: err = ParamsSetup(in_data, out_data); break;
        case PF_Cmd_RENDER: err = Render(in_data, out_data, params, output); break;
        case PF_Cmd_UPDATE_PARAMS_UI: err = UpdateParameterUI(in_data, out_data, params); break;
        case PF_Cmd_EVENT:
            err = HandleEvent(in_data, out_data, params, output, static_cast<PF_EventExtra*>(extra));
            break;
        default: break;
        }
    } catch (int thrown) {   // suite cache: its destructor has already released everything
        err = thrown;
    }
    return err;
}
