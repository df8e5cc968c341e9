// The named effect suites the host hands out through the basic suite, each with its version.
#pragma once

#include "AE_EffectUI.h"
#include "DrawbotSuiteTypes.h"
#include "PrSDKPixelFormat.h"

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1
#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3
#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate8SuiteVersion1 1
#define kPFIterate16Suite "PF iterate16 Suite"
#define kPFIterate16SuiteVersion1 1
#define kPFWorldTransformSuite "PF World Transform Suite"
#define kPFWorldTransformSuiteVersion1 1
#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion1 1
#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1
#define kPFEffectCustomUIOverlayThemeSuite "PF Effect Custom UI Overlay Theme Suite"
#define kPFEffectCustomUIOverlayThemeSuiteVersion1 1

typedef struct PF_ANSICallbacksSuite1 {
    double (*cos)(double);
    double (*sin)(double);
    double (*fabs)(double);
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
    A_char* (*strcpy)(A_char* dst, const A_char* src);
} PF_ANSICallbacksSuite1;

typedef struct PF_ParamUtilsSuite3 {
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP);
} PF_ParamUtilsSuite3;

typedef PF_Err (*PF_IteratePixel8Func)(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out);
typedef PF_Err (*PF_IteratePixel16Func)(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out);

// `area` null means the whole output; progress runs from `progress_base` to `progress_final`.
typedef struct PF_Iterate8Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
} PF_Iterate8Suite1;

typedef struct PF_iterate16Suite1 {
    PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final, PF_EffectWorld* src,
                      const PF_Rect* area, void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
} PF_iterate16Suite1;

typedef struct PF_WorldTransformSuite1 {
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_Err (*copy_hq)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                      PF_Rect* dst_r);
} PF_WorldTransformSuite1;

typedef struct PF_PixelFormatSuite1 {
    PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixel_format);
    PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    PF_Err (*GetPixelFormat)(PF_EffectWorld* worldP, PrPixelFormat* pixel_formatP);
} PF_PixelFormatSuite1;

typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH, DRAWBOT_DrawRef* referenceP0);
} PF_EffectCustomUISuite1;

typedef struct PF_EffectCustomUIOverlayThemeSuite1 {
    PF_Err (*PF_StrokePath)(const DRAWBOT_DrawRef drawbot_ref, const DRAWBOT_PathRef path_ref,
                            PF_Boolean draw_shadowB);
} PF_EffectCustomUIOverlayThemeSuite1;
