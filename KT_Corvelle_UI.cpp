// The on-screen controls: frames, handle layout, overlay drawing, hit test and drags.
#include "KT_Corvelle_UI.h"

#include "Headers/adobesdk/DrawbotSuite.h"
#include "KT_Corvelle.h"
#include "Util/AEFX_SuiteHelper.h"
#include "Util/AEGP_SuiteHandler.h"

#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Radians divided by this are degrees counted the other way round, clockwise on screen.
constexpr double kNegativeRadiansPerDegree = -0.017453292519943295;
constexpr int kEllipseVertices = 64;
constexpr A_long kCornerHalf = 3;
constexpr float kFeatherRadius = 4.0f;
constexpr float kKnobRadius = 6.0f;
constexpr float kArcStart = 0.0f;
constexpr float kArcSweep = 360.0f;
constexpr int64_t kHandleReach = 15;
// The opacity track: a vertical line this far left of the origin, one window pixel a percent.
constexpr int kOpacityTrackLeftPixels = 40;
constexpr int kOpacityHalfTrackPixels = 50;
constexpr PF_Fixed kOpacityTrackLeft = kOpacityTrackLeftPixels << 16;
constexpr PF_Fixed kOpacityHalfTrack = kOpacityHalfTrackPixels << 16;
constexpr PF_Boolean kDrawShadow = 1;
constexpr float kPenWidth = 1.0f;
const DRAWBOT_ColorRGBA kOutlineColour = {0.9f, 0.9f, 0.9f, 1.0f};
const DRAWBOT_ColorRGBA kFigureColour = {0.9f, 0.9f, 0.0f, 1.0f};

// Gives back the four drawing suites on every way out of DrawHandles, thrown or not.
class DrawbotSuitesScope {
public:
    DrawbotSuitesScope(PF_InData* in_data, PF_OutData* out_data)
        : m_inData(in_data),
          m_outData(out_data),
          m_suites{},
          m_err(AEFX_AcquireDrawbotSuites(in_data, out_data, &m_suites)) {}
    ~DrawbotSuitesScope() {
        if (!m_err) {
            (void)AEFX_ReleaseDrawbotSuites(m_inData, m_outData);
            return;
        }
        // After a part-way failure only what was acquired goes back: the host counts a
        // release without an acquisition as a double release.
        ReleaseIfHeld(m_suites.drawbot_suiteP, kDRAWBOT_DrawSuite);
        ReleaseIfHeld(m_suites.supplier_suiteP, kDRAWBOT_SupplierSuite);
        ReleaseIfHeld(m_suites.surface_suiteP, kDRAWBOT_SurfaceSuite);
        ReleaseIfHeld(m_suites.path_suiteP, kDRAWBOT_PathSuite);
    }
    DrawbotSuitesScope(const DrawbotSuitesScope&) = delete;
    DrawbotSuitesScope& operator=(const DrawbotSuitesScope&) = delete;

    PF_Err Error() const { return m_err; }
    DRAWBOT_Suites* Suites() { return &m_suites; }

private:
    void ReleaseIfHeld(const void* suite, const char* name) {
        if (suite) {
            (void)AEFX_ReleaseSuite(m_inData, m_outData, name, 1, nullptr);
        }
    }

    PF_InData* m_inData;
    PF_OutData* m_outData;
    DRAWBOT_Suites m_suites;
    PF_Err m_err;
};

PF_FixedPoint Origin(PF_ParamDef* params[]) {
    return PF_FixedPoint{params[PARAM_ORIGIN]->u.td.x_value, params[PARAM_ORIGIN]->u.td.y_value};
}

bool IsOverlayWindow(const PF_EventExtra* event) {
    // Unsigned, so a negative window type (or no context at all) is not an overlay window.
    return static_cast<A_u_long>(EventWindowType(event)) <= PF_Window_LAYER;
}

PF_Point ShiftToPixels(PF_FixedPoint point) {
    return PF_Point{point.x >> 16, point.y >> 16};
}

PF_Fixed Midpoint(PF_Fixed a, PF_Fixed b) {
    return static_cast<PF_Fixed>((static_cast<int64_t>(a) + b) / 2);
}

// Drawing rounds halves up, where the handle positions floor.
PF_Point RoundToPixels(PF_FixedPoint point) {
    return PF_Point{static_cast<A_long>((static_cast<int64_t>(point.x) + 0x8000) >> 16),
                    static_cast<A_long>((static_cast<int64_t>(point.y) + 0x8000) >> 16)};
}

PF_RectPoints RoundToPixels(const PF_FixedRectPoints& corners) {
    return PF_RectPoints{RoundToPixels(corners.top_left), RoundToPixels(corners.top_right),
                         RoundToPixels(corners.bottom_left), RoundToPixels(corners.bottom_right)};
}

PF_RectPoints CornerSquare(PF_Point corner) {
    return PF_RectPoints{{corner.h - kCornerHalf, corner.v - kCornerHalf},
                         {corner.h + kCornerHalf, corner.v - kCornerHalf},
                         {corner.h - kCornerHalf, corner.v + kCornerHalf},
                         {corner.h + kCornerHalf, corner.v + kCornerHalf}};
}

DRAWBOT_PointF32 PixelMidpoint(PF_Point p, PF_Point q) {
    return DRAWBOT_PointF32{static_cast<float>((static_cast<double>(p.h) + static_cast<double>(q.h)) * 0.5),
                            static_cast<float>((static_cast<double>(p.v) + static_cast<double>(q.v)) * 0.5)};
}

DRAWBOT_PointF32 FixedToWindowPoint(PF_FixedPoint point) {
    return DRAWBOT_PointF32{static_cast<float>(unfix(point.x)), static_cast<float>(unfix(point.y))};
}

// The compositor's look: the overlay theme's stroke, with its shadow.
PF_Err StrokeWithTheme(AEGP_SuiteHandler& cache, DRAWBOT_DrawRef drawing_ref, DRAWBOT_PathRef path) {
    return cache.EffectCustomUIOverlayThemeSuite1()->PF_StrokePath(drawing_ref, path, kDrawShadow);
}

// Strokes a figure in the host's look: the theme's stroke with its shadow in the compositor, a
// pen of `colour` in the editor. The editor's stroke result is not part of the status: a
// failure there must not stop the later figures.
PF_Err StrokeFigure(PF_InData* in_data, AEGP_SuiteHandler& cache, DRAWBOT_DrawRef drawing_ref,
                    DRAWBOT_Suites* drawbot, DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef path,
                    const DRAWBOT_ColorRGBA& colour) {
    if (!IsPremiere(in_data)) {
        return StrokeWithTheme(cache, drawing_ref, path);
    }
    DRAWBOT_SurfaceRef surface = nullptr;
    const PF_Err err = cache.DrawbotSuite1()->GetSurface(drawing_ref, &surface);
    if (!err) {
        DRAWBOT_PenP pen(drawbot->supplier_suiteP, supplier, &colour, kPenWidth);
        (void)drawbot->surface_suiteP->StrokePath(surface, pen.Get(), path);
        pen.ReleaseObject();
    }
    return err;
}

// Strokes the closed quadrilateral through the four corners.
PF_Err DrawRectangle(PF_InData* in_data, const PF_RectPoints* corners, DRAWBOT_DrawRef drawing_ref,
                     DRAWBOT_Suites* suites) {
    AEGP_SuiteHandler cache(in_data->pica_basicP);
    DRAWBOT_SupplierRef supplier = nullptr;
    PF_Err err = suites->drawbot_suiteP->GetSupplier(drawing_ref, &supplier);
    if (err) {
        return err;
    }
    DRAWBOT_PathP path(suites->supplier_suiteP, supplier);
    const DRAWBOT_PathSuite1* paths = suites->path_suiteP;
    err = paths->MoveTo(path.Get(), static_cast<float>(corners->top_left.h),
                        static_cast<float>(corners->top_left.v));
    if (!err) {
        err = paths->LineTo(path.Get(), static_cast<float>(corners->top_right.h),
                            static_cast<float>(corners->top_right.v));
    }
    if (!err) {
        err = paths->LineTo(path.Get(), static_cast<float>(corners->bottom_right.h),
                            static_cast<float>(corners->bottom_right.v));
    }
    if (!err) {
        err = paths->LineTo(path.Get(), static_cast<float>(corners->bottom_left.h),
                            static_cast<float>(corners->bottom_left.v));
    }
    if (!err) {
        err = paths->Close(path.Get());
    }

    if (!err) {
        err = StrokeFigure(in_data, cache, drawing_ref, suites, supplier, path.Get(), kFigureColour);
    }
    path.ReleaseObject();
    return err;
}

// The outline's vertices in window coordinates, rotated in layer space about the origin.
void EllipseVertices(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event,
                     DRAWBOT_PointF32 vertices[kEllipseVertices]) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_ANSICallbacksSuite1* ansi = IsPremiere(in_data) ? nullptr : suites.ANSICallbacksSuite1();
    const auto cosine = [ansi](double v) { return ansi ? ansi->cos(v) : std::cos(v); };
    const auto sine = [ansi](double v) { return ansi ? ansi->sin(v) : std::sin(v); };

    const double a = params[PARAM_WIDTH]->u.fs_d.value * 0.5;
    const double b = params[PARAM_HEIGHT]->u.fs_d.value * 0.5;
    const double par = static_cast<double>(PixelAspect(in_data));
    const double theta = static_cast<double>(FixedDegrees2Radians(params[PARAM_ANGLE]->u.ad.value));
    const double cos_theta = cosine(theta);
    const double sin_theta = sine(theta);
    const PF_FixedPoint origin = Origin(params);

    for (int i = 0; i < kEllipseVertices; ++i) {
        const double t = (static_cast<double>(i) * kTwoPi) * (1.0 / kEllipseVertices);
        const double cos_t = cosine(t);
        const double sin_t = sine(t);
        const double dx = (((a * cos_t) * cos_theta) - ((b * sin_t) * sin_theta)) / par;
        const double dy = ((a * cos_t) * sin_theta) + ((b * sin_t) * cos_theta);
        PF_FixedPoint vertex = {ClampLong(static_cast<int64_t>(origin.x) + fix(dx)),
                                ClampLong(static_cast<int64_t>(origin.y) + fix(dy))};
        Source2FramePoint(in_data, event, &vertex);
        vertices[i] = FixedToWindowPoint(vertex);
    }
}

PF_Err DrawEllipse(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event,
                   DRAWBOT_DrawRef drawing_ref, DRAWBOT_Suites* drawbot) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    DRAWBOT_SupplierRef supplier = nullptr;
    PF_Err err = suites.DrawbotSuite1()->GetSupplier(drawing_ref, &supplier);
    if (err) {
        return err;
    }
    DRAWBOT_PathP path(drawbot->supplier_suiteP, supplier);
    DRAWBOT_PointF32 vertices[kEllipseVertices];
    EllipseVertices(in_data, params, event, vertices);

    // Not closed: the last segment returns to vertex 0, and the first has zero length.
    const DRAWBOT_PathSuite1* paths = drawbot->path_suiteP;
    err = paths->MoveTo(path.Get(), vertices[0].x, vertices[0].y);
    for (const DRAWBOT_PointF32& vertex : vertices) {
        if (!err) {
            err = paths->LineTo(path.Get(), vertex.x, vertex.y);
        }
    }
    if (!err) {
        err = paths->LineTo(path.Get(), vertices[0].x, vertices[0].y);
    }

    if (!err) {
        err = StrokeFigure(in_data, suites, drawing_ref, drawbot, supplier, path.Get(), kOutlineColour);
    }
    path.ReleaseObject();
    return err;
}

void SetChanged(PF_ParamDef* param) {
    param->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
}

// Width and height from a corner's doubled offset, turned back by `a` into the frame's axes.
void DragCorner(PF_ParamDef* params[], int64_t doubled_dx, int64_t doubled_dy, float a, float par) {
    float dx = static_cast<float>(unfix(doubled_dx));
    const float dy = static_cast<float>(unfix(doubled_dy));
    dx = dx * par;
    const double cos_a = std::cos(static_cast<double>(a));
    const double sin_a = std::sin(static_cast<double>(a));
    params[PARAM_WIDTH]->u.fs_d.value = (static_cast<double>(dx) * cos_a) - (static_cast<double>(dy) * sin_a);
    params[PARAM_HEIGHT]->u.fs_d.value =
        (static_cast<double>(dx) * sin_a) + (static_cast<double>(dy) * cos_a);
    SetChanged(params[PARAM_WIDTH]);
    SetChanged(params[PARAM_HEIGHT]);
}

// The direction from the centre to the mouse, clockwise from straight up, in [0, 360).
float KnobAngle(int64_t dx, int64_t dy) {
    if (dy == 0) {
        return (dx > 0) ? 90.0f : 270.0f;
    }
    if (dx == 0) {
        return (dy > 0) ? 180.0f : 0.0f;
    }
    const float quotient = static_cast<float>(dx) / static_cast<float>(dy);
    float angle = static_cast<float>(std::atan(static_cast<double>(quotient)) / kNegativeRadiansPerDegree);
    if (dy > 0) {
        angle = angle + 180.0f;
    } else if (angle < 0.0f) {
        angle = angle + 360.0f;
    }
    return angle;
}

void SetFeather(PF_ParamDef* params[], double feather) {
    // Held in single precision before it becomes the slider's double.
    params[PARAM_FEATHER]->u.fs_d.value = static_cast<double>(static_cast<float>(feather));
    SetChanged(params[PARAM_FEATHER]);
}

// Top and bottom feather handles scale by the frame's proportions; a zero height has none,
// so the feather stays as it is and nothing is marked changed.
void DragVerticalFeather(PF_ParamDef* params[], double offset_pixels) {
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const float r = static_cast<float>(w / h);
    if (!std::isfinite(r)) {
        return;
    }
    SetFeather(params, static_cast<double>(r) * ((h * 0.5) + offset_pixels));
}

int64_t AxisDistance(const PF_ANSICallbacksSuite1* ansi, A_long a, A_long b) {
    if (ansi) {
        return TruncLong(ansi->fabs(static_cast<double>(a) - static_cast<double>(b)));
    }
    return std::llabs(static_cast<long long>(a) - b);
}

}   // namespace

void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_FixedRect* shape_frame,
                          PF_FixedRect* feather_frame) {
    const PF_FixedPoint origin = Origin(params);
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const double f = params[PARAM_FEATHER]->u.fs_d.value;
    const PF_Fixed hw = fix(w * 0.5);
    const PF_Fixed hh = fix(h * 0.5);
    const float k = static_cast<float>(in_data->pixel_aspect_ratio.den) /
                    static_cast<float>(in_data->pixel_aspect_ratio.num);

    const float cx = static_cast<float>(origin.x);
    const float hw_layer = static_cast<float>(hw) * k;
    shape_frame->left = TruncLong(static_cast<double>(cx - hw_layer));
    shape_frame->right = TruncLong(static_cast<double>(hw_layer + cx));
    shape_frame->top = ClampLong(static_cast<int64_t>(origin.y) - hh);
    shape_frame->bottom = ClampLong(static_cast<int64_t>(origin.y) + hh);

    const double r = (h == 0.0) ? 0.0 : (w / h);
    const PF_Fixed horizontal_inset = fix(f * static_cast<double>(k));
    // A zero width or height leaves no proportion to keep: no vertical inset then.
    const PF_Fixed vertical_inset = (r == 0.0) ? 0 : fix(f / r);
    feather_frame->left = ClampLong(static_cast<int64_t>(shape_frame->left) + horizontal_inset);
    feather_frame->right = ClampLong(static_cast<int64_t>(shape_frame->right) - horizontal_inset);
    feather_frame->top = ClampLong(static_cast<int64_t>(shape_frame->top) + vertical_inset);
    feather_frame->bottom = ClampLong(static_cast<int64_t>(shape_frame->bottom) - vertical_inset);
}

void FrameFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_LRect* shape_frame,
                     PF_LRect* feather_frame) {
    const PF_FixedPoint origin = Origin(params);
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const double f = params[PARAM_FEATHER]->u.fs_d.value;
    const double par = static_cast<double>(PixelAspect(in_data));
    const double cx = unfix(origin.x);
    const double cy = unfix(origin.y);
    const double hw = (w * 0.5) * par;
    const double hh = h * 0.5;

    shape_frame->left = TruncLong(cx - hw);
    shape_frame->right = TruncLong(cx + hw);
    shape_frame->top = TruncLong(cy - hh);
    shape_frame->bottom = TruncLong(cy + hh);

    const double r = (h == 0.0) ? 0.0 : (w / h);
    const A_long horizontal_inset = TruncLong(f * par);
    const A_long vertical_inset = (r == 0.0) ? 0 : TruncLong(f / r);
    feather_frame->left = ClampLong(static_cast<int64_t>(shape_frame->left) + horizontal_inset);
    feather_frame->right = ClampLong(static_cast<int64_t>(shape_frame->right) - horizontal_inset);
    feather_frame->top = ClampLong(static_cast<int64_t>(shape_frame->top) + vertical_inset);
    feather_frame->bottom = ClampLong(static_cast<int64_t>(shape_frame->bottom) - vertical_inset);
}

void HandleLayoutFromParams(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event,
                            HandleLayout* layout) {
    const PF_FixedPoint origin = Origin(params);
    layout->centre = origin;
    Source2FramePoint(in_data, event, &layout->centre);
    const PF_FixedPoint c = layout->centre;

    PF_FixedRect shape_frame;
    PF_FixedRect feather_frame;
    FixedFrameFromParams(in_data, params, &shape_frame, &feather_frame);
    Source2FrameRect(in_data, event, &shape_frame, &layout->shape);
    Source2FrameRect(in_data, event, &feather_frame, &layout->feather);
    const float theta = FixedDegrees2Radians(params[PARAM_ANGLE]->u.ad.value);
    RotateFixedRect(in_data, &layout->shape, c, theta);
    RotateFixedRect(in_data, &layout->feather, c, theta);

    PF_Point* handles = layout->handles;
    handles[HANDLE_NONE] = PF_Point{0, 0};
    handles[HANDLE_TOP_LEFT] = ShiftToPixels(layout->shape.top_left);
    handles[HANDLE_TOP_RIGHT] = ShiftToPixels(layout->shape.top_right);
    handles[HANDLE_BOTTOM_LEFT] = ShiftToPixels(layout->shape.bottom_left);
    handles[HANDLE_BOTTOM_RIGHT] = ShiftToPixels(layout->shape.bottom_right);

    // The opacity marker keeps its distance in window pixels, whatever the zoom.
    const PF_Fixed opacity = params[PARAM_OPACITY]->u.fd.value;
    handles[HANDLE_OPACITY] =
        ShiftToPixels(PF_FixedPoint{ClampLong(static_cast<int64_t>(c.x) - kOpacityTrackLeft),
                                    ClampLong((static_cast<int64_t>(c.y) + kOpacityHalfTrack) - opacity)});

    // The knob sits a fifth of the layer height from the origin, in layer pixels.
    const double reach = static_cast<double>(in_data->height) / 5.0;
    const float par = PixelAspect(in_data);
    const float knob_dx = static_cast<float>(fix(std::sin(static_cast<double>(theta)) * reach)) / par;
    layout->knob.x = TruncLong(static_cast<double>(static_cast<float>(origin.x) + knob_dx));
    layout->knob.y =
        ClampLong(static_cast<int64_t>(origin.y) - fix(std::cos(static_cast<double>(theta)) * reach));
    Source2FramePoint(in_data, event, &layout->knob);
    handles[HANDLE_ROTATION] = ShiftToPixels(layout->knob);

    const PF_FixedRectPoints& f = layout->feather;
    handles[HANDLE_FEATHER_LEFT] = ShiftToPixels(
        PF_FixedPoint{Midpoint(f.top_left.x, f.bottom_left.x), Midpoint(f.top_left.y, f.bottom_left.y)});
    handles[HANDLE_FEATHER_RIGHT] = ShiftToPixels(
        PF_FixedPoint{Midpoint(f.top_right.x, f.bottom_right.x), Midpoint(f.top_right.y, f.bottom_right.y)});
    handles[HANDLE_FEATHER_TOP] = ShiftToPixels(
        PF_FixedPoint{Midpoint(f.top_left.x, f.top_right.x), Midpoint(f.top_left.y, f.top_right.y)});
    handles[HANDLE_FEATHER_BOTTOM] = ShiftToPixels(PF_FixedPoint{
        Midpoint(f.bottom_left.x, f.bottom_right.x), Midpoint(f.bottom_left.y, f.bottom_right.y)});
}

void DrawHandles(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* event) {
    // Owners in acquisition order, so every way out drops the pen and the path first, then
    // the drawing suites, then this cache.
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    HandleLayout layout;
    HandleLayoutFromParams(in_data, params, event, &layout);
    const PF_RectPoints shape = RoundToPixels(layout.shape);
    const PF_RectPoints feather = RoundToPixels(layout.feather);

    DrawbotSuitesScope drawbot(in_data, out_data);
    if (drawbot.Error()) {
        return;
    }
    DRAWBOT_Suites* drawing = drawbot.Suites();
    DRAWBOT_DrawRef drawing_ref = nullptr;
    PF_Err err = suites.EffectCustomUISuite1()->PF_GetDrawingReference(event->contextH, &drawing_ref);
    if (!drawing_ref) {
        return;
    }
    const bool premiere = IsPremiere(in_data);
    DRAWBOT_SurfaceRef surface = nullptr;
    if (!err) {
        err = suites.DrawbotSuite1()->GetSurface(drawing_ref, &surface);
    }
    if (params[PARAM_SHAPE]->u.pd.value == SHAPE_ELLIPSE && !err) {
        err = DrawEllipse(in_data, params, event, drawing_ref, drawing);
    }
    if (!err) {
        err = DrawRectangle(in_data, &shape, drawing_ref, drawing);
    }
    for (const PF_Point& corner : {shape.top_left, shape.top_right, shape.bottom_right, shape.bottom_left}) {
        const PF_RectPoints square = CornerSquare(corner);
        if (!err) {
            err = DrawRectangle(in_data, &square, drawing_ref, drawing);
        }
    }

    DRAWBOT_SupplierRef supplier = nullptr;
    if (!err) {
        err = suites.DrawbotSuite1()->GetSupplier(drawing_ref, &supplier);
    }
    if (err) {
        return;
    }
    DRAWBOT_PathP path(drawing->supplier_suiteP, supplier);
    std::optional<DRAWBOT_PenP> pen;
    if (premiere) {
        pen.emplace(drawing->supplier_suiteP, supplier, &kFigureColour, kPenWidth);
    }
    const DRAWBOT_PathSuite1* paths = drawing->path_suiteP;
    const auto stroke = [&]() {
        if (err) {
            return;
        }
        if (premiere) {
            err = drawing->surface_suiteP->StrokePath(surface, pen->Get(), path.Get());
        } else {
            err = StrokeWithTheme(suites, drawing_ref, path.Get());
        }
    };
    const auto renew = [&]() { path.New(drawing->supplier_suiteP, supplier); };

    const DRAWBOT_PointF32 feather_handles[4] = {PixelMidpoint(feather.top_left, feather.top_right),
                                                 PixelMidpoint(feather.bottom_left, feather.bottom_right),
                                                 PixelMidpoint(feather.top_left, feather.bottom_left),
                                                 PixelMidpoint(feather.top_right, feather.bottom_right)};
    for (const DRAWBOT_PointF32& centre : feather_handles) {
        if (!err) {
            err = paths->AddArc(path.Get(), &centre, kFeatherRadius, kArcStart, kArcSweep);
        }
        stroke();
        renew();
    }

    const DRAWBOT_PointF32 c = FixedToWindowPoint(layout.centre);
    const DRAWBOT_PointF32 knob = FixedToWindowPoint(layout.knob);
    if (!err) {
        err = paths->MoveTo(path.Get(), c.x, c.y);
    }
    if (!err) {
        err = paths->LineTo(path.Get(), knob.x, knob.y);
    }
    stroke();
    renew();
    if (!err) {
        err = paths->AddArc(path.Get(), &knob, kKnobRadius, kArcStart, kArcSweep);
    }
    stroke();

    const float track_x = c.x - static_cast<float>(kOpacityTrackLeftPixels);
    const float track_top = c.y - static_cast<float>(kOpacityHalfTrackPixels);
    const float track_bottom = track_top + static_cast<float>(2 * kOpacityHalfTrackPixels);
    renew();
    if (!err) {
        err = paths->MoveTo(path.Get(), track_x, track_top);
    }
    if (!err) {
        err = paths->LineTo(path.Get(), track_x, track_bottom);
    }
    stroke();

    const double opacity = unfix(params[PARAM_OPACITY]->u.fd.value);
    const float marker_y = track_top + static_cast<float>(100.0 - opacity);
    const A_long marker_left = TruncLong(static_cast<double>(track_x - 5.0f));
    const A_long marker_right = TruncLong(static_cast<double>(track_x + 6.0f));
    const A_long marker_top = TruncLong(static_cast<double>(marker_y - 2.0f));
    const A_long marker_bottom = TruncLong(static_cast<double>(marker_y + 2.0f));
    const PF_RectPoints marker = {{marker_left, marker_top},
                                  {marker_right, marker_top},
                                  {marker_left, marker_bottom},
                                  {marker_right, marker_bottom}};
    if (!err) {
        // The last figure: its status would stop nothing.
        (void)DrawRectangle(in_data, &marker, drawing_ref, drawing);
    }

    if (pen) {
        pen->ReleaseObject();
    }
    path.ReleaseObject();
}

PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef*,
                 PF_EventExtra* event) {
    if (!IsOverlayWindow(event)) {
        return PF_Err_NONE;
    }
    try {
        DrawHandles(in_data, out_data, params, event);
    } catch (const DRAWBOT_Exception& failure) {
        // A refused pen or path must not leave the module; the unwinding has already given
        // back every pen, path and suite.
        return failure.ErrorCode();
    }
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

bool DoClickHandles(PF_InData* in_data, PF_ParamDef* params[], PF_EventExtra* event) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    HandleLayout layout;
    HandleLayoutFromParams(in_data, params, event, &layout);
    const PF_ANSICallbacksSuite1* ansi = IsPremiere(in_data) ? nullptr : suites.ANSICallbacksSuite1();

    PF_DoClickEventInfo& click = event->u.do_click;
    const PF_Point mouse = click.screen_point;
    // A diamond-shaped reach; the lowest number wins where reaches overlap.
    for (int handle = HANDLE_TOP_LEFT; handle <= HANDLE_COUNT; ++handle) {
        const PF_Point at = layout.handles[handle];
        const int64_t d = AxisDistance(ansi, at.h, mouse.h) + AxisDistance(ansi, at.v, mouse.v);
        if (d <= kHandleReach) {
            click.send_drag = 1;
            click.continue_refcon[0] = handle;
            return true;
        }
    }
    return false;
}

bool DoDragHandles(PF_InData* in_data, PF_ParamDef* params[], FrameToLayerFunc mapping,
                   PF_EventExtra* event) {
    PF_DoClickEventInfo& click = event->u.do_click;
    PF_Point screen = click.screen_point;
    PF_Point mouse_pixels = {0, 0};
    PF_FixedPoint mouse = {0, 0};
    mapping(in_data, event, &screen, &mouse_pixels, &mouse);

    const PF_FixedPoint c = Origin(params);
    const float par = PixelAspect(in_data);
    const float theta = FixedDegrees2Radians(params[PARAM_ANGLE]->u.ad.value);
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    // Differences in 64 bits: doubled, they leave the 32-bit range 16384 pixels out.
    const int64_t right = static_cast<int64_t>(mouse.x) - c.x;
    const int64_t down = static_cast<int64_t>(mouse.y) - c.y;

    switch (click.continue_refcon[0]) {
    case HANDLE_TOP_LEFT: DragCorner(params, -2 * right, -2 * down, -theta, par); break;
    case HANDLE_TOP_RIGHT: DragCorner(params, 2 * right, -2 * down, theta, par); break;
    case HANDLE_BOTTOM_LEFT: DragCorner(params, -2 * right, 2 * down, theta, par); break;
    case HANDLE_BOTTOM_RIGHT: DragCorner(params, 2 * right, 2 * down, -theta, par); break;
    case HANDLE_ROTATION:
        params[PARAM_ANGLE]->u.ad.value = fix(static_cast<double>(KnobAngle(right, down)));
        SetChanged(params[PARAM_ANGLE]);
        break;
    case HANDLE_FEATHER_LEFT:
        SetFeather(params, std::fmax(((w * 0.5) + (static_cast<double>(par) * unfix(right))) *
                                         std::cos(static_cast<double>(theta)),
                                     0.0));
        break;
    case HANDLE_FEATHER_RIGHT:
        SetFeather(params, (w * 0.5) + (static_cast<double>(par) * unfix(-right)));
        break;
    case HANDLE_FEATHER_TOP: DragVerticalFeather(params, unfix(down)); break;
    case HANDLE_FEATHER_BOTTOM: DragVerticalFeather(params, unfix(-down)); break;
    case HANDLE_OPACITY: {
        // One window pixel is one percent, whatever the zoom.
        PF_FixedPoint centre_window = c;
        PF_FixedPoint mouse_window = mouse;
        Source2FramePoint(in_data, event, &centre_window);
        Source2FramePoint(in_data, event, &mouse_window);
        params[PARAM_OPACITY]->u.fd.value =
            ClampLong(static_cast<int64_t>(kOpacityHalfTrack) +
                      (static_cast<int64_t>(centre_window.y) - mouse_window.y));
        SetChanged(params[PARAM_OPACITY]);
        break;
    }
    default: break;
    }

    click.send_drag = 1;
    if (click.last_time) {
        click.continue_refcon[0] = HANDLE_NONE;
        click.send_drag = 0;
    }
    return true;
}

PF_Err DoClick(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*, PF_EventExtra* event) {
    if (!IsOverlayWindow(event)) {
        return PF_Err_NONE;
    }
    if (DoClickHandles(in_data, params, event)) {
        event->evt_out_flags = PF_EO_HANDLED_EVENT;
    }
    return PF_Err_NONE;
}

PF_Err DoDrag(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*, PF_EventExtra* event) {
    FrameToLayerFunc mapping = nullptr;
    switch (EventWindowType(event)) {
    case PF_Window_COMP: mapping = CompFrame2Layer; break;
    case PF_Window_LAYER: mapping = LayerFrame2Layer; break;
    default: return PF_Err_NONE;
    }
    const A_intptr_t grabbed = event->u.do_click.continue_refcon[0];
    if (grabbed < HANDLE_TOP_LEFT || grabbed > HANDLE_COUNT) {
        return PF_Err_NONE;
    }
    (void)DoDragHandles(in_data, params, mapping, event);
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* event) {
    if (!event || !params) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_Err err = PF_Err_NONE;
    switch (event->e_type) {
    case PF_Event_DRAW: err = DrawEvent(in_data, out_data, params, output, event); break;
    case PF_Event_DO_CLICK:
        if (event->u.do_click.send_drag) {
            // A click while a drag is under way continues that drag.
            event->e_type = PF_Event_DRAG;
            err = DoDrag(in_data, out_data, params, output, event);
        } else {
            err = DoClick(in_data, out_data, params, output, event);
        }
        break;
    case PF_Event_DRAG: err = DoDrag(in_data, out_data, params, output, event); break;
    default: break;
    }
    return err;
}
