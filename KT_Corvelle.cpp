// The effect's entry point: command dispatch, parameters, render set-up and pixel functions.
#include "KT_Corvelle.h"

#include "BlendingModes.h"
#include "KT_Corvelle_Lanes.h"
#include "KT_Corvelle_Mask.h"
#include "KT_Corvelle_MaskPlane.h"
#include "KT_Corvelle_Strings.h"
#include "KT_Corvelle_UI.h"
#include "Util/AEFX_SuiteHelper.h"
#include "Util/AEGP_SuiteHandler.h"
#include "utils/UI_methods.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

static_assert(FLT_EVAL_METHOD == 0, "float steps must round to float, not wider");

namespace {

using corvelle_mask::MaskAt;

constexpr int MAJOR_VERSION = 1;
constexpr int MINOR_VERSION = 3;
constexpr int BUG_VERSION = 0;
constexpr int STAGE_VERSION = PF_Stage_DEVELOP;
constexpr int BUILD_VERSION = 1;
static_assert(PF_VERSION(MAJOR_VERSION, MINOR_VERSION, BUG_VERSION, STAGE_VERSION, BUILD_VERSION) == 0x98001,
              "the registration resource carries the same version");

constexpr PF_OutFlags GLOBAL_OUT_FLAGS = PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_CUSTOM_UI |
                                         PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI;
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

// Holds the Pixel Format Suite for one command and gives it back on every way out; the
// explicit Release hands its result to the caller, the destructor covers a thrown code.
class PixelFormatSuiteScope {
public:
    PixelFormatSuiteScope(PF_InData* in_data, PF_OutData* out_data)
        : m_in_data(in_data), m_out_data(out_data) {
        void* suite = nullptr;
        m_acquire_err = AEFX_AcquireSuite(in_data, out_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                          nullptr, &suite);
        m_suite = static_cast<const PF_PixelFormatSuite1*>(suite);
    }
    ~PixelFormatSuiteScope() { (void)Release(); }
    PixelFormatSuiteScope(const PixelFormatSuiteScope&) = delete;
    PixelFormatSuiteScope& operator=(const PixelFormatSuiteScope&) = delete;

    /// Null when the host refused the suite; AcquireError() then tells why.
    const PF_PixelFormatSuite1* Suite() const { return m_suite; }
    PF_Err AcquireError() const { return m_acquire_err; }

    /// Releases the suite once; later calls do nothing and return 0.
    PF_Err Release() {
        if (!m_suite) {
            return PF_Err_NONE;
        }
        m_suite = nullptr;
        return AEFX_ReleaseSuite(m_in_data, m_out_data, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                 nullptr);
    }

private:
    PF_InData* m_in_data;
    PF_OutData* m_out_data;
    const PF_PixelFormatSuite1* m_suite = nullptr;
    PF_Err m_acquire_err = PF_Err_NONE;
};

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    suites.ANSICallbacksSuite1()->sprintf(out_data->return_msg, "%s v%d.%d\r%s", GetStringPtr(StrID_Name),
                                          MAJOR_VERSION, MINOR_VERSION, GetStringPtr(StrID_Description));
    return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    out_data->my_version =
        PF_VERSION(MAJOR_VERSION, MINOR_VERSION, BUG_VERSION, STAGE_VERSION, BUILD_VERSION);
    out_data->out_flags = GLOBAL_OUT_FLAGS;

    if (IsPremiere(in_data)) {
        // Nothing here can fail the command: without the suite Premiere simply offers no
        // BGRA formats, and the helper has already left its message.
        PixelFormatSuiteScope pixel_formats(in_data, out_data);
        if (const PF_PixelFormatSuite1* suite = pixel_formats.Suite()) {
            (void)suite->ClearSupportedPixelFormats(in_data->effect_ref);
            (void)suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_32f);
            (void)suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
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
    out_data->out_flags |=
        IsPremiere(in_data) ? (PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI) : PF_OutFlag_FORCE_RERENDER;
    return err;
}

// ---- Render record ------------------------------------------------------------------

constexpr A_long FILL_TRANSPARENT = 2;

// Popup value (1-based, index 0 unused) to internal operation; 24 and 25 are not offered
// by the popup but saved projects may still carry them.
constexpr A_long BLEND_OP_FOR_POPUP[] = {
    BLEND_MULTIPLY,    BLEND_NORMAL,       BLEND_ADD,           BLEND_MULTIPLY,     BLEND_SCREEN,
    BLEND_OVERLAY,     BLEND_SOFT_LIGHT,   BLEND_HARD_LIGHT,    BLEND_DARKEN,       BLEND_LIGHTEN,
    BLEND_DIFFERENCE,  BLEND_HUE,          BLEND_SATURATION,    BLEND_COLOR,        BLEND_LUMINOSITY,
    BLEND_COLOR_DODGE, BLEND_LINEAR_DODGE, BLEND_COLOR_BURN,    BLEND_LINEAR_BURN,  BLEND_LINEAR_LIGHT,
    BLEND_VIVID_LIGHT, BLEND_PIN_LIGHT,    BLEND_LIGHTER_COLOR, BLEND_DARKER_COLOR, BLEND_SUBTRACT,
    BLEND_DIVIDE};
constexpr A_long BLEND_POPUP_MAX = 25;
static_assert(sizeof(BLEND_OP_FOR_POPUP) / sizeof(BLEND_OP_FOR_POPUP[0]) == BLEND_POPUP_MAX + 1,
              "one entry per popup value");

A_long BlendOpFromPopup(A_long popup) {
    // Anything the table doesn't know blends as Multiply, the popup's default.
    if (popup < 1 || popup > BLEND_POPUP_MAX) {
        return BLEND_MULTIPLY;
    }
    return BLEND_OP_FOR_POPUP[popup];
}

constexpr double FIXED_TO_DOUBLE = 1.0 / 65536.0;
constexpr double NEG_DEGREES_TO_RADIANS = -0.017453292519943295;

void SetupRenderInfo(const PF_InData* in_data, PF_ParamDef* params[], CorvelleInfo* info) {
    *info = CorvelleInfo{};

    // Shape space turns the other way from the pixel grid, hence the negated angle.
    const double a = ((double)params[PARAM_ANGLE]->u.ad.value * FIXED_TO_DOUBLE) * NEG_DEGREES_TO_RADIANS;
    const float c = (float)std::cos(a);
    const float s = (float)std::sin(a);

    const PF_RationalScale& par = in_data->pixel_aspect_ratio;
    const PF_RationalScale& dsx = in_data->downsample_x;
    const PF_RationalScale& dsy = in_data->downsample_y;
    const float kx = ((float)par.den / (float)par.num) * ((float)dsx.num / (float)dsx.den);
    const float ky = (float)dsy.num / (float)dsy.den;

    const float ox = (float)((double)params[PARAM_ORIGIN]->u.td.x_value * FIXED_TO_DOUBLE);
    const float oy = (float)((double)params[PARAM_ORIGIN]->u.td.y_value * FIXED_TO_DOUBLE);

    info->matrix[0][0] = c / kx;
    info->matrix[0][1] = -s / ky;
    info->matrix[0][2] = ((oy * s) / ky) - ((ox * c) / kx);
    info->matrix[1][0] = s / kx;
    info->matrix[1][1] = c / ky;
    info->matrix[1][2] = ((-ox * s) / kx) - ((oy * c) / ky);
    info->matrix[2][0] = 0.0f;
    info->matrix[2][1] = 0.0f;
    info->matrix[2][2] = 1.0f;

    const float hw = (float)(params[PARAM_WIDTH]->u.fs_d.value * 0.5);
    const float hh = (float)(params[PARAM_HEIGHT]->u.fs_d.value * 0.5);
    const float q = hw / hh;

    info->falloff = params[PARAM_FALLOFF]->u.pd.value;
    info->opacity = (float)(((double)params[PARAM_OPACITY]->u.fd.value * FIXED_TO_DOUBLE) / 100.0);

    if (params[PARAM_FILL_WITH]->u.pd.value == FILL_TRANSPARENT) {
        info->colorFill = 0.0f;
    } else {
        const PF_Pixel& color = params[PARAM_COLOR]->u.cd.value;
        info->colorFill = 1.0f;
        info->red = (float)color.red / 255.0f;
        info->green = (float)color.green / 255.0f;
        info->blue = (float)color.blue / 255.0f;
    }

    // A feather reaching the centre would leave no inner shape; keep one unit of it.
    float f = (float)params[PARAM_FEATHER]->u.fs_d.value;
    if (f >= hw) {
        f = hw - 1.0f;
    }
    const float fv = f / q;
    const float iw = hw - f;
    const float ih = hh - fv;

    info->halfWidth = hw;
    info->halfHeight = hh;
    info->innerHalfWidth = iw;
    info->innerHalfHeight = ih;
    info->feather = f;

    if (params[PARAM_SHAPE]->u.pd.value == SHAPE_RECTANGLE) {
        info->isEllipse = 0;
        info->scaleU = 1.0f / f;
        info->scaleV = 1.0f / fv;
    } else {
        info->isEllipse = 1;
        info->halfWidthSq = hw * hw;
        info->halfHeightSq = hh * hh;
        info->scaleU = 1.0f / info->halfWidthSq;
        info->scaleV = 1.0f / info->halfHeightSq;
        info->outerAB = hw * hh;
        info->innerAB = iw * ih;
        info->innerHalfWidthSq = iw * iw;
        info->innerHalfHeightSq = ih * ih;
        info->invInnerHalfWidthSq = 1.0f / info->innerHalfWidthSq;
        info->invInnerHalfHeightSq = 1.0f / info->innerHalfHeightSq;
    }

    info->invert = params[PARAM_INVERT]->u.bd.value != 0;

    if (params[PARAM_MASK_ONLY]->u.bd.value != 0 || info->colorFill == 0.0f) {
        info->blendOp = BLEND_NONE;
    } else {
        info->blendOp = BlendOpFromPopup(params[PARAM_BLEND_MODE]->u.pd.value);
    }
}

// What each 8-bit channel value becomes under one exact mask value.
struct SettledChannels {
    A_u_char alpha[256];
    A_u_char red[256];
    A_u_char green[256];
    A_u_char blue[256];
};

// What the pixel functions receive as the host's reference constant: the record, and what
// follows from it alone, worked out once instead of at every pixel: the 256 byte values
// already divided (four divisions a pixel in the 8-bit wrappers) and the fill's HSB.
struct RenderContext {
    CorvelleInfo info;
    PF_PixelFloat_HSB fillHSB;
    float byteToFloat[256];
    // Most pixels of a frame lie inside the inner shape or outside the outer one, where the
    // mask is exactly 0 or 1 and each 8-bit channel's result depends on that channel alone
    // (the HSB modes excepted): those results are worked out once for every byte value.
    bool bytesSettled;
    SettledChannels settled[2];   // for the masks 0 and 1
    // The whole frame's masks when the render could work them out beforehand, else empty.
    corvelle_mask::MaskPlaneView plane;
    // The fill colour in the channel order of the compositor's and the editor's 8-bit pixels,
    // for blends worked on a whole pixel at once; the alpha lane is never used.
    alignas(16) float fillArgb[4];
    alignas(16) float fillBgra[4];
};

// Byte to float divides by 255 in float, so every byte survives the round trip back.
float Float8(A_u_char channel) {
    return (float)channel / 255.0f;
}

void SetupRenderContext(const PF_InData* in_data, PF_ParamDef* params[], RenderContext* context) {
    SetupRenderInfo(in_data, params, &context->info);
    context->fillHSB = RGB2HSB(context->info.red, context->info.green, context->info.blue);
    for (int b = 0; b < 256; ++b) {
        context->byteToFloat[b] = Float8((A_u_char)b);
    }
    context->plane = corvelle_mask::MaskPlaneView{};
    const CorvelleInfo& info = context->info;
    const float argb[4] = {0.0f, info.red, info.green, info.blue};
    const float bgra[4] = {info.blue, info.green, info.red, 0.0f};
    std::memcpy(context->fillArgb, argb, sizeof(argb));
    std::memcpy(context->fillBgra, bgra, sizeof(bgra));
}

// ---- Pixel functions ----------------------------------------------------------------

CORVELLE_INLINE void BlendHSB(const RenderContext* context, float w, const PF_PixelFloat* in,
                              PF_PixelFloat* out) {
    const CorvelleInfo* info = &context->info;
    const PF_PixelFloat_HSB layer = RGB2HSB(in->red, in->green, in->blue);
    const PF_PixelFloat_HSB& fill = context->fillHSB;
    PF_PixelFloat_HSB mixed = layer;
    switch (info->blendOp) {
    case BLEND_HUE: mixed.hue = fill.hue; break;
    case BLEND_SATURATION: mixed.saturation = fill.saturation; break;
    case BLEND_COLOR:
        mixed.hue = fill.hue;
        mixed.saturation = fill.saturation;
        break;
    default: mixed.brightness = fill.brightness; break;   // BLEND_LUMINOSITY
    }
    const PF_PixelFloat rgb = HSB2RGB(&mixed);
    out->blue = BlendOperation<BLEND_NORMAL>(in->blue, rgb.blue, w);
    out->green = BlendOperation<BLEND_NORMAL>(in->green, rgb.green, w);
    out->red = BlendOperation<BLEND_NORMAL>(in->red, rgb.red, w);
    out->alpha = in->alpha;
}

// The mask of pixel (x, y), from the frame's plane where there is one.
CORVELLE_INLINE float PixelMask(const RenderContext* context, A_long x, A_long y) {
    if (context->plane.Covers(x, y)) {
        return context->plane.At(x, y);
    }
    return MaskAt(&context->info, x, y);
}

// What a render does to a pixel after its mask, fixed for all of its pixels so that each pixel
// function is compiled for one operation instead of choosing it at every pixel: the separable
// operations by their own code, and two markers for the other two ways.
enum : A_long {
    kMaskAsAlpha = -1,   // no blend: the mask becomes the pixel's alpha
    kHsbMix = -2,        // Hue, Saturation, Color, Luminosity
};

template <typename Visitor>
CORVELLE_INLINE auto VisitPixelBlend(A_long blendOp, Visitor&& visit) {
    if (blendOp == BLEND_NONE) {
        return visit(BlendCode<kMaskAsAlpha>{});
    }
    if (IsHsbBlend(blendOp)) {
        return visit(BlendCode<kHsbMix>{});
    }
    return VisitBlendOperation(blendOp, visit);
}

// Invert and fill: what the shape's mask becomes before it blends.
CORVELLE_INLINE float FilledMask(const CorvelleInfo* info, float m) {
    if (info->invert) {
        m = 1.0f - m;
    }
    if (info->colorFill == 0.0f) {
        m = 1.0f - (m * info->opacity);
        // NaN falls through both tests to 0.
        m = (m >= 1.0f) ? 1.0f : ((m > 0.0f) ? m : 0.0f);
    }
    return m;
}

// Invert, fill and blend: everything after the shape.
template <A_long Op>
CORVELLE_INLINE void ApplyMaskAs(const RenderContext* context, float m, const PF_PixelFloat* in,
                                 PF_PixelFloat* out) {
    const CorvelleInfo* info = &context->info;
    m = FilledMask(info, m);

    if constexpr (Op == kMaskAsAlpha) {
        out->alpha = m;
        if (info->colorFill != 0.0f) {
            out->red = info->red;
            out->green = info->green;
            out->blue = info->blue;
        } else {
            out->red = in->red;
            out->green = in->green;
            out->blue = in->blue;
        }
    } else if constexpr (Op == kHsbMix) {
        BlendHSB(context, m * info->opacity, in, out);
    } else {
        const float w = m * info->opacity;
        out->blue = BlendOperation<Op>(in->blue, info->blue, w);
        out->green = BlendOperation<Op>(in->green, info->green, w);
        out->red = BlendOperation<Op>(in->red, info->red, w);
        out->alpha = in->alpha;
    }
}

void ApplyMask(const RenderContext* context, float m, const PF_PixelFloat* in, PF_PixelFloat* out) {
    VisitPixelBlend(context->info.blendOp,
                    [&](auto op) { ApplyMaskAs<decltype(op)::value>(context, m, in, out); });
}

template <A_long Op>
CORVELLE_INLINE void Blend_Float(const RenderContext* context, A_long x, A_long y, const PF_PixelFloat* in,
                                 PF_PixelFloat* out) {
    ApplyMaskAs<Op>(context, PixelMask(context, x, y), in, out);
}

// Truncate, don't round: a byte the kernel passes through must come back unchanged.
// Values at or above the top clamp to 255; zero, negatives and NaN go to 0.
CORVELLE_INLINE A_u_char Byte8(float value) {
    const float scaled = value * 255.0f;
    if (scaled >= 255.0f) {
        return 255;
    }
    return (scaled > 0.0f) ? (A_u_char)scaled : (A_u_char)0;
}

// 16-bit channels run from 0 to 32768; the power-of-two scale is exact both ways.
CORVELLE_INLINE float Float16(A_u_short channel) {
    return (float)channel * (1.0f / 32768.0f);
}

CORVELLE_INLINE A_u_short Word16(float value) {
    const float scaled = value * 32768.0f;
    if (scaled >= 32768.0f) {
        return 32768;
    }
    return (scaled > 0.0f) ? (A_u_short)scaled : (A_u_short)0;
}

bool UsesSeparableBlend(const CorvelleInfo* info) {
    return !IsHsbBlend(info->blendOp);
}

void SettleMaskedBytes(RenderContext* context) {
    context->bytesSettled = UsesSeparableBlend(&context->info);
    if (!context->bytesSettled) {
        return;
    }
    for (int mask = 0; mask < 2; ++mask) {
        for (int b = 0; b < 256; ++b) {
            const float value = context->byteToFloat[b];
            const PF_PixelFloat grey = {value, value, value, value};
            PF_PixelFloat dst;
            ApplyMask(context, (float)mask, &grey, &dst);
            SettledChannels& channels = context->settled[mask];
            channels.alpha[b] = Byte8(dst.alpha);
            channels.red[b] = Byte8(dst.red);
            channels.green[b] = Byte8(dst.green);
            channels.blue[b] = Byte8(dst.blue);
        }
    }
}

// The table of SettleMaskedBytes for this mask, or null where the float path must run.
// Only the exact values the tables were made with qualify: not -0, not a band value.
CORVELLE_INLINE const SettledChannels* SettledBytes(const RenderContext* context, float m) {
    std::uint32_t bits;
    std::memcpy(&bits, &m, sizeof(bits));
    if (!context->bytesSettled) {
        return nullptr;
    }
    if (bits == 0x3f800000u) {   // 1.0f
        return &context->settled[1];
    }
    return (bits == 0u) ? &context->settled[0] : nullptr;
}

// Whether a pixel's alpha leaves the blend as it came in (every blend but the mask as alpha):
// then its byte is copied, which equals the float round trip because every byte survives it.
template <A_long Op>
constexpr bool kKeepsAlpha = Op != kMaskAsAlpha;

#if defined(CORVELLE_HAS_LANES)
// A blend that keeps alpha and is written lane by lane, worked on the pixel's four bytes at
// once: byte to float, blend and float to byte are the scalar steps, so the bytes are the same.
// `AlphaByte` is where the pixel's alpha lies: 0 for the compositor's ARGB, 3 for the editor's BGRA.
template <A_long Op, int AlphaByte>
CORVELLE_INLINE PF_Err BlendLanes_8(const RenderContext* context, float m, const A_u_char* in,
                                    A_u_char* out) {
    using corvelle_lanes::Lanes4;
    const CorvelleInfo* info = &context->info;
    const float w = FilledMask(info, m) * info->opacity;
    std::uint32_t word;
    std::memcpy(&word, in, sizeof(word));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ints = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)word), zero), zero);
    const Lanes4 layer{_mm_div_ps(_mm_cvtepi32_ps(ints), _mm_set1_ps(255.0f))};
    const Lanes4 fill{_mm_load_ps(AlphaByte == 0 ? context->fillArgb : context->fillBgra)};
    const Lanes4 blended = BlendOperation<Op>(layer, fill, Lanes4{_mm_set1_ps(w)});
    // As Byte8: at or above the top 255, NaN and what is not above 0 to 0, the rest truncated.
    const __m128 scaled = _mm_mul_ps(blended.v, _mm_set1_ps(255.0f));
    const __m128 clamped = _mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    __m128i bytes = _mm_cvttps_epi32(clamped);
    bytes = _mm_packs_epi32(bytes, bytes);
    bytes = _mm_packus_epi16(bytes, bytes);
    const std::uint32_t result = (std::uint32_t)_mm_cvtsi128_si32(bytes);
    const A_u_char alpha = in[AlphaByte];
    std::memcpy(out, &result, sizeof(result));
    out[AlphaByte] = alpha;
    return PF_Err_NONE;
}
#endif

// The pixels the settled tables cannot answer in the other blends; out of line so that the
// common path stays small.
template <A_long Op>
__attribute__((noinline)) PF_Err BlendMixed_8(const RenderContext* context, float m, const PF_Pixel* in,
                                              PF_Pixel* out) {
    const float* f8 = context->byteToFloat;
    const PF_PixelFloat src = {f8[in->alpha], f8[in->red], f8[in->green], f8[in->blue]};
    PF_PixelFloat dst;
    ApplyMaskAs<Op>(context, m, &src, &dst);
    out->alpha = kKeepsAlpha<Op> ? in->alpha : Byte8(dst.alpha);
    out->red = Byte8(dst.red);
    out->green = Byte8(dst.green);
    out->blue = Byte8(dst.blue);
    return PF_Err_NONE;
}

template <A_long Op>
CORVELLE_INLINE PF_Err BlendMasked_8(const RenderContext* context, float m, const PF_Pixel* in,
                                     PF_Pixel* out) {
    if (const SettledChannels* settled = SettledBytes(context, m)) {
        out->alpha = settled->alpha[in->alpha];
        out->red = settled->red[in->red];
        out->green = settled->green[in->green];
        out->blue = settled->blue[in->blue];
        return PF_Err_NONE;
    }
#if defined(CORVELLE_HAS_LANES)
    if constexpr (kLanewiseBlend<Op>) {
        return BlendLanes_8<Op, 0>(context, m, reinterpret_cast<const A_u_char*>(in),
                                   reinterpret_cast<A_u_char*>(out));
    }
#endif
    return BlendMixed_8<Op>(context, m, in, out);
}

// Pixels the plane does not cover work out their own mask, out of line like the mixed ones:
// the pixels it covers then run without a stack frame.
template <A_long Op>
__attribute__((noinline)) PF_Err BlendComputed_8(const RenderContext* context, A_long x, A_long y,
                                                 const PF_Pixel* in, PF_Pixel* out) {
    return BlendMasked_8<Op>(context, MaskAt(&context->info, x, y), in, out);
}

template <A_long Op>
PF_Err Blend_8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const RenderContext* context = static_cast<const RenderContext*>(refcon);
    if (!context->plane.Covers(x, y)) {
        return BlendComputed_8<Op>(context, x, y, in, out);
    }
    return BlendMasked_8<Op>(context, context->plane.At(x, y), in, out);
}

#if defined(CORVELLE_HAS_LANES)
// The 16-bit pixel of a blend written lane by lane, its four channels at once: word to float,
// blend and float to word are the scalar steps, so the words are the same.
template <A_long Op>
CORVELLE_INLINE PF_Err BlendLanes_16(const RenderContext* context, float m, const PF_Pixel16* in,
                                     PF_Pixel16* out) {
    using corvelle_lanes::Lanes4;
    const CorvelleInfo* info = &context->info;
    const float w = FilledMask(info, m) * info->opacity;
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
    const __m128i ints = _mm_unpacklo_epi16(words, _mm_setzero_si128());
    const Lanes4 layer{_mm_mul_ps(_mm_cvtepi32_ps(ints), _mm_set1_ps(1.0f / 32768.0f))};
    const Lanes4 fill{_mm_load_ps(context->fillArgb)};
    const Lanes4 blended = BlendOperation<Op>(layer, fill, Lanes4{_mm_set1_ps(w)});
    // As Word16: at or above the top 32768, NaN and what is not above 0 to 0, the rest truncated.
    const __m128 scaled = _mm_mul_ps(blended.v, _mm_set1_ps(32768.0f));
    const __m128 clamped = _mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(32768.0f));
    // 0..32768 does not fit a signed word: packed shifted down by 32768, then flipped back.
    const __m128i shifted = _mm_sub_epi32(_mm_cvttps_epi32(clamped), _mm_set1_epi32(32768));
    const __m128i packed = _mm_xor_si128(_mm_packs_epi32(shifted, shifted), _mm_set1_epi16((short)0x8000));
    const A_u_short alpha = in->alpha;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    // The alpha the blend keeps, through the scalar round trip (which tops it at 32768).
    out->alpha = alpha > 32768 ? (A_u_short)32768 : alpha;
    return PF_Err_NONE;
}
#endif

template <A_long Op>
PF_Err Blend_16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
    const RenderContext* context = static_cast<const RenderContext*>(refcon);
#if defined(CORVELLE_HAS_LANES)
    if constexpr (kLanewiseBlend<Op>) {
        return BlendLanes_16<Op>(context, PixelMask(context, x, y), in, out);
    }
#endif
    const PF_PixelFloat src = {Float16(in->alpha), Float16(in->red), Float16(in->green), Float16(in->blue)};
    PF_PixelFloat dst;
    Blend_Float<Op>(context, x, y, &src, &dst);
    out->alpha = Word16(dst.alpha);
    out->red = Word16(dst.red);
    out->green = Word16(dst.green);
    out->blue = Word16(dst.blue);
    return PF_Err_NONE;
}

template <A_long Op>
__attribute__((noinline)) PF_Err BlendMixed_BGRA_4444_8u(const RenderContext* context, float m,
                                                         const A_u_char* src_bytes, A_u_char* dst_bytes) {
    const float* f8 = context->byteToFloat;
    const PF_PixelFloat src = {f8[src_bytes[3]], f8[src_bytes[2]], f8[src_bytes[1]], f8[src_bytes[0]]};
    PF_PixelFloat dst;
    ApplyMaskAs<Op>(context, m, &src, &dst);
    dst_bytes[0] = Byte8(dst.blue);
    dst_bytes[1] = Byte8(dst.green);
    dst_bytes[2] = Byte8(dst.red);
    dst_bytes[3] = kKeepsAlpha<Op> ? src_bytes[3] : Byte8(dst.alpha);
    return PF_Err_NONE;
}

template <A_long Op>
CORVELLE_INLINE PF_Err BlendMasked_BGRA_4444_8u(const RenderContext* context, float m,
                                                const A_u_char* src_bytes, A_u_char* dst_bytes) {
    if (const SettledChannels* settled = SettledBytes(context, m)) {
        dst_bytes[0] = settled->blue[src_bytes[0]];
        dst_bytes[1] = settled->green[src_bytes[1]];
        dst_bytes[2] = settled->red[src_bytes[2]];
        dst_bytes[3] = settled->alpha[src_bytes[3]];
        return PF_Err_NONE;
    }
#if defined(CORVELLE_HAS_LANES)
    if constexpr (kLanewiseBlend<Op>) {
        return BlendLanes_8<Op, 3>(context, m, src_bytes, dst_bytes);
    }
#endif
    return BlendMixed_BGRA_4444_8u<Op>(context, m, src_bytes, dst_bytes);
}

template <A_long Op>
__attribute__((noinline)) PF_Err BlendComputed_BGRA_4444_8u(const RenderContext* context, A_long x, A_long y,
                                                            const A_u_char* src_bytes, A_u_char* dst_bytes) {
    return BlendMasked_BGRA_4444_8u<Op>(context, MaskAt(&context->info, x, y), src_bytes, dst_bytes);
}

// Premiere hands its BGRA bytes over typed as an ARGB pixel: the first field holds blue.
template <A_long Op>
PF_Err Blend_BGRA_4444_8u(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    const RenderContext* context = static_cast<const RenderContext*>(refcon);
    const A_u_char* src_bytes = reinterpret_cast<const A_u_char*>(in);
    A_u_char* dst_bytes = reinterpret_cast<A_u_char*>(out);
    if (!context->plane.Covers(x, y)) {
        return BlendComputed_BGRA_4444_8u<Op>(context, x, y, src_bytes, dst_bytes);
    }
    return BlendMasked_BGRA_4444_8u<Op>(context, context->plane.At(x, y), src_bytes, dst_bytes);
}

// ---- Render dispatch ----------------------------------------------------------------

constexpr std::size_t FLOAT_BGRA_PIXEL_BYTES = 4 * sizeof(float);

// Premiere's float frames get no host iteration, so the loop is ours. Memory order per
// pixel is blue, green, red, alpha. Where a smaller input has no pixel the kernel sees
// transparent black, as beyond a layer's edge; the output is never walked past its height.
template <A_long Op>
void RenderFloatBGRA(const RenderContext* context, const PF_EffectWorld* input, PF_EffectWorld* output,
                     A_long rows) {
    if (rows > output->height) {
        rows = output->height;
    }
    const char* in_base = reinterpret_cast<const char*>(input->data);
    char* out_base = reinterpret_cast<char*>(output->data);
    for (A_long y = 0; y < rows; ++y) {
        const bool in_row_exists = y < input->height;
        const char* in_row = in_row_exists ? in_base + (std::ptrdiff_t)y * input->rowbytes : nullptr;
        const A_long in_width = in_row_exists ? input->width : 0;
        char* out_row = out_base + (std::ptrdiff_t)y * output->rowbytes;
        for (A_long x = 0; x < output->width; ++x) {
            float bgra[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            if (x < in_width) {
                std::memcpy(bgra, in_row + (std::ptrdiff_t)x * FLOAT_BGRA_PIXEL_BYTES, sizeof(bgra));
            }
            const PF_PixelFloat src = {bgra[3], bgra[2], bgra[1], bgra[0]};
            PF_PixelFloat dst;
            Blend_Float<Op>(context, x, y, &src, &dst);
            const float result[4] = {dst.blue, dst.green, dst.red, dst.alpha};
            std::memcpy(out_row + (std::ptrdiff_t)x * FLOAT_BGRA_PIXEL_BYTES, result, sizeof(result));
        }
    }
}

PF_Err CopyInput(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_EffectWorld* input,
                 PF_EffectWorld* output) {
    if (IsPremiere(in_data)) {
        return in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);
    }
    const PF_WorldTransformSuite1* transform = suites.WorldTransformSuite1();
    if (in_data->quality == PF_Quality_HI) {
        return transform->copy_hq(in_data->effect_ref, input, output, nullptr, nullptr);
    }
    return transform->copy(in_data->effect_ref, input, output, nullptr, nullptr);
}

PF_Err RenderPremiere(PF_InData* in_data, PF_OutData* out_data, AEGP_SuiteHandler& suites,
                      RenderContext* context, PF_EffectWorld* input, PF_EffectWorld* output, A_long rows) {
    PixelFormatSuiteScope pixel_formats(in_data, out_data);
    if (!pixel_formats.Suite()) {
        return pixel_formats.AcquireError();
    }
    // The preset stands when the host leaves the format alone.
    PrPixelFormat format = PrPixelFormat_BGRA_4444_8u;
    (void)pixel_formats.Suite()->GetPixelFormat(output, &format);

    PF_Err err = PF_Err_NONE;
    if (format == PrPixelFormat_BGRA_4444_32f) {
        VisitPixelBlend(context->info.blendOp,
                        [&](auto op) { RenderFloatBGRA<decltype(op)::value>(context, input, output, rows); });
    } else if (format == PrPixelFormat_BGRA_4444_8u) {
        const auto pixels = VisitPixelBlend(context->info.blendOp,
                                            [](auto op) { return &Blend_BGRA_4444_8u<decltype(op)::value>; });
        err = suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, context, pixels, output);
    } else {
        err = PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    const PF_Err release_err = pixel_formats.Release();
    return err ? err : release_err;
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    RenderContext context;
    SetupRenderContext(in_data, params, &context);
    PF_EffectWorld* input = &params[PARAM_INPUT]->u.ld;

    if (context.info.opacity == 0.0f) {
        return CopyInput(in_data, suites, input, output);
    }
    SettleMaskedBytes(&context);
    // Worked out whole before the iteration and only read during it; it goes with this render.
    corvelle_mask::MaskPlane plane;
    if (plane.Build(context.info, output->width, output->height)) {
        context.plane = plane.View();
    }
    const A_long rows = output->extent_hint.bottom - output->extent_hint.top;
    if (IsPremiere(in_data)) {
        return RenderPremiere(in_data, out_data, suites, &context, input, output, rows);
    }
    if (output->world_flags & PF_WorldFlag_DEEP) {
        const auto pixels =
            VisitPixelBlend(context.info.blendOp, [](auto op) { return &Blend_16<decltype(op)::value>; });
        return suites.Iterate16Suite1()->iterate(in_data, 0, rows, input, nullptr, &context, pixels, output);
    }
    const auto pixels =
        VisitPixelBlend(context.info.blendOp, [](auto op) { return &Blend_8<decltype(op)::value>; });
    return suites.Iterate8Suite1()->iterate(in_data, 0, rows, input, nullptr, &context, pixels, output);
}

}   // namespace

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
