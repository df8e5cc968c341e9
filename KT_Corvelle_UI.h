// The on-screen controls: drawing over the composition and layer windows, clicks and drags.
#pragma once

#include "host/AE_EffectUI.h"
#include "utils/UI_methods.h"

/// Handle numbers; a drag keeps the grabbed one in continue_refcon[0].
enum {
    HANDLE_NONE = 0,
    HANDLE_TOP_LEFT,
    HANDLE_TOP_RIGHT,
    HANDLE_BOTTOM_LEFT,
    HANDLE_BOTTOM_RIGHT,
    HANDLE_ROTATION,
    HANDLE_FEATHER_LEFT,
    HANDLE_FEATHER_RIGHT,
    HANDLE_FEATHER_TOP,
    HANDLE_FEATHER_BOTTOM,
    HANDLE_OPACITY,
    HANDLE_COUNT = HANDLE_OPACITY
};

/// The four corners of a rectangle in whole window pixels, in the order of PF_FixedRectPoints.
struct PF_RectPoints {
    PF_Point top_left;
    PF_Point top_right;
    PF_Point bottom_left;
    PF_Point bottom_right;
};

/// Where the controls sit in the window: centre, rotated frames and rotation knob in 16.16,
/// and every handle in whole pixels, indexed by its number.
struct HandleLayout {
    PF_FixedPoint centre;
    PF_FixedRectPoints shape;
    PF_FixedRectPoints feather;
    PF_FixedPoint knob;
    PF_Point handles[HANDLE_COUNT + 1];
};

/// The shape frame and the feather frame in 16.16 layer coordinates, before rotation.
void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_FixedRect* shape_frame,
                          PF_FixedRect* feather_frame);
/// The same frames in whole layer pixels, with the horizontal lengths multiplied by PAR.
void FrameFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_LRect* shape_frame,
                     PF_LRect* feather_frame);
/// Computes every control's position in the event's window.
void HandleLayoutFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event,
                            HandleLayout* layout);

/// Draws the controls over a composition or layer window and marks the event handled.
PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                 PF_EventExtra* event);
/// Draws the outline, the frame and the handles; a failing step stops the later figures.
void DrawHandles(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event);

/// A click: grabs the handle within reach, if any.
PF_Err DoClick(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
               PF_EventExtra* event);
/// A drag: rewrites the grabbed handle's parameters from the mouse position.
PF_Err DoDrag(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
              PF_EventExtra* event);
/// Hit-tests the ten handles; on a hit starts the drag in the event record and returns true.
bool DoClickHandles(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event);
/// Writes the grabbed handle's new parameter values and ends the drag on the last event.
bool DoDragHandles(PF_InData* in_data, PF_ParamDef* params[], FrameToLayerFunc mapping, PF_EventExtra* event);

/// Sends draw events to DrawEvent, clicks to DoClick and drags to DoDrag.
PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* event);
