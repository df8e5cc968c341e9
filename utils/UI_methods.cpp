// Coordinate mapping for the on-screen controls through the host's event callbacks.
#include "utils/UI_methods.h"

#include "Util/AEGP_SuiteHandler.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kFixedOne = 65536.0;
constexpr double kFixedUnit = 1.0 / 65536.0;
constexpr double kDegreesToRadians = 0.017453292519943295;

PF_FixedPoint FixedFromPoint(const PF_Point* point) {
    return PF_FixedPoint{Long2Fixed(point->h), Long2Fixed(point->v)};
}

// The whole pixel a mapped point falls in: the floor, as the arithmetic shift gives it.
void FloorToPoint(const PF_FixedPoint* fixed, PF_Point* point) {
    point->h = fixed->x >> 16;
    point->v = fixed->y >> 16;
}

void LayerToComp(PF_InData* in_data, PF_EventExtra* event, PF_FixedPoint* point) {
    // The callbacks' results are not consulted: a point keeps what the host left in it.
    (void)event->cbs.layer_to_comp(event->cbs.refcon, event->contextH, in_data->current_time,
                                   static_cast<A_long>(in_data->time_scale), point);
}

void CompToLayer(PF_InData* in_data, PF_EventExtra* event, PF_FixedPoint* point) {
    (void)event->cbs.comp_to_layer(event->cbs.refcon, event->contextH, in_data->current_time,
                                   static_cast<A_long>(in_data->time_scale), point);
}

void SourceToFrame(PF_EventExtra* event, PF_FixedPoint* point) {
    (void)event->cbs.source_to_frame(event->cbs.refcon, event->contextH, point);
}

void FrameToSource(PF_EventExtra* event, PF_FixedPoint* point) {
    (void)event->cbs.frame_to_source(event->cbs.refcon, event->contextH, point);
}

}   // namespace

PF_Fixed fix(double v) {
    return TruncLong((v * kFixedOne) + ((v < 0.0) ? -0.5 : 0.5));
}

double unfix(int64_t v) {
    return static_cast<double>(v) * kFixedUnit;
}

A_long TruncLong(double v) {
    // Written so NaN fails both range tests and lands on 0; beyond the range saturates,
    // where a plain conversion would be undefined.
    if (v < 2147483648.0 && v > -2147483649.0) {
        return static_cast<A_long>(v);
    }
    if (v >= 2147483648.0) {
        return std::numeric_limits<A_long>::max();
    }
    if (v <= -2147483649.0) {
        return std::numeric_limits<A_long>::min();
    }
    return 0;
}

A_long ClampLong(int64_t v) {
    if (v > std::numeric_limits<A_long>::max()) {
        return std::numeric_limits<A_long>::max();
    }
    if (v < std::numeric_limits<A_long>::min()) {
        return std::numeric_limits<A_long>::min();
    }
    return static_cast<A_long>(v);
}

PF_Fixed Long2Fixed(A_long v) {
    return ClampLong(static_cast<int64_t>(v) * 65536);
}

bool IsPremiere(const PF_InData* in_data) {
    return in_data->appl_id == PF_APPL_ID_PREMIERE;
}

float PixelAspect(const PF_InData* in_data) {
    return static_cast<float>(in_data->pixel_aspect_ratio.num) /
           static_cast<float>(in_data->pixel_aspect_ratio.den);
}

float FixedDegrees2Radians(PF_Fixed degrees) {
    return static_cast<float>(unfix(degrees) * kDegreesToRadians);
}

PF_WindowType EventWindowType(const PF_EventExtra* event) {
    if (!event->contextH || !*event->contextH) {
        return -1;
    }
    return (*event->contextH)->w_type;
}

void Source2FramePoint(PF_InData* in_data, PF_EventExtra* event, PF_FixedPoint* point) {
    if (EventWindowType(event) == PF_Window_COMP) {
        LayerToComp(in_data, event, point);
    }
    SourceToFrame(event, point);
}

void Source2FrameRect(PF_InData* in_data, PF_EventExtra* event, PF_FixedRect* rect,
                      PF_FixedRectPoints* corners) {
    // Walk order of the mapping calls: (left, top), (right, top), (right, bottom), (left, bottom).
    PF_FixedPoint walk[4] = {{rect->left, rect->top},
                             {rect->right, rect->top},
                             {rect->right, rect->bottom},
                             {rect->left, rect->bottom}};
    if (EventWindowType(event) == PF_Window_COMP) {
        for (PF_FixedPoint& point : walk) {
            LayerToComp(in_data, event, &point);
        }
    }
    for (PF_FixedPoint& point : walk) {
        SourceToFrame(event, &point);
    }
    corners->top_left = walk[0];
    corners->top_right = walk[1];
    corners->bottom_right = walk[2];
    corners->bottom_left = walk[3];

    rect->left = corners->top_left.x;
    rect->top = corners->top_left.y;
    rect->right = corners->top_right.x;
    rect->bottom = corners->bottom_right.y;
}

void RotateFixedRect(PF_InData* in_data, PF_FixedRectPoints* corners, PF_FixedPoint centre, float angle) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const double a = static_cast<double>(angle);
    double cos_a = 0.0;
    double sin_a = 0.0;
    if (IsPremiere(in_data)) {
        cos_a = std::cos(a);
        sin_a = std::sin(a);
    } else {
        const PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();
        cos_a = ansi->cos(a);
        sin_a = ansi->sin(a);
    }

    const double cx = static_cast<double>(centre.x);
    const double cy = static_cast<double>(centre.y);
    PF_FixedPoint* points[4] = {&corners->top_left, &corners->top_right, &corners->bottom_left,
                                &corners->bottom_right};
    for (PF_FixedPoint* point : points) {
        // Differences in double: exact, and free of the 32-bit overflow of far-apart points.
        const double dx = static_cast<double>(point->x) - cx;
        const double dy = static_cast<double>(point->y) - cy;
        point->x = TruncLong((cx + (dx * cos_a)) - (dy * sin_a));
        point->y = TruncLong((cy + (dx * sin_a)) + (dy * cos_a));
    }
}

void CompFrame2Layer(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                     PF_FixedPoint* out_fixed) {
    *out_fixed = FixedFromPoint(in_point);
    FrameToSource(event, out_fixed);
    CompToLayer(in_data, event, out_fixed);
    // No caller reads the whole-pixel point; it gets the same floor as the layer window's.
    FloorToPoint(out_fixed, out_point);
}

void LayerFrame2Layer(PF_InData*, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                      PF_FixedPoint* out_fixed) {
    *out_fixed = FixedFromPoint(in_point);
    FrameToSource(event, out_fixed);
    FloorToPoint(out_fixed, out_point);
}

void Layer2CompFrame(PF_InData* in_data, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                     PF_FixedPoint* out_fixed) {
    *out_fixed = FixedFromPoint(in_point);
    LayerToComp(in_data, event, out_fixed);
    SourceToFrame(event, out_fixed);
    FloorToPoint(out_fixed, out_point);
}

void Layer2LayerFrame(PF_InData*, PF_EventExtra* event, PF_Point* in_point, PF_Point* out_point,
                      PF_FixedPoint* out_fixed) {
    *out_fixed = FixedFromPoint(in_point);
    SourceToFrame(event, out_fixed);
    FloorToPoint(out_fixed, out_point);
}

void FixedFrame2DrawBotRect(PF_FixedRect* frame, DRAWBOT_RectF32* rect) {
    rect->left = static_cast<float>(unfix(frame->left));
    rect->top = static_cast<float>(unfix(frame->top));
    // Widths in 64 bits: a frame may span more than the 32-bit range.
    rect->width = static_cast<float>(unfix(static_cast<int64_t>(frame->right) - frame->left));
    rect->height = static_cast<float>(unfix(static_cast<int64_t>(frame->bottom) - frame->top));
}
