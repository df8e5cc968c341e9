// Custom user-interface events: window contexts, the event record and its callbacks.
#pragma once

#include "AE_Effect.h"

typedef A_long PF_WindowType;
enum { PF_Window_COMP = 0, PF_Window_LAYER = 1, PF_Window_EFFECT = 2 };

typedef A_long PF_EventType;
enum {
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7
};

typedef A_long PF_EventOutFlags;
enum { PF_EO_NONE = 0, PF_EO_HANDLED_EVENT = 1L << 0 };

typedef A_long PF_EventInFlags;

enum { PF_CustomEFlag_NONE = 0, PF_CustomEFlag_COMP = 1L << 0, PF_CustomEFlag_LAYER = 1L << 1 };

// The host's description of one window the effect draws in; reached through a handle.
typedef struct _PF_Context {
    A_u_long magic;
    PF_WindowType w_type;
    A_long reserved_flt;
} PF_Context, *PF_ContextPtr, **PF_ContextH;

typedef A_long PF_Modifiers;

typedef struct {
    A_u_long when;
    PF_Point screen_point;
    A_long num_clicks;
    PF_Modifiers modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
} PF_DoClickEventInfo;
typedef PF_DoClickEventInfo PF_DragEventInfo;

typedef struct {
    PF_Rect update_rect;
    A_long depth;
} PF_DrawEventInfo;

typedef union {
    PF_DoClickEventInfo do_click;
    PF_DragEventInfo drag;
    PF_DrawEventInfo draw;
} PF_EventUnion;

// Point conversions between layer, composition and window space, each in place.
typedef struct {
    void* refcon;
    PF_Err (*layer_to_comp)(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*comp_to_layer)(void* refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint* pt);
    PF_Err (*source_to_frame)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
    PF_Err (*frame_to_source)(void* refcon, PF_ContextH context, PF_FixedPoint* pt);
} PF_EventCallbacks;

typedef struct {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EventCallbacks cbs;
    PF_EventInFlags evt_in_flags;
    PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

typedef struct PF_CustomUIInfo {
    A_long events;
    A_long comp_ui_width;
    A_long comp_ui_height;
    A_long comp_ui_alignment;
    A_long layer_ui_width;
    A_long layer_ui_height;
    A_long layer_ui_alignment;
    A_long preview_ui_width;
    A_long preview_ui_height;
    A_long preview_ui_alignment;
} PF_CustomUIInfo;
