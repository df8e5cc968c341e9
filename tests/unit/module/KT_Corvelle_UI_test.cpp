// The on-screen controls driven through the headless host: where the handles are, what a
// drag writes, what the overlay draws and in which order, and how failures end an event.
#include "CaseName.h"
#include "controls/DragSession.h"
#include "suites/DrawingSuites.h"
#include "controls/EventWindow.h"
#include "core/Host.h"
#include "core/ModuleLibrary.h"
#include "controls/OverlayCanvas.h"

#include "KT_Corvelle.h"
#include "KT_Corvelle_UI.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using testing_support::CaseName;

constexpr PF_Fixed kOne = 65536;
constexpr A_long kMax = std::numeric_limits<A_long>::max();

// The effect and its window. The default scene: a 400 × 500 layer, origin (200, 250),
// a 200 × 120 rectangle with feather 20, no rotation, opacity 25, in a layer window at zoom 1.
struct Scene {
    HostApp app = HostApp::AfterEffects;
    PF_RationalScale par{1, 1};
    WindowOptions window{};
    A_long shape = 2;
    double originX = 200.0;
    double originY = 250.0;
    double width = 200.0;
    double height = 120.0;
    double feather = 20.0;
    A_long angle = 0;   // whole degrees
    A_long opacity = 25;
};

Scene WithPar(Scene s, A_long num, A_u_long den) {
    s.par = PF_RationalScale{num, den};
    return s;
}
Scene WithAngle(Scene s, A_long degrees) {
    s.angle = degrees;
    return s;
}
Scene InEditor(Scene s) {
    s.app = HostApp::Premiere;
    return s;
}
Scene CompWindowZoom2() {
    Scene s;
    s.window.kind = WindowKind::Comp;
    s.window.zoom = 2.0;
    s.window.layerPosX = 30.0;
    s.window.layerPosY = 20.0;
    return s;
}
Scene LayerWindowZoom2() {
    Scene s;
    s.window.zoom = 2.0;
    return s;
}

ModuleLibrary& Module() {
    static ModuleLibrary library(CORVELLE_MODULE_PATH);
    return library;
}

HostSettings SettingsFor(const Scene& s) {
    HostSettings settings;
    settings.app = s.app;
    settings.layerWidth = 400;
    settings.layerHeight = 500;
    settings.pixelAspect = s.par;
    return settings;
}

class Rig {
public:
    explicit Rig(const Scene& s)
        : m_host(Module().Entry(), SettingsFor(s)),
          m_window(m_host, s.window, 400, 500),
          m_canvas(m_window.Width(), m_window.Height()),
          m_drawing(m_host, m_canvas) {
        m_drawing.AddContext(m_window.Context());
        EXPECT_EQ(m_host.GlobalSetup(), PF_Err_NONE);
        EXPECT_EQ(m_host.ParamsSetup(), PF_Err_NONE);
        m_host.Param(PARAM_SHAPE).u.pd.value = s.shape;
        m_host.Param(PARAM_ORIGIN).u.td.x_value = static_cast<PF_Fixed>(s.originX * kOne);
        m_host.Param(PARAM_ORIGIN).u.td.y_value = static_cast<PF_Fixed>(s.originY * kOne);
        m_host.Param(PARAM_WIDTH).u.fs_d.value = s.width;
        m_host.Param(PARAM_HEIGHT).u.fs_d.value = s.height;
        m_host.Param(PARAM_FEATHER).u.fs_d.value = s.feather;
        m_host.Param(PARAM_ANGLE).u.ad.value = s.angle * kOne;
        m_host.Param(PARAM_OPACITY).u.fd.value = s.opacity * kOne;
        m_host.Trace().Clear();
    }

    Host& GetHost() { return m_host; }
    EventWindow& Window() { return m_window; }

    /// A click at window pixel (x, y); the grabbed handle, 0 when none.
    A_intptr_t Click(int x, int y, PF_Err* err = nullptr) {
        PF_EventExtra event = m_window.NewEvent(PF_Event_DO_CLICK);
        event.u.do_click.screen_point = PF_Point{x, y};
        const PF_Err result = m_host.Event(event);
        if (err) {
            *err = result;
        }
        return event.u.do_click.continue_refcon[0];
    }

    /// One drag event of `handle` at window pixel (x, y); the record as the module left it.
    PF_EventExtra Drag(A_intptr_t handle, int x, int y, PF_Err* err = nullptr) {
        PF_EventExtra event = m_window.NewEvent(PF_Event_DRAG);
        event.u.do_click.screen_point = PF_Point{x, y};
        event.u.do_click.continue_refcon[0] = handle;
        event.u.do_click.send_drag = 1;
        const PF_Err result = m_host.Event(event);
        if (err) {
            *err = result;
        }
        return event;
    }

    /// A draw event; its record as the module left it.
    PF_EventExtra Draw(PF_Err* err) {
        PF_EventExtra event = m_window.NewEvent(PF_Event_DRAW);
        *err = m_host.Event(event);
        return event;
    }

private:
    Host m_host;
    EventWindow m_window;
    OverlayCanvas m_canvas;
    DrawingSuites m_drawing;
};

std::string Num(const nlohmann::json& v) {
    std::ostringstream out;
    out << v.get<double>();
    return out.str();
}

/// The figures drawn, each as its path operations, e.g. "M 100,190", "A 200,202 r4 0..360".
std::vector<std::vector<std::string>> Figures(const CallTrace& trace) {
    std::vector<std::vector<std::string>> figures(1);
    for (const CallRecord& r : trace.Records()) {
        const nlohmann::json& a = r.args;
        if (r.function == "MoveTo" || r.function == "LineTo") {
            figures.back().push_back(std::string(r.function == "MoveTo" ? "M " : "L ") + Num(a["x"]) + "," +
                                     Num(a["y"]));
        } else if (r.function == "AddArc") {
            figures.back().push_back("A " + Num(a["center"][0]) + "," + Num(a["center"][1]) + " r" +
                                     Num(a["radius"]) + " " + Num(a["start"]) + ".." + Num(a["sweep"]));
        } else if (r.function == "Close") {
            figures.back().push_back("Z");
        } else if (r.function == "PF_StrokePath" || r.function == "StrokePath") {
            figures.emplace_back();
        }
    }
    figures.pop_back();   // what follows the last stroke was never stroked
    return figures;
}

std::vector<std::string> Box(int l, int t, int r, int b) {
    const auto p = [](int x, int y) { return std::to_string(x) + "," + std::to_string(y); };
    return {"M " + p(l, t), "L " + p(r, t), "L " + p(r, b), "L " + p(l, b), "Z"};
}
std::vector<std::string> Circle(const std::string& centre, int radius) {
    return {"A " + centre + " r" + std::to_string(radius) + " 0..360"};
}
std::vector<std::string> Line(const std::string& from, const std::string& to) {
    return {"M " + from, "L " + to};
}

int Acquisitions(const CallTrace& trace, const std::string& suite) {
    int n = 0;
    for (const CallRecord& r : trace.Records()) {
        n += (r.function == "AcquireSuite" && r.suite == suite) ? 1 : 0;
    }
    return n;
}

// ---- Frames -------------------------------------------------------------------------------

struct FrameCase {
    const char* name;
    PF_RationalScale par;
    double width, height, feather;
    PF_FixedRect shape, feather_frame;   // worked out by hand, origin (100, 100)
};

class FrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameTest, ShapeAndFeatherFramesAroundTheOrigin) {
    const FrameCase& c = GetParam();
    PF_InData in{};
    in.pixel_aspect_ratio = c.par;
    PF_ParamDef defs[PARAM_COUNT]{};
    PF_ParamDef* params[PARAM_COUNT];
    for (int i = 0; i < PARAM_COUNT; ++i) {
        params[i] = &defs[i];
    }
    defs[PARAM_ORIGIN].u.td.x_value = 100 * kOne;
    defs[PARAM_ORIGIN].u.td.y_value = 100 * kOne;
    defs[PARAM_WIDTH].u.fs_d.value = c.width;
    defs[PARAM_HEIGHT].u.fs_d.value = c.height;
    defs[PARAM_FEATHER].u.fs_d.value = c.feather;
    PF_FixedRect shape{};
    PF_FixedRect feather{};
    FixedFrameFromParams(&in, params, &shape, &feather);
    EXPECT_EQ(shape.left, c.shape.left);
    EXPECT_EQ(shape.top, c.shape.top);
    EXPECT_EQ(shape.right, c.shape.right);
    EXPECT_EQ(shape.bottom, c.shape.bottom);
    EXPECT_EQ(feather.left, c.feather_frame.left);
    EXPECT_EQ(feather.top, c.feather_frame.top);
    EXPECT_EQ(feather.right, c.feather_frame.right);
    EXPECT_EQ(feather.bottom, c.feather_frame.bottom);
}

// 66.6667 and 133.3333 pixels are 4369066.67 and 8738133.33 units: 4369067 and 8738133.
INSTANTIATE_TEST_SUITE_P(
    UI, FrameTest,
    testing::Values(FrameCase{"square_pixels",
                              {1, 1},
                              300,
                              200,
                              100,
                              {-50 * kOne, 0, 250 * kOne, 200 * kOne},
                              {50 * kOne, 4369067, 150 * kOne, 8738133}},
                    // 150 px × 1.1f in single precision: 10813440 units exactly after rounding.
                    FrameCase{"par_10_11",
                              {10, 11},
                              300,
                              200,
                              100,
                              {-65 * kOne, 0, 265 * kOne, 200 * kOne},
                              {45 * kOne, 4369067, 155 * kOne, 8738133}},
                    FrameCase{"feather_half_width",
                              {1, 1},
                              300,
                              200,
                              150,
                              {-50 * kOne, 0, 250 * kOne, 200 * kOne},
                              {100 * kOne, 100 * kOne, 100 * kOne, 100 * kOne}},
                    FrameCase{"feather_beyond_half_turns_inside_out",
                              {1, 1},
                              300,
                              200,
                              200,
                              {-50 * kOne, 0, 250 * kOne, 200 * kOne},
                              {150 * kOne, 8738133, 50 * kOne, 4369067}},
                    FrameCase{"zero_height_has_no_vertical_inset",
                              {1, 1},
                              300,
                              0,
                              100,
                              {-50 * kOne, 100 * kOne, 250 * kOne, 100 * kOne},
                              {50 * kOne, 100 * kOne, 150 * kOne, 100 * kOne}},
                    FrameCase{"zero_width_has_no_vertical_inset",
                              {1, 1},
                              0,
                              200,
                              10,
                              {100 * kOne, 0, 100 * kOne, 200 * kOne},
                              {110 * kOne, 0, 90 * kOne, 200 * kOne}},
                    // f / r = 2e10 pixels: saturates instead of overflowing.
                    FrameCase{"tiny_width_saturates",
                              {1, 1},
                              1e-6,
                              200,
                              100,
                              {100 * kOne, 0, 100 * kOne, 200 * kOne},
                              {100 * kOne + 100 * kOne, kMax, 100 * kOne - 100 * kOne, 200 * kOne - kMax}}),
    CaseName());

// ---- Handle positions ---------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    Scene scene;
    PF_Point handles[HANDLE_COUNT + 1];   // window pixels, by handle number
};

class HandlePositionTest : public testing::TestWithParam<LayoutCase> {};

// Each handle is pinned to its pixel: the reach of 15 holds in all four directions from it,
// and 16 fails in all four, so a handle one pixel off would fail one side.
TEST_P(HandlePositionTest, EveryHandleSitsOnItsPixel) {
    const LayoutCase& c = GetParam();
    Rig rig(c.scene);
    const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (int n = HANDLE_TOP_LEFT; n <= HANDLE_COUNT; ++n) {
        const PF_Point at = c.handles[n];
        EXPECT_EQ(rig.Click(at.h, at.v), n) << "handle " << n;
        for (const auto& step : steps) {
            EXPECT_EQ(rig.Click(at.h + 15 * step[0], at.v + 15 * step[1]), n)
                << "handle " << n << " reach 15 towards " << step[0] << "," << step[1];
            EXPECT_NE(rig.Click(at.h + 16 * step[0], at.v + 16 * step[1]), n)
                << "handle " << n << " reach 16 towards " << step[0] << "," << step[1];
        }
    }
}

// The quarter turn by hand: the float angle is a hair past 90° (cos ≈ −4.4e−8), so a corner
// offset of 100 px contributes ∓0.29 units across, which truncation and the floor to whole
// pixels turn into one pixel less on some positions than the exact turn would give.
INSTANTIATE_TEST_SUITE_P(UI, HandlePositionTest,
                         testing::Values(LayoutCase{"square_pixels",
                                                    Scene{},
                                                    {{0, 0},
                                                     {100, 190},
                                                     {300, 190},
                                                     {100, 310},
                                                     {300, 310},
                                                     {200, 150},
                                                     {120, 250},
                                                     {280, 250},
                                                     {200, 202},
                                                     {200, 298},
                                                     {160, 275}}},
                                         LayoutCase{"editor",
                                                    InEditor(Scene{}),
                                                    {{0, 0},
                                                     {100, 190},
                                                     {300, 190},
                                                     {100, 310},
                                                     {300, 310},
                                                     {200, 150},
                                                     {120, 250},
                                                     {280, 250},
                                                     {200, 202},
                                                     {200, 298},
                                                     {160, 275}}},
                                         LayoutCase{"par_10_11",
                                                    WithPar(Scene{}, 10, 11),
                                                    {{0, 0},
                                                     {90, 190},
                                                     {310, 190},
                                                     {90, 310},
                                                     {310, 310},
                                                     {200, 150},
                                                     {112, 250},
                                                     {288, 250},
                                                     {200, 202},
                                                     {200, 298},
                                                     {160, 275}}},
                                         LayoutCase{"quarter_turn",
                                                    WithAngle(Scene{}, 90),
                                                    {{0, 0},
                                                     {260, 150},
                                                     {259, 350},
                                                     {140, 149},
                                                     {139, 349},
                                                     {300, 250},
                                                     {200, 169},
                                                     {199, 329},
                                                     {247, 250},
                                                     {151, 249},
                                                     {160, 275}}},
                                         // window = (layer + (30, 20)) × 2
                                         LayoutCase{"comp_window_zoom_2",
                                                    CompWindowZoom2(),
                                                    {{0, 0},
                                                     {260, 420},
                                                     {660, 420},
                                                     {260, 660},
                                                     {660, 660},
                                                     {460, 340},
                                                     {300, 540},
                                                     {620, 540},
                                                     {460, 444},
                                                     {460, 636},
                                                     {420, 565}}}),
                         CaseName());

struct HitCase {
    const char* name;
    Scene scene;
    PF_Point click;
    A_intptr_t grabbed;
};

class HitTest : public testing::TestWithParam<HitCase> {};

TEST_P(HitTest, ClickGrabsTheExpectedHandle) {
    const HitCase& c = GetParam();
    Rig rig(c.scene);
    PF_EventExtra event = rig.Window().NewEvent(PF_Event_DO_CLICK);
    event.u.do_click.screen_point = c.click;
    ASSERT_EQ(rig.GetHost().Event(event), PF_Err_NONE);
    EXPECT_EQ(event.u.do_click.continue_refcon[0], c.grabbed);
    EXPECT_EQ(event.u.do_click.send_drag, c.grabbed ? 1 : 0);
    EXPECT_EQ(event.evt_out_flags, c.grabbed ? PF_EO_HANDLED_EVENT : PF_EO_NONE);
}

Scene Small() {   // corners (190, 244) … (210, 256), feather midpoints 2 to 6 px inside
    Scene s;
    s.width = 20;
    s.height = 12;
    s.feather = 2;
    return s;
}
Scene Narrow() {   // top-left corner (195, 150), rotation knob (200, 150)
    Scene s;
    s.width = 10;
    s.height = 200;
    s.feather = 0;
    return s;
}
Scene FeatherHalfWidth() {
    Scene s;
    s.feather = 100;
    return s;
}

// The reach is a diamond: (8, 7) from a handle is 15, (8, 8) is 16 although only 11.3 away.
INSTANTIATE_TEST_SUITE_P(
    UI, HitTest,
    testing::Values(
        HitCase{"diamond_15", Scene{}, {108, 197}, HANDLE_TOP_LEFT},
        HitCase{"diamond_16", Scene{}, {108, 198}, HANDLE_NONE},
        HitCase{"diamond_15_up_left", Scene{}, {92, 183}, HANDLE_TOP_LEFT},
        HitCase{"diamond_16_up_left", Scene{}, {92, 182}, HANDLE_NONE},
        HitCase{"corner_wins_over_feather", Small(), {193, 247}, HANDLE_TOP_LEFT},
        HitCase{"corner_wins_over_closer_knob", Narrow(), {198, 150}, HANDLE_TOP_LEFT},
        HitCase{"collapsed_feather_gives_left_handle", FeatherHalfWidth(), {200, 250}, HANDLE_FEATHER_LEFT},
        HitCase{"miss", Scene{}, {20, 20}, HANDLE_NONE}),
    CaseName());

// ---- Drags --------------------------------------------------------------------------------

struct DragCase {
    const char* name;
    Scene scene;
    A_intptr_t handle;
    PF_Point mouse;   // window pixels
    std::optional<double> width, height, feather;
    std::optional<PF_Fixed> angle, opacity;
    double tolerance = 0.0;
};

class DragTest : public testing::TestWithParam<DragCase> {};

TEST_P(DragTest, DragWritesTheHandlesParameters) {
    const DragCase& c = GetParam();
    Rig rig(c.scene);
    Host& host = rig.GetHost();
    PF_Err err = PF_Err_NONE;
    const PF_EventExtra event = rig.Drag(c.handle, c.mouse.h, c.mouse.v, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_EQ(event.u.do_click.send_drag, 1);
    EXPECT_EQ(event.u.do_click.continue_refcon[0], c.handle);

    const auto check = [&](const std::optional<double>& expected, int index, double before) {
        const double now = host.Param(index).u.fs_d.value;
        if (!expected) {
            EXPECT_EQ(now, before) << "parameter " << index;
        } else if (c.tolerance > 0.0) {
            EXPECT_NEAR(now, *expected, c.tolerance) << "parameter " << index;
        } else {
            EXPECT_EQ(now, *expected) << "parameter " << index;
        }
    };
    check(c.width, PARAM_WIDTH, c.scene.width);
    check(c.height, PARAM_HEIGHT, c.scene.height);
    check(c.feather, PARAM_FEATHER, c.scene.feather);
    EXPECT_EQ(host.Param(PARAM_ANGLE).u.ad.value, c.angle.value_or(c.scene.angle * kOne));
    EXPECT_EQ(host.Param(PARAM_OPACITY).u.fd.value, c.opacity.value_or(c.scene.opacity * kOne));
}

DragCase Corner(const char* name, Scene s, A_intptr_t handle, PF_Point mouse, double w, double h,
                double tolerance = 0.0) {
    DragCase c{name, s, handle, mouse, w, h, std::nullopt, std::nullopt, std::nullopt, tolerance};
    return c;
}
DragCase Knob(const char* name, PF_Point mouse, A_long degrees) {
    return DragCase{name,         Scene{},      HANDLE_ROTATION, mouse,       std::nullopt,
                    std::nullopt, std::nullopt, degrees * kOne,  std::nullopt};
}
DragCase Feather(const char* name, Scene s, A_intptr_t handle, PF_Point mouse,
                 std::optional<double> feather) {
    return DragCase{name, s, handle, mouse, std::nullopt, std::nullopt, feather, std::nullopt, std::nullopt};
}
DragCase Opacity(const char* name, Scene s, PF_Point mouse, A_long percent) {
    return DragCase{
        name,          s, HANDLE_OPACITY, mouse, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
        percent * kOne};
}
Scene Proportion2(Scene s) {   // r = w / h = 2 exactly
    s.height = 100;
    return s;
}
Scene ZeroHeight() {
    Scene s;
    s.height = 0;
    return s;
}

// The centre is (200, 250). A rotation is exact only up to the sine and cosine of the float
// quarter turn (≈ 4.4e−8 off), so the rotated cases allow 1e−4 pixels for that alone.
INSTANTIATE_TEST_SUITE_P(
    UI, DragTest,
    testing::Values(
        Corner("bottom_right", Scene{}, HANDLE_BOTTOM_RIGHT, {400, 400}, 400, 300),
        Corner("top_left_across_centre", Scene{}, HANDLE_TOP_LEFT, {400, 400}, -400, -300),
        Corner("top_right", Scene{}, HANDLE_TOP_RIGHT, {400, 100}, 400, 300),
        Corner("bottom_left", Scene{}, HANDLE_BOTTOM_LEFT, {0, 400}, 400, 300),
        // 220 × 0.90909094f rounds back to 200 in single precision.
        Corner("par_top_left", WithPar(Scene{}, 10, 11), HANDLE_TOP_LEFT, {90, 190}, 200, 120),
        Corner("par_top_right", WithPar(Scene{}, 10, 11), HANDLE_TOP_RIGHT, {310, 190}, 200, 120),
        Corner("par_bottom_left", WithPar(Scene{}, 10, 11), HANDLE_BOTTOM_LEFT, {90, 310}, 200, 120),
        Corner("par_bottom_right", WithPar(Scene{}, 10, 11), HANDLE_BOTTOM_RIGHT, {310, 310}, 200, 120),
        // A quarter turn puts frame corner (±200, ±150) at window offset (∓150, ±200) and so on.
        Corner("turned_top_left", WithAngle(Scene{}, 90), HANDLE_TOP_LEFT, {350, 50}, 400, 300, 1e-4),
        Corner("turned_top_right", WithAngle(Scene{}, 90), HANDLE_TOP_RIGHT, {350, 450}, 400, 300, 1e-4),
        Corner("turned_bottom_left", WithAngle(Scene{}, 90), HANDLE_BOTTOM_LEFT, {50, 50}, 400, 300, 1e-4),
        Corner("turned_bottom_right", WithAngle(Scene{}, 90), HANDLE_BOTTOM_RIGHT, {50, 450}, 400, 300, 1e-4),
        // PAR scales the doubled sideways offset before the turn back: −600 across becomes height.
        Corner("turned_with_par_2", WithPar(WithAngle(Scene{}, 90), 2, 1), HANDLE_BOTTOM_RIGHT, {50, 450},
               400, 600, 1e-4),
        Corner("comp_window", CompWindowZoom2(), HANDLE_BOTTOM_RIGHT, {860, 840}, 400, 300),
        Knob("knob_up", {200, 100}, 0), Knob("knob_right", {300, 250}, 90),
        Knob("knob_down", {200, 400}, 180), Knob("knob_left", {100, 250}, 270),
        Knob("knob_on_centre", {200, 250}, 270), Knob("knob_up_right", {300, 150}, 45),
        Knob("knob_down_right", {300, 350}, 135), Knob("knob_down_left", {100, 350}, 225),
        Knob("knob_up_left", {100, 150}, 315),
        Feather("left", WithPar(Scene{}, 2, 1), HANDLE_FEATHER_LEFT, {165, 0}, 30),
        Feather("left_clamps_at_zero", Scene{}, HANDLE_FEATHER_LEFT, {50, 0}, 0),
        Feather("left_turned_half_way_clamps", WithAngle(Scene{}, 180), HANDLE_FEATHER_LEFT, {170, 0}, 0),
        Feather("right", WithPar(Scene{}, 2, 1), HANDLE_FEATHER_RIGHT, {235, 0}, 30),
        Feather("right_ignores_angle", WithPar(WithAngle(Scene{}, 180), 2, 1), HANDLE_FEATHER_RIGHT, {235, 0},
                30),
        Feather("right_not_clamped", Scene{}, HANDLE_FEATHER_RIGHT, {350, 0}, -50),
        Feather("top", Proportion2(Scene{}), HANDLE_FEATHER_TOP, {0, 215}, 30),
        Feather("bottom", Proportion2(Scene{}), HANDLE_FEATHER_BOTTOM, {0, 285}, 30),
        Feather("top_zero_height_unchanged", ZeroHeight(), HANDLE_FEATHER_TOP, {0, 215}, std::nullopt),
        Feather("bottom_zero_height_unchanged", ZeroHeight(), HANDLE_FEATHER_BOTTOM, {0, 285}, std::nullopt),
        Opacity("opacity_60", Scene{}, {0, 240}, 60), Opacity("opacity_130", Scene{}, {0, 170}, 130),
        Opacity("opacity_below_zero", Scene{}, {0, 310}, -10),
        // Window centre (400, 500): 10 window pixels are 10 percent at any zoom.
        Opacity("opacity_zoomed", LayerWindowZoom2(), {0, 490}, 60)),
    CaseName());

TEST(UI, FeatherDragWithNoHeightMarksNothingChanged) {
    // The host applies only marked values; the module must also not mark an unchanged one.
    Rig rig(ZeroHeight());
    PF_EventExtra event = rig.Window().NewEvent(PF_Event_DRAG);
    event.u.do_click.continue_refcon[0] = HANDLE_FEATHER_TOP;
    event.u.do_click.send_drag = 1;
    rig.GetHost().Param(PARAM_FEATHER).u.fs_d.value = 20.0;
    ASSERT_EQ(rig.GetHost().Event(event), PF_Err_NONE);
    EXPECT_EQ(rig.GetHost().Param(PARAM_FEATHER).u.fs_d.value, 20.0);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
}

TEST(UI, DragOutsideTheHandleNumbersChangesNothing) {
    for (A_intptr_t refcon : {A_intptr_t{0}, A_intptr_t{11}, A_intptr_t{-1}}) {
        Rig rig{Scene{}};
        PF_Err err = PF_Err_NONE;
        const PF_EventExtra event = rig.Drag(refcon, 400, 400, &err);
        EXPECT_EQ(err, PF_Err_NONE);
        EXPECT_EQ(event.evt_out_flags, PF_EO_NONE) << refcon;
        EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 200.0) << refcon;
    }
}

TEST(UI, FarDragKeepsCornerArithmeticIn64Bits) {
    // 20000 px from the centre, the doubled 16.16 difference needs 33 bits.
    Rig rig{Scene{}};
    PF_Err err = PF_Err_NONE;
    rig.Drag(HANDLE_BOTTOM_RIGHT, 20200, 250, &err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 40000.0);
    EXPECT_EQ(rig.GetHost().Param(PARAM_HEIGHT).u.fs_d.value, 0.0);
}

TEST(UI, DragSessionEndsOnTheLastEventWithItsValuesApplied) {
    Rig rig{Scene{}};
    DragSession drag(rig.GetHost(), rig.Window());
    ASSERT_EQ(drag.Press(WindowPixel{300, 310}), PF_Err_NONE);
    EXPECT_EQ(drag.Refcon(), HANDLE_BOTTOM_RIGHT);
    EXPECT_TRUE(drag.Dragging());
    ASSERT_EQ(drag.Move(WindowPixel{400, 400}), PF_Err_NONE);
    EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 400.0);
    ASSERT_EQ(drag.Release(WindowPixel{350, 350}), PF_Err_NONE);
    EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 300.0);
    EXPECT_EQ(rig.GetHost().Param(PARAM_HEIGHT).u.fs_d.value, 200.0);
    EXPECT_EQ(drag.LastEvent().u.do_click.continue_refcon[0], HANDLE_NONE);
    EXPECT_EQ(drag.LastEvent().u.do_click.send_drag, 0);
    EXPECT_EQ(drag.LastEvent().evt_out_flags, PF_EO_HANDLED_EVENT);
}

TEST(UI, ClickDuringADragContinuesTheDrag) {
    Rig rig{Scene{}};
    DragSession drag(rig.GetHost(), rig.Window());
    ASSERT_EQ(drag.Press(WindowPixel{300, 310}), PF_Err_NONE);
    // A second press while send_drag is set: far from every handle, yet it drags the corner.
    ASSERT_EQ(drag.Press(WindowPixel{400, 400}), PF_Err_NONE);
    EXPECT_EQ(drag.LastEvent().e_type, PF_Event_DRAG);
    EXPECT_EQ(drag.Refcon(), HANDLE_BOTTOM_RIGHT);
    EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 400.0);
    EXPECT_EQ(rig.GetHost().Param(PARAM_HEIGHT).u.fs_d.value, 300.0);
}

TEST(UI, MissingAnsiSuiteEndsClickWith516AndChangesNothing) {
    Rig rig{Scene{}};
    rig.GetHost().Faults().refusedSuites.insert({"PF ANSI Suite", 1});
    PF_EventExtra event = rig.Window().NewEvent(PF_Event_DO_CLICK);
    event.u.do_click.screen_point = PF_Point{300, 310};
    EXPECT_EQ(rig.GetHost().Event(event), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(event.u.do_click.continue_refcon[0], HANDLE_NONE);
    EXPECT_EQ(event.u.do_click.send_drag, 0);
    EXPECT_EQ(event.evt_out_flags, PF_EO_NONE);

    PF_Err err = PF_Err_NONE;
    const PF_EventExtra draw = rig.Draw(&err);
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(draw.evt_out_flags, PF_EO_NONE);
}

TEST(UI, EditorHitTestNeedsNoAnsiSuite) {
    Rig rig{InEditor(Scene{})};
    rig.GetHost().Faults().refusedSuites.insert({"PF ANSI Suite", 1});
    EXPECT_EQ(rig.Click(300, 310), HANDLE_BOTTOM_RIGHT);
    EXPECT_EQ(Acquisitions(rig.GetHost().Trace(), "PF ANSI Suite"), 0);
}

// ---- Drawing ------------------------------------------------------------------------------

using Figure = std::vector<std::string>;

std::vector<Figure> ExpectedRectangleFigures(const Scene& s, int zoom) {
    // Window pixels of the default scene times the zoom; the marks keep their sizes.
    const auto z = [zoom](int v) { return v * zoom; };
    const auto p = [](int x, int y) { return std::to_string(x) + "," + std::to_string(y); };
    const int cx = z(200);
    const int cy = z(250);
    const int marker_y = (cy - 50) + (100 - s.opacity);
    return {Box(z(100), z(190), z(300), z(310)),
            Box(z(100) - 3, z(190) - 3, z(100) + 3, z(190) + 3),
            Box(z(300) - 3, z(190) - 3, z(300) + 3, z(190) + 3),
            Box(z(300) - 3, z(310) - 3, z(300) + 3, z(310) + 3),
            Box(z(100) - 3, z(310) - 3, z(100) + 3, z(310) + 3),
            Circle(p(cx, z(202)), 4),
            Circle(p(cx, z(298)), 4),
            Circle(p(z(120), cy), 4),
            Circle(p(z(280), cy), 4),
            Line(p(cx, cy), p(cx, z(150))),
            Circle(p(cx, z(150)), 6),
            Line(p(cx - 40, cy - 50), p(cx - 40, cy + 50)),
            Box(cx - 45, marker_y - 2, cx - 34, marker_y + 2)};
}

struct DrawCase {
    const char* name;
    Scene scene;
    int zoom;
};

class DrawFigureTest : public testing::TestWithParam<DrawCase> {};

TEST_P(DrawFigureTest, RectangleFiguresInOrderWithFixedSizeMarks) {
    const DrawCase& c = GetParam();
    Rig rig(c.scene);
    PF_Err err = PF_Err_NONE;
    const PF_EventExtra event = rig.Draw(&err);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_EQ(Figures(rig.GetHost().Trace()), ExpectedRectangleFigures(c.scene, c.zoom));
}

Scene WithOpacity(A_long opacity) {
    Scene s;
    s.opacity = opacity;
    return s;
}

INSTANTIATE_TEST_SUITE_P(UI, DrawFigureTest,
                         testing::Values(DrawCase{"compositor", Scene{}, 1},
                                         DrawCase{"editor", InEditor(Scene{}), 1},
                                         DrawCase{"zoom_2", LayerWindowZoom2(), 2},
                                         DrawCase{"opacity_100_marker_50_above", WithOpacity(100), 1},
                                         DrawCase{"opacity_0_marker_50_below", WithOpacity(0), 1}),
                         CaseName());

TEST(UI, QuarterTurnKeepsCornerSquaresUpright) {
    Rig rig{WithAngle(Scene{}, 90)};
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    ASSERT_EQ(err, PF_Err_NONE);
    const std::vector<Figure> figures = Figures(rig.GetHost().Trace());
    ASSERT_GE(figures.size(), 5u);
    // Frame corners rounded to the nearest pixel: top-left (260, 150), top-right (260, 350),
    // bottom-right (140, 350), bottom-left (140, 150): the frame turned clockwise.
    EXPECT_EQ(figures[0], (Figure{"M 260,150", "L 260,350", "L 140,350", "L 140,150", "Z"}));
    EXPECT_EQ(figures[1], Box(257, 147, 263, 153));
    EXPECT_EQ(figures[2], Box(257, 347, 263, 353));
    EXPECT_EQ(figures[3], Box(137, 347, 143, 353));
    EXPECT_EQ(figures[4], Box(137, 147, 143, 153));
}

TEST(UI, EllipseOutlineComesFirstAndTouchesTheFrame) {
    for (const Scene& scene : {Scene{}, InEditor(Scene{})}) {
        Scene s = scene;
        s.shape = 1;
        Rig rig(s);
        PF_Err err = PF_Err_NONE;
        rig.Draw(&err);
        ASSERT_EQ(err, PF_Err_NONE);
        const std::vector<Figure> figures = Figures(rig.GetHost().Trace());
        ASSERT_EQ(figures.size(), 14u);
        const Figure& outline = figures[0];
        ASSERT_EQ(outline.size(), 66u);
        // Vertex 0 is the right edge's midpoint, vertex 16 the bottom edge's; the path starts
        // with a zero-length segment and returns to vertex 0 without Close.
        EXPECT_EQ(outline[0], "M 300,250");
        EXPECT_EQ(outline[1], "L 300,250");
        EXPECT_EQ(outline[17], "L 200,310");
        EXPECT_EQ(outline[65], "L 300,250");
        EXPECT_EQ(figures[1], Box(100, 190, 300, 310));
    }
}

TEST(UI, CompositorLookUsesTheThemeWithShadowOnly) {
    Rig rig{Scene{}};
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    ASSERT_EQ(err, PF_Err_NONE);
    const CallTrace& trace = rig.GetHost().Trace();
    EXPECT_EQ(trace.Count("PF_StrokePath"), 13u);
    EXPECT_EQ(trace.Count("StrokePath"), 0u);
    EXPECT_EQ(trace.Count("NewPen"), 0u);
    for (const CallRecord& r : trace.Records()) {
        if (r.function == "PF_StrokePath") {
            EXPECT_EQ(r.args["shadow"], true);
        }
    }
}

TEST(UI, EditorLookUsesOnePixelPensInTwoColours) {
    Scene s = InEditor(Scene{});
    s.shape = 1;
    Rig rig(s);
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    ASSERT_EQ(err, PF_Err_NONE);
    const CallTrace& trace = rig.GetHost().Trace();
    EXPECT_EQ(Acquisitions(trace, "PF Effect Custom UI Overlay Theme Suite"), 0);
    EXPECT_EQ(Acquisitions(trace, "PF ANSI Suite"), 0);
    EXPECT_EQ(trace.Count("PF_StrokePath"), 0u);
    EXPECT_EQ(trace.Count("StrokePath"), 14u);

    const double grey = static_cast<double>(0.9f);
    std::vector<std::vector<double>> colours;
    for (const CallRecord& r : trace.Records()) {
        if (r.function == "NewPen") {
            EXPECT_EQ(r.args["size"].get<double>(), 1.0);
            colours.push_back(r.args["color"].get<std::vector<double>>());
        }
    }
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.front(), (std::vector<double>{grey, grey, grey, 1.0}));   // the outline
    for (std::size_t i = 1; i < colours.size(); ++i) {
        EXPECT_EQ(colours[i], (std::vector<double>{grey, grey, 0.0, 1.0})) << "pen " << i;
    }
}

TEST(UI, FailedThemeStrokeStopsLaterFiguresButTheEventIsHandled) {
    Rig rig{Scene{}};
    rig.GetHost().Faults().failNthCall["PF_StrokePath"] = 2;   // the first corner square
    PF_Err err = PF_Err_NONE;
    const PF_EventExtra event = rig.Draw(&err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    const CallTrace& trace = rig.GetHost().Trace();
    EXPECT_EQ(trace.Count("PF_StrokePath"), 2u);
    EXPECT_EQ(trace.Count("AddArc"), 0u);
    EXPECT_EQ(trace.Count("MoveTo"), 2u);
}

TEST(UI, FailedPathMovementStopsLaterFigures) {
    Rig rig{Scene{}};
    rig.GetHost().Faults().failNthCall["AddArc"] = 1;   // the top feather circle
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    EXPECT_EQ(err, PF_Err_NONE);
    const CallTrace& trace = rig.GetHost().Trace();
    EXPECT_EQ(trace.Count("AddArc"), 1u);
    EXPECT_EQ(trace.Count("PF_StrokePath"), 5u);   // frame and squares only
}

TEST(UI, RefusedPathOrPenBecomesTheEventsResult) {
    struct Refusal {
        HostApp app;
        const char* function;
        int nth;
    };
    for (const Refusal& r :
         {Refusal{HostApp::AfterEffects, "NewPath", 1}, Refusal{HostApp::AfterEffects, "NewPath", 7},
          Refusal{HostApp::Premiere, "NewPen", 1}, Refusal{HostApp::AfterEffects, "ReleaseObject", 3},
          // The handles' old path refused back while a new one takes its place.
          Refusal{HostApp::AfterEffects, "ReleaseObject", 7},
          Refusal{HostApp::Premiere, "ReleaseObject", 13}}) {
        Scene s;
        s.app = r.app;
        Rig rig(s);
        rig.GetHost().Faults().failNthCall[r.function] = r.nth;
        PF_Err err = PF_Err_NONE;
        const PF_EventExtra event = rig.Draw(&err);   // the host checks pen, path and suite balance
        EXPECT_EQ(err, PF_Err_INTERNAL_STRUCT_DAMAGED) << r.function << " " << r.nth;
        EXPECT_EQ(event.evt_out_flags, PF_EO_NONE) << r.function << " " << r.nth;
    }
}

TEST(UI, DrawingSuitesMissingPartWayDrawNothingAndReleaseOnlyWhatWasAcquired) {
    Rig rig{Scene{}};
    rig.GetHost().Faults().refusedSuites.insert({"DRAWBOT Surface Suite", 1});
    PF_Err err = PF_Err_NONE;
    const PF_EventExtra event = rig.Draw(&err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    const CallTrace& trace = rig.GetHost().Trace();
    EXPECT_EQ(trace.Count("NewPath"), 0u);
    EXPECT_EQ(Acquisitions(trace, "DRAWBOT Path Suite"), 0);
    EXPECT_EQ(trace.Count("ReleaseSuite", "DRAWBOT Surface Suite"), 0u);
    EXPECT_EQ(trace.Count("ReleaseSuite", "DRAWBOT Path Suite"), 0u);
    EXPECT_EQ(std::string(rig.GetHost().OutData().return_msg), "Not able to acquire AEFX Suite.");
}

TEST(UI, NoDrawingReferenceDrawsNothing) {
    Rig rig{Scene{}};
    rig.GetHost().Faults().noDrawingReference = true;
    PF_Err err = PF_Err_NONE;
    const PF_EventExtra event = rig.Draw(&err);
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_EQ(rig.GetHost().Trace().Count("GetSupplier"), 0u);
    EXPECT_EQ(rig.GetHost().Trace().Count("NewPath"), 0u);
}

TEST(UI, EffectWindowEventsDoNothing) {
    Rig rig{Scene{}};
    (*rig.Window().Context())->w_type = PF_Window_EFFECT;
    for (PF_EventType type : {PF_Event_DRAW, PF_Event_DO_CLICK, PF_Event_DRAG}) {
        PF_EventExtra event = rig.Window().NewEvent(type);
        event.u.do_click.screen_point = PF_Point{300, 310};
        event.u.do_click.continue_refcon[0] = (type == PF_Event_DRAG) ? HANDLE_BOTTOM_RIGHT : 0;
        EXPECT_EQ(rig.GetHost().Event(event), PF_Err_NONE);
        EXPECT_EQ(event.evt_out_flags, PF_EO_NONE) << type;
    }
    EXPECT_TRUE(rig.GetHost().Trace().Records().empty());
    EXPECT_EQ(rig.GetHost().Param(PARAM_WIDTH).u.fs_d.value, 200.0);
}

TEST(UI, CompWindowPassesEveryPointThroughTheComposition) {
    Scene s = CompWindowZoom2();
    s.shape = 1;
    Rig rig(s);
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(rig.Click(660, 660), HANDLE_BOTTOM_RIGHT);
    std::set<std::string> in_composition;
    std::size_t to_window = 0;
    for (const CallRecord& r : rig.GetHost().Trace().Records()) {
        if (r.function == "layer_to_comp") {
            in_composition.insert(r.args["out"].dump());
        } else if (r.function == "source_to_frame") {
            ++to_window;
            EXPECT_EQ(in_composition.count(r.args["in"].dump()), 1u) << r.args.dump();
        }
    }
    EXPECT_GT(to_window, 64u);
    EXPECT_EQ(rig.GetHost().Trace().Count("layer_to_comp"), to_window);
}

TEST(UI, LayerWindowNeverAsksForTheComposition) {
    Scene s;
    s.shape = 1;
    Rig rig(s);
    PF_Err err = PF_Err_NONE;
    rig.Draw(&err);
    rig.Click(300, 310);
    rig.Drag(HANDLE_OPACITY, 0, 240);
    EXPECT_GT(rig.GetHost().Trace().Count("source_to_frame"), 64u);
    EXPECT_EQ(rig.GetHost().Trace().Count("layer_to_comp"), 0u);
    EXPECT_EQ(rig.GetHost().Trace().Count("comp_to_layer"), 0u);
}

TEST(UI, WildParametersStayDefined) {
    // NaN, infinite and huge values reach every float-to-int step of draw, click and drag.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {nan, inf, -inf, 1e300, -1e300}) {
        Scene s;
        s.shape = 1;
        s.width = v;
        s.height = v;
        s.feather = v;
        s.par = PF_RationalScale{0, 1};
        Rig rig(s);
        PF_Err err = PF_Err_NONE;
        rig.Draw(&err);
        EXPECT_EQ(err, PF_Err_NONE);
        rig.Click(0, 0);
        for (A_intptr_t handle = HANDLE_TOP_LEFT; handle <= HANDLE_COUNT; ++handle) {
            rig.Drag(handle, 1000000, -1000000, &err);
            EXPECT_EQ(err, PF_Err_NONE);
        }
    }
}

}   // namespace
}   // namespace corvelle
