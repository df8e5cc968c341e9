// Coordinate mapping for the on-screen controls: 16.16 numbers, layer to window and back, rotation.
#pragma once

#include "host/AE_EffectUI.h"
#include "host/DrawbotSuiteTypes.h"

#include <cstdint>

/// The four corners of a mapped rectangle in 16.16; the member order is not a walk around it.
struct PF_FixedRectPoints {
    PF_FixedPoint top_left;
    PF_FixedPoint top_right;
    PF_FixedPoint bottom_left;
    PF_FixedPoint bottom_right;
};

/// Signature of the two window-to-layer mappings a drag takes.
typedef void (*FrameToLayerFunc)(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point,
                                 PF_Point* out_point, PF_FixedPoint* out_fixed);

/// v × 65536 to the nearest 16.16 value, ties away from zero; saturates, NaN gives 0.
PF_Fixed fix(double v);
/// A 16.16 value, or a 64-bit sum or difference of such values, as a real number.
double unfix(int64_t v);
/// Truncates toward zero into 32 bits; saturates, NaN gives 0.
A_long TruncLong(double v);
/// Brings a 64-bit intermediate back into 32 bits, saturating.
A_long ClampLong(int64_t v);
/// Whole pixels to 16.16, saturating.
PF_Fixed Long2Fixed(A_long v);

/// True when the host is the video editor rather than the compositor.
bool IsPremiere(const PF_InData* in_data);
/// Pixel aspect ratio num / den, both taken in single precision.
float PixelAspect(const PF_InData* in_data);
/// A 16.16 angle in degrees as radians, formed in double and kept in single precision.
float FixedDegrees2Radians(PF_Fixed degrees);
/// The event's window type, or -1 when the host gave no window context.
PF_WindowType EventWindowType(const PF_EventExtra* event);

/// Maps a layer point to window coordinates in place (through the composition in a comp window).
void Source2FramePoint(PF_InData* in_data, PF_EventExtra* event, PF_FixedPoint* point);
/// Maps a rectangle's corners to window coordinates and overwrites it with their summary.
void Source2FrameRect(PF_InData* in_data, PF_EventExtra* event, PF_FixedRect* rect,
                      PF_FixedRectPoints* corners);
/// Rotates the four corners about `centre` by `angle` radians (clockwise on screen for angle > 0).
void RotateFixedRect(PF_InData* in_data, PF_FixedRectPoints* corners, PF_FixedPoint centre, float angle);

/// Window position in a composition window to 16.16 layer coordinates.
void CompFrame2Layer(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                     PF_FixedPoint* out_fixed);
/// Window position in a layer window to 16.16 layer coordinates.
void LayerFrame2Layer(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                      PF_FixedPoint* out_fixed);
/// Whole-pixel layer point to a composition window's pixels.
void Layer2CompFrame(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                     PF_FixedPoint* out_fixed);
/// Whole-pixel layer point to a layer window's pixels.
void Layer2LayerFrame(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                      PF_FixedPoint* out_fixed);

/// A 16.16 rectangle as the drawing interface's origin-and-size rectangle.
void FixedFrame2DrawBotRect(PF_FixedRect* frame, DRAWBOT_RectF32* rect);
