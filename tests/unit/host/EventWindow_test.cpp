// The window model behind the event callbacks, the window size, and the drag session's
// hand-back of the module's drag state.
#include "CaseName.h"
#include "controls/DragSession.h"
#include "controls/EventWindow.h"
#include "core/Host.h"
#include "core/HostError.h"

#include "KT_Corvelle.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>

namespace corvelle {
namespace {

using testing_support::CaseName;

constexpr PF_Fixed kOne = 65536;

PF_FixedPoint Pixels(double x, double y) {
    return PF_FixedPoint{static_cast<PF_Fixed>(x * kOne), static_cast<PF_Fixed>(y * kOne)};
}

WindowOptions Window(WindowKind kind, double zoom, double offX, double offY, double posX = 0.0,
                     double posY = 0.0) {
    WindowOptions o;
    o.kind = kind;
    o.zoom = zoom;
    o.offsetX = offX;
    o.offsetY = offY;
    o.layerPosX = posX;
    o.layerPosY = posY;
    return o;
}

// Maps a layer point the way the module does: through the composition in a composition window.
PF_FixedPoint LayerToWindow(EventWindow& window, PF_FixedPoint pt, PF_Err* err) {
    PF_EventExtra event = window.NewEvent(PF_Event_DRAW);
    *err = PF_Err_NONE;
    if (window.Options().kind == WindowKind::Comp) {
        *err = event.cbs.layer_to_comp(event.cbs.refcon, event.contextH, 0, 30, &pt);
    }
    if (*err == PF_Err_NONE) {
        *err = event.cbs.source_to_frame(event.cbs.refcon, event.contextH, &pt);
    }
    return pt;
}

PF_FixedPoint WindowToLayer(EventWindow& window, PF_FixedPoint pt, PF_Err* err) {
    PF_EventExtra event = window.NewEvent(PF_Event_DRAG);
    *err = event.cbs.frame_to_source(event.cbs.refcon, event.contextH, &pt);
    if (*err == PF_Err_NONE && window.Options().kind == WindowKind::Comp) {
        *err = event.cbs.comp_to_layer(event.cbs.refcon, event.contextH, 0, 30, &pt);
    }
    return pt;
}

struct MapCase {
    const char* name;
    WindowOptions window;
    PF_FixedPoint layer;
    PF_FixedPoint expected;   // worked out by hand from window = (layer [+ pos]) × zoom + offset
};

class WindowMapTest : public testing::TestWithParam<MapCase> {
protected:
    Host m_host{EntryPointFunc};
};

TEST_P(WindowMapTest, CallbacksMapLayerToWindowAndBack) {
    const MapCase& c = GetParam();
    EventWindow window(m_host, c.window, 1920, 1080);
    PF_Err err = PF_Err_NONE;
    const PF_FixedPoint there = LayerToWindow(window, c.layer, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(there.x, c.expected.x);
    EXPECT_EQ(there.y, c.expected.y);
    const PF_FixedPoint back = WindowToLayer(window, there, &err);
    ASSERT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(back.x, c.layer.x);
    EXPECT_EQ(back.y, c.layer.y);
}

INSTANTIATE_TEST_SUITE_P(
    Window, WindowMapTest,
    testing::Values(MapCase{"layer_identity", Window(WindowKind::Layer, 1.0, 0, 0), Pixels(960, 540),
                            Pixels(960, 540)},
                    MapCase{"layer_zoom2_offset", Window(WindowKind::Layer, 2.0, 10, -4), Pixels(100, 50),
                            Pixels(210, 96)},
                    MapCase{"layer_half_zoom_fraction", Window(WindowKind::Layer, 0.5, 0, 0),
                            Pixels(3.5, -7.25), Pixels(1.75, -3.625)},
                    // The layer position moves the layer in the composition, not in a layer window.
                    MapCase{"layer_ignores_layer_pos", Window(WindowKind::Layer, 1.0, 5, 6, 100, 200),
                            Pixels(10, 20), Pixels(15, 26)},
                    MapCase{"comp_identity", Window(WindowKind::Comp, 1.0, 0, 0), Pixels(7, 8), Pixels(7, 8)},
                    MapCase{"comp_pos_zoom_offset", Window(WindowKind::Comp, 0.5, 3, 4, 20, 30),
                            Pixels(100, 50), Pixels(63, 44)},
                    MapCase{"comp_negative_pos", Window(WindowKind::Comp, 2.0, 0, 0, -50, -25),
                            Pixels(60, 30), Pixels(20, 10)}),
    CaseName());

struct RoundCase {
    const char* name;
    double zoom;
    PF_Fixed in;
    PF_Fixed expected;
};

class WindowRoundTest : public testing::TestWithParam<RoundCase> {
protected:
    Host m_host{EntryPointFunc};
};

// Tells apart rounding to nearest (ties away from zero) from truncation and from floor.
TEST_P(WindowRoundTest, RoundsToNearestSixteenSixteen) {
    const RoundCase& c = GetParam();
    EventWindow window(m_host, Window(WindowKind::Layer, c.zoom, 0, 0), 100, 100);
    EXPECT_EQ(window.SourceToFrame(PF_FixedPoint{c.in, 0}).x, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Window, WindowRoundTest,
    testing::Values(RoundCase{"half_up", 0.5, 1, 1}, RoundCase{"half_away_negative", 0.5, -1, -1},
                    RoundCase{"below_half", 0.25, 1, 0}, RoundCase{"above_half", 0.75, 1, 1},
                    RoundCase{"three_halves", 0.5, 3, 2}, RoundCase{"saturates_high", 64.0, INT_MAX, INT_MAX},
                    RoundCase{"saturates_low", 64.0, INT_MIN, INT_MIN}),
    CaseName());

struct SizeCase {
    const char* name;
    WindowOptions window;
    int width;
    int height;
};

class WindowSizeTest : public testing::TestWithParam<SizeCase> {
protected:
    Host m_host{EntryPointFunc};
};

TEST_P(WindowSizeTest, ShowsTheWholeLayerOrComposition) {
    const SizeCase& c = GetParam();
    EventWindow window(m_host, c.window, 1920, 1080);
    EXPECT_EQ(window.Width(), c.width);
    EXPECT_EQ(window.Height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Window, WindowSizeTest,
    testing::Values(SizeCase{"layer_default", Window(WindowKind::Layer, 1.0, 0, 0), 1920, 1080},
                    SizeCase{"layer_half_offset", Window(WindowKind::Layer, 0.5, 10, 20), 970, 560},
                    SizeCase{"layer_rounds_up", Window(WindowKind::Layer, 0.3, 0, 0), 576, 324},
                    SizeCase{"layer_fraction_rounds_up", Window(WindowKind::Layer, 1.0, 0.25, 0), 1921, 1080},
                    SizeCase{"comp_adds_layer_pos", Window(WindowKind::Comp, 1.0, 0, 0, 100, 50), 2020, 1130},
                    SizeCase{"comp_zoom_offset", Window(WindowKind::Comp, 2.0, -40, 8, 10, 10), 3820, 2188}),
    CaseName());

TEST(EventWindowTest, RefusesAnEmptyOrHugeWindow) {
    Host host(EntryPointFunc);
    EXPECT_THROW(EventWindow(host, Window(WindowKind::Layer, 1.0, -1920, 0), 1920, 1080), HostError);
    EXPECT_THROW(EventWindow(host, Window(WindowKind::Layer, 64.0, 0, 0), 1920, 1080), HostError);
    EXPECT_THROW(EventWindow(host, Window(WindowKind::Layer, 0.0, 0, 0), 1920, 1080), HostError);
}

// The library holds the command's range itself: a denormal zoom would make every inverse map
// divide towards infinity, and NaN would make no window at all.
TEST(EventWindowTest, TakesOnlyZoomsInTheCommandsRange) {
    Host host(EntryPointFunc);
    for (const double zoom : {1.0 / 64.0, 1.0, 64.0}) {
        EXPECT_NO_THROW(EventWindow(host, Window(WindowKind::Layer, zoom, 0, 0), 2, 2)) << zoom;
    }
    for (const double zoom :
         {(1.0 / 64.0) - 1e-12, 64.0 + 1e-12, std::numeric_limits<double>::denorm_min(), 0.0, -1.0,
          std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(EventWindow(host, Window(WindowKind::Layer, zoom, 0, 0), 2, 2), HostError) << zoom;
    }
}

TEST(EventWindowTest, ContextTellsTheWindowKind) {
    Host host(EntryPointFunc);
    EventWindow layer(host, Window(WindowKind::Layer, 1.0, 0, 0), 10, 10);
    EventWindow comp(host, Window(WindowKind::Comp, 1.0, 0, 0), 10, 10);
    EXPECT_EQ((*layer.NewEvent(PF_Event_DRAW).contextH)->w_type, PF_Window_LAYER);
    EXPECT_EQ((*comp.NewEvent(PF_Event_DRAW).contextH)->w_type, PF_Window_COMP);
}

TEST(EventWindowTest, CallbacksAreRecordedWithTheirPoints) {
    Host host(EntryPointFunc);
    EventWindow window(host, Window(WindowKind::Comp, 2.0, 1, 1, 3, 4), 10, 10);
    PF_EventExtra event = window.NewEvent(PF_Event_DRAW);
    PF_FixedPoint pt = Pixels(1, 2);
    ASSERT_EQ(event.cbs.layer_to_comp(event.cbs.refcon, event.contextH, 7, 30, &pt), PF_Err_NONE);
    ASSERT_EQ(event.cbs.source_to_frame(event.cbs.refcon, event.contextH, &pt), PF_Err_NONE);
    const auto records = host.Trace().Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].function, "layer_to_comp");
    EXPECT_EQ(records[0].args["curr_time"], 7);
    EXPECT_EQ(records[0].args["in"], nlohmann::json::array({kOne, 2 * kOne}));
    EXPECT_EQ(records[0].args["out"], nlohmann::json::array({4 * kOne, 6 * kOne}));
    EXPECT_EQ(records[1].function, "source_to_frame");
    EXPECT_EQ(records[1].args["out"], nlohmann::json::array({9 * kOne, 13 * kOne}));
}

TEST(EventWindowTest, InjectedFaultFailsTheKthCallAndLeavesThePoint) {
    Host host(EntryPointFunc);
    host.Faults().failNthCall["source_to_frame"] = 2;
    EventWindow window(host, Window(WindowKind::Layer, 2.0, 0, 0), 10, 10);
    PF_EventExtra event = window.NewEvent(PF_Event_DRAW);
    PF_FixedPoint first = Pixels(1, 1);
    PF_FixedPoint second = Pixels(1, 1);
    PF_FixedPoint third = Pixels(1, 1);
    EXPECT_EQ(event.cbs.source_to_frame(event.cbs.refcon, event.contextH, &first), PF_Err_NONE);
    EXPECT_EQ(event.cbs.source_to_frame(event.cbs.refcon, event.contextH, &second),
              host.Faults().callFailureError);
    EXPECT_EQ(event.cbs.source_to_frame(event.cbs.refcon, event.contextH, &third), PF_Err_NONE);
    EXPECT_EQ(first.x, 2 * kOne);
    EXPECT_EQ(second.x, kOne);
    EXPECT_EQ(third.x, 2 * kOne);
}

TEST(EventWindowTest, RefusesAnotherWindowsContextOrNoPoint) {
    Host host(EntryPointFunc);
    EventWindow window(host, Window(WindowKind::Layer, 2.0, 0, 0), 10, 10);
    EventWindow other(host, Window(WindowKind::Layer, 2.0, 0, 0), 10, 10);
    PF_EventExtra event = window.NewEvent(PF_Event_DRAW);
    PF_FixedPoint pt = Pixels(1, 1);
    EXPECT_EQ(event.cbs.source_to_frame(event.cbs.refcon, other.Context(), &pt), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(pt.x, kOne);
    EXPECT_EQ(event.cbs.frame_to_source(event.cbs.refcon, event.contextH, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
}

// A stand-in module for the session's own behaviour: a click at h = 5 grabs handle 9, and
// every drag event counts itself in continue_refcon[1], so the count shows what came back.
PF_Err CountingModule(PF_Cmd cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void* extra) {
    if (cmd != PF_Cmd_EVENT) {
        return PF_Err_NONE;
    }
    auto* event = static_cast<PF_EventExtra*>(extra);
    PF_DoClickEventInfo& click = event->u.do_click;
    if (event->e_type == PF_Event_DO_CLICK && click.screen_point.h == 5) {
        click.continue_refcon[0] = 9;
        click.send_drag = 1;
    } else if (event->e_type == PF_Event_DRAG) {
        click.continue_refcon[1] += 1;
    }
    return PF_Err_NONE;
}

TEST(DragSessionTest, HandsBackTheDragStateAndMarksTheRelease) {
    Host host(CountingModule);
    EventWindow window(host, Window(WindowKind::Layer, 1.0, 0, 0), 10, 10);
    DragSession drag(host, window);
    ASSERT_EQ(drag.Press({5, 5}), PF_Err_NONE);
    EXPECT_EQ(drag.Refcon(), 9);
    EXPECT_TRUE(drag.Dragging());
    ASSERT_EQ(drag.Move({6, 6}), PF_Err_NONE);
    EXPECT_EQ(drag.LastEvent().u.do_click.continue_refcon[0], 9);
    EXPECT_EQ(drag.LastEvent().u.do_click.last_time, 0);
    ASSERT_EQ(drag.Move({7, 7}), PF_Err_NONE);
    ASSERT_EQ(drag.Release({8, 8}), PF_Err_NONE);
    const PF_EventExtra& last = drag.LastEvent();
    EXPECT_EQ(last.e_type, PF_Event_DRAG);
    EXPECT_EQ(last.u.do_click.screen_point.h, 8);
    EXPECT_EQ(last.u.do_click.last_time, 1);
    EXPECT_EQ(last.u.do_click.send_drag, 1);
    EXPECT_EQ(last.u.do_click.continue_refcon[1], 3) << "each drag event saw the previous one's count";
    EXPECT_FALSE(drag.Dragging()) << "the button is up after the release";
    EXPECT_EQ(drag.Refcon(), 0);
}

TEST(DragSessionTest, SendsNoDragEventsAfterAMiss) {
    Host host(CountingModule);
    EventWindow window(host, Window(WindowKind::Layer, 1.0, 0, 0), 10, 10);
    DragSession drag(host, window);
    ASSERT_EQ(drag.Press({1, 1}), PF_Err_NONE);
    EXPECT_FALSE(drag.Dragging());
    ASSERT_EQ(drag.Move({6, 6}), PF_Err_NONE);
    ASSERT_EQ(drag.Release({6, 6}), PF_Err_NONE);
    EXPECT_EQ(drag.LastEvent().e_type, PF_Event_DO_CLICK);
    EXPECT_EQ(drag.LastEvent().u.do_click.continue_refcon[1], 0);
}

}   // namespace
}   // namespace corvelle
