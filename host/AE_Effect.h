// Core records, callbacks and constants of the compositing host's effect interface.
#pragma once

#include <cstdint>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef intptr_t A_intptr_t;
typedef A_char PF_Boolean;
typedef int32_t int32;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_Fixed;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_WorldFlags;
typedef A_long PF_Quality;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef struct _PF_ProgressInfo* PF_ProgPtr;

#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255

// ---- Error codes -------------------------------------------------------------
enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517
};

// ---- Command selectors ------------------------------------------------------
enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24
};

// ---- Out flags -----------------------------------------------------------------
enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,   // 0x100
    PF_OutFlag_PIX_INDEPENDENT = 1L << 10,        // 0x400
    PF_OutFlag_CUSTOM_UI = 1L << 15,              // 0x8000
    PF_OutFlag_REFRESH_UI = 1L << 17,             // 0x20000
    PF_OutFlag_FORCE_RERENDER = 1L << 22,         // 0x400000
    PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,       // 0x2000000
    PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1L << 26   // 0x4000000
};

// ---- Version word ------------------------------------------------------------
enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

#define PF_VERS_BUILD_BITS 0x1ffL
#define PF_VERS_BUILD_SHIFT 0
#define PF_VERS_STAGE_BITS 0x3L
#define PF_VERS_STAGE_SHIFT 9
#define PF_VERS_BUGFIX_BITS 0xfL
#define PF_VERS_BUGFIX_SHIFT 11
#define PF_VERS_SUBVERS_BITS 0xfL
#define PF_VERS_SUBVERS_SHIFT 15
#define PF_VERS_VERS_BITS 0x7L
#define PF_VERS_VERS_SHIFT 19

#define PF_VERSION(VERS, SUBVERS, BUGVERS, STAGE, BUILD)           \
    ((((VERS)&PF_VERS_VERS_BITS) << PF_VERS_VERS_SHIFT) |          \
     (((SUBVERS)&PF_VERS_SUBVERS_BITS) << PF_VERS_SUBVERS_SHIFT) | \
     (((BUGVERS)&PF_VERS_BUGFIX_BITS) << PF_VERS_BUGFIX_SHIFT) |   \
     (((STAGE)&PF_VERS_STAGE_BITS) << PF_VERS_STAGE_SHIFT) |       \
     (((BUILD)&PF_VERS_BUILD_BITS) << PF_VERS_BUILD_SHIFT))

// ---- Parameter types, flags and UI flags -------------------------------------------
enum {
    PF_Param_LAYER = 0,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_FLOAT_SLIDER = 10
};

enum {
    PF_ParamFlag_CANNOT_TIME_VARY = 1L << 1,   // 0x2
    PF_ParamFlag_SUPERVISE = 1L << 6           // 0x40
};

enum { PF_PUI_DISABLED = 1L << 5 };   // 0x20

enum { PF_ChangeFlag_CHANGED_VALUE = 1L << 0 };

enum { PF_ValueDisplayFlag_NONE = 0, PF_ValueDisplayFlag_PERCENT = 1 };

enum { PF_Quality_LO = 0, PF_Quality_HI = 1 };

enum { PF_WorldFlag_DEEP = 1L << 0 };

// ---- Geometry and pixels ----------------------------------------------------
typedef struct {
    A_long num;
    A_u_long den;
} PF_RationalScale;
typedef struct {
    PF_Fixed x, y;
} PF_FixedPoint;
typedef struct {
    PF_Fixed left, top, right, bottom;
} PF_FixedRect;
typedef struct {
    A_long left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;
typedef struct {
    A_long h, v;
} PF_Point;

typedef struct {
    A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;
typedef struct {
    A_u_short alpha, red, green, blue;
} PF_Pixel16;
typedef struct {
    PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;
typedef PF_Pixel* PF_PixelPtr;

// A world: rows of pixels, `rowbytes` apart (which may exceed the pixels' own size).
typedef struct PF_LayerDef {
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_LRect extent_hint;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

// ---- Parameter definitions -------------------------------------------------------
typedef struct {
    PF_Fixed value;
    A_char value_str[32];
    A_char value_desc[32];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    A_short precision;
    A_short display_flags;
} PF_FixedSliderDef;

typedef struct {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[32];
    PF_FpShort valid_min, valid_max;
    PF_FpShort slider_min, slider_max;
    PF_FpShort dephault;
    A_short precision;
    A_short display_flags;
    A_u_long fs_flags;
    PF_FpShort curve_tolerance;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct {
    A_long value;
    PF_Boolean dephault;
    union {
        const A_char* nameptr;
    } u;
} PF_CheckBoxDef;

typedef struct {
    PF_Pixel value;
    PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
    PF_Fixed x_value, y_value;
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault, y_dephault;
} PF_PointDef;

typedef struct {
    A_long value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr;
    } u;
} PF_PopupDef;

typedef union {
    PF_LayerDef ld;
    PF_FixedSliderDef fd;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
} PF_ParamDefUnion;

// `id` is filled at registration; the same storage carries `change_flags` in events.
typedef struct PF_ParamDef {
    union {
        A_long id;
        A_long change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_ParamFlags flags;
    PF_ParamDefUnion u;
} PF_ParamDef, *PF_ParamDefPtr, **PF_ParamList;

// ---- Callbacks -----------------------------------------------------------------
struct PF_CustomUIInfo;

typedef struct {
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
} PF_InteractCallbacks;

typedef struct {
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
    A_char* (*strcpy)(A_char* dst, const A_char* src);
} PF_ANSICallbacks;

typedef struct {
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                   PF_Rect* dst_r);
    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

struct SPBasicSuite;

// ---- The command's in and out blocks ---------------------------------------------
typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    A_long appl_id;
    A_long num_params;
    A_long current_time;
    A_long time_step;
    A_u_long time_scale;
    A_long width;
    A_long height;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    const SPBasicSuite* pica_basicP;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    A_long num_params;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    PF_OutFlags2 out_flags2;
} PF_OutData;

// ---- The entry point -----------------------------------------------------------
typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

// The four-character application code of the video editor; every other value is the compositor.
#define PF_APPL_ID_PREMIERE ((A_long)0x50724D72)   // 'PrMr'
