// Coordinate mapping against small recording callbacks: which callbacks a window type
// calls and in what order, the 16.16 conversions at their edges, and the rotation.
#include "utils/UI_methods.h"

#include "CaseName.h"
#include "host/AE_EffectSuites.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using corvelle::testing_support::CaseName;

constexpr PF_Fixed kOne = 65536;
constexpr A_long kMax = std::numeric_limits<A_long>::max();
constexpr A_long kMin = std::numeric_limits<A_long>::min();

// ---- fix() and the defined conversions ------------------------------------------------

struct FixCase {
    const char* name;
    double value;
    PF_Fixed expected;
};

class FixTest : public testing::TestWithParam<FixCase> {};

TEST_P(FixTest, RoundsToNearestTiesAwayFromZeroAndSaturates) {
    EXPECT_EQ(fix(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    UI, FixTest,
    testing::Values(FixCase{"zero", 0.0, 0}, FixCase{"one", 1.0, kOne}, FixCase{"minus_one", -1.0, -kOne},
                    FixCase{"half_unit_up", 0.5 / 65536.0, 1}, FixCase{"half_unit_down", -0.5 / 65536.0, -1},
                    FixCase{"below_half_unit", 0.49 / 65536.0, 0},
                    FixCase{"two_thirds_of_hundred", 200.0 / 3.0, 4369067},   // 4369066.67
                    FixCase{"largest", 32767.99998, kMax}, FixCase{"beyond_range", 40000.0, kMax},
                    FixCase{"below_range", -40000.0, kMin},
                    FixCase{"infinite", std::numeric_limits<double>::infinity(), kMax},
                    FixCase{"minus_infinite", -std::numeric_limits<double>::infinity(), kMin},
                    FixCase{"nan", std::numeric_limits<double>::quiet_NaN(), 0}),
    CaseName());

TEST(UI, TruncLongTruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(TruncLong(-2.9), -2);
    EXPECT_EQ(TruncLong(2.9), 2);
    EXPECT_EQ(TruncLong(-2147483648.9), kMin);
    EXPECT_EQ(TruncLong(2147483647.9), kMax);
    EXPECT_EQ(TruncLong(1e300), kMax);
    EXPECT_EQ(TruncLong(-1e300), kMin);
    EXPECT_EQ(TruncLong(std::nan("")), 0);
}

TEST(UI, WholePixelsToFixedSaturates) {
    EXPECT_EQ(Long2Fixed(-3), -3 * kOne);
    EXPECT_EQ(Long2Fixed(32767), 32767 * kOne);
    EXPECT_EQ(Long2Fixed(32768), kMax);
    EXPECT_EQ(Long2Fixed(-32769), kMin);
}

// ---- Callbacks ------------------------------------------------------------------------

// Composition = layer + (100, 200) pixels; window = source × 2. Each call is logged.
struct Recorder {
    std::vector<std::string> calls;
    std::vector<A_long> times;
};

Recorder* Of(void* refcon) {
    return static_cast<Recorder*>(refcon);
}

std::string Log(const char* name, const PF_FixedPoint* pt) {
    return std::string(name) + "(" + std::to_string(pt->x / kOne) + "," + std::to_string(pt->y / kOne) + ")";
}

PF_Err LayerToComp(void* refcon, PF_ContextH, A_long time, A_long scale, PF_FixedPoint* pt) {
    Of(refcon)->calls.push_back(Log("l2c", pt));
    Of(refcon)->times.insert(Of(refcon)->times.end(), {time, scale});
    pt->x += 100 * kOne;
    pt->y += 200 * kOne;
    return PF_Err_NONE;
}
PF_Err CompToLayer(void* refcon, PF_ContextH, A_long time, A_long scale, PF_FixedPoint* pt) {
    Of(refcon)->calls.push_back(Log("c2l", pt));
    Of(refcon)->times.insert(Of(refcon)->times.end(), {time, scale});
    pt->x -= 100 * kOne;
    pt->y -= 200 * kOne;
    return PF_Err_NONE;
}
PF_Err SourceToFrame(void* refcon, PF_ContextH, PF_FixedPoint* pt) {
    Of(refcon)->calls.push_back(Log("s2f", pt));
    pt->x *= 2;
    pt->y *= 2;
    return PF_Err_NONE;
}
PF_Err FrameToSource(void* refcon, PF_ContextH, PF_FixedPoint* pt) {
    Of(refcon)->calls.push_back(Log("f2s", pt));
    pt->x /= 2;
    pt->y /= 2;
    // An error result is not looked at: the point keeps what the callback left.
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

class MappingTest : public testing::Test {
protected:
    PF_EventExtra Event(PF_WindowType type) {
        m_context.w_type = type;
        PF_EventExtra event{};
        event.contextH = &m_contextPtr;
        event.cbs = PF_EventCallbacks{&m_recorder, LayerToComp, CompToLayer, SourceToFrame, FrameToSource};
        return event;
    }

    PF_InData m_in{};
    PF_Context m_context{};
    PF_ContextPtr m_contextPtr = &m_context;
    Recorder m_recorder;
};

TEST_F(MappingTest, LayerWindowPointSkipsComposition) {
    PF_EventExtra event = Event(PF_Window_LAYER);
    PF_FixedPoint pt = {10 * kOne, 20 * kOne};
    Source2FramePoint(&m_in, &event, &pt);
    EXPECT_EQ(m_recorder.calls, (std::vector<std::string>{"s2f(10,20)"}));
    EXPECT_EQ(pt.x, 20 * kOne);
    EXPECT_EQ(pt.y, 40 * kOne);
}

TEST_F(MappingTest, CompWindowPointGoesThroughCompositionWithTheInputTime) {
    m_in.current_time = 45;
    m_in.time_scale = 30;
    PF_EventExtra event = Event(PF_Window_COMP);
    PF_FixedPoint pt = {10 * kOne, 20 * kOne};
    Source2FramePoint(&m_in, &event, &pt);
    EXPECT_EQ(m_recorder.calls, (std::vector<std::string>{"l2c(10,20)", "s2f(110,220)"}));
    EXPECT_EQ(m_recorder.times, (std::vector<A_long>{45, 30}));
    EXPECT_EQ(pt.x, 220 * kOne);
    EXPECT_EQ(pt.y, 440 * kOne);
}

TEST_F(MappingTest, CompWindowRectMapsAllCornersThroughCompositionFirst) {
    PF_EventExtra event = Event(PF_Window_COMP);
    PF_FixedRect rect = {1 * kOne, 2 * kOne, 3 * kOne, 4 * kOne};
    PF_FixedRectPoints corners{};
    Source2FrameRect(&m_in, &event, &rect, &corners);
    EXPECT_EQ(m_recorder.calls,
              (std::vector<std::string>{"l2c(1,2)", "l2c(3,2)", "l2c(3,4)", "l2c(1,4)", "s2f(101,202)",
                                        "s2f(103,202)", "s2f(103,204)", "s2f(101,204)"}));
    EXPECT_EQ(corners.top_left.x, 202 * kOne);
    EXPECT_EQ(corners.top_left.y, 404 * kOne);
    EXPECT_EQ(corners.top_right.x, 206 * kOne);
    EXPECT_EQ(corners.top_right.y, 404 * kOne);
    EXPECT_EQ(corners.bottom_left.x, 202 * kOne);
    EXPECT_EQ(corners.bottom_left.y, 408 * kOne);
    EXPECT_EQ(corners.bottom_right.x, 206 * kOne);
    EXPECT_EQ(corners.bottom_right.y, 408 * kOne);
    EXPECT_EQ(rect.left, 202 * kOne);
    EXPECT_EQ(rect.top, 404 * kOne);
    EXPECT_EQ(rect.right, 206 * kOne);
    EXPECT_EQ(rect.bottom, 408 * kOne);
}

TEST_F(MappingTest, LayerWindowRectMakesNoCompositionCall) {
    PF_EventExtra event = Event(PF_Window_LAYER);
    PF_FixedRect rect = {1 * kOne, 2 * kOne, 3 * kOne, 4 * kOne};
    PF_FixedRectPoints corners{};
    Source2FrameRect(&m_in, &event, &rect, &corners);
    EXPECT_EQ(m_recorder.calls, (std::vector<std::string>{"s2f(1,2)", "s2f(3,2)", "s2f(3,4)", "s2f(1,4)"}));
}

struct FrameMapCase {
    const char* name;
    FrameToLayerFunc function;
    PF_WindowType window;
    std::vector<std::string> calls;
    PF_FixedPoint fixed;
};

class FrameToLayerTest : public MappingTest, public testing::WithParamInterface<FrameMapCase> {};

TEST_P(FrameToLayerTest, MouseReachesLayerThroughTheRightCallbacks) {
    const FrameMapCase& c = GetParam();
    PF_EventExtra event = Event(c.window);
    PF_Point in = {300, 500};
    PF_Point out = {-1, -1};
    PF_FixedPoint fixed{};
    c.function(&m_in, &event, &in, &out, &fixed);
    EXPECT_EQ(m_recorder.calls, c.calls);
    EXPECT_EQ(fixed.x, c.fixed.x);
    EXPECT_EQ(fixed.y, c.fixed.y);
    EXPECT_EQ(out.h, c.fixed.x >> 16);
    EXPECT_EQ(out.v, c.fixed.y >> 16);
}

INSTANTIATE_TEST_SUITE_P(UI, FrameToLayerTest,
                         testing::Values(FrameMapCase{"CompFrame2Layer",
                                                      CompFrame2Layer,
                                                      PF_Window_COMP,
                                                      {"f2s(300,500)", "c2l(150,250)"},
                                                      {50 * kOne, 50 * kOne}},
                                         FrameMapCase{"LayerFrame2Layer",
                                                      LayerFrame2Layer,
                                                      PF_Window_LAYER,
                                                      {"f2s(300,500)"},
                                                      {150 * kOne, 250 * kOne}},
                                         // The reverse mappings: whole-pixel layer point out to the window.
                                         FrameMapCase{"Layer2CompFrame",
                                                      Layer2CompFrame,
                                                      PF_Window_LAYER,
                                                      {"l2c(300,500)", "s2f(400,700)"},
                                                      {800 * kOne, 1400 * kOne}},
                                         FrameMapCase{"Layer2LayerFrame",
                                                      Layer2LayerFrame,
                                                      PF_Window_COMP,
                                                      {"s2f(300,500)"},
                                                      {600 * kOne, 1000 * kOne}}),
                         CaseName());

TEST_F(MappingTest, NoContextIsNoWindow) {
    PF_EventExtra event{};
    EXPECT_EQ(EventWindowType(&event), -1);
    PF_ContextPtr none = nullptr;
    event.contextH = &none;
    EXPECT_EQ(EventWindowType(&event), -1);
}

// ---- Rotation -------------------------------------------------------------------------

// A basic suite handing out an ANSI suite on the standard library, counting what it does.
struct SuiteCounts {
    int acquired = 0;
    int released = 0;
    int cos_calls = 0;
};
SuiteCounts g_counts;

double CountedCos(double v) {
    ++g_counts.cos_calls;
    return std::cos(v);
}
double PlainSin(double v) {
    return std::sin(v);
}
double PlainFabs(double v) {
    return std::fabs(v);
}
const PF_ANSICallbacksSuite1 kAnsi = {CountedCos, PlainSin, PlainFabs, nullptr, nullptr};

SPErr Acquire(const char* name, int32 version, const void** suite) {
    if (std::string(name) != "PF ANSI Suite" || version != 1) {
        return kSPSuiteNotFoundError;
    }
    ++g_counts.acquired;
    *suite = &kAnsi;
    return kSPNoError;
}
SPErr Release(const char*, int32) {
    ++g_counts.released;
    return kSPNoError;
}
const SPBasicSuite kBasic = {Acquire, Release};

struct RotateCase {
    const char* name;
    A_long appl_id;
    int acquisitions;
};

class RotateTest : public testing::TestWithParam<RotateCase> {
protected:
    void SetUp() override { g_counts = SuiteCounts{}; }
};

// The corner (cx − a, cy − b) turned by a quarter turn lands at (cx + b, cy − a). The float
// quarter turn is a hair past π/2 (cos ≈ −4.37e−8, sin ≈ 1 − 9.6e−16): y comes out a fraction
// of a unit past the exact value, which truncation toward zero turns into one unit.
TEST_P(RotateTest, QuarterTurnMovesTopLeftClockwise) {
    PF_InData in{};
    in.appl_id = GetParam().appl_id;
    in.pica_basicP = &kBasic;
    const PF_FixedPoint centre = {10 * kOne, 20 * kOne};
    PF_FixedRectPoints corners{};
    corners.top_left = {(10 - 100) * kOne, (20 - 50) * kOne};
    corners.bottom_right = {(10 + 100) * kOne, (20 + 50) * kOne};
    RotateFixedRect(&in, &corners, centre, static_cast<float>(3.14159265358979323846 / 2.0));

    EXPECT_EQ(corners.top_left.x, (10 + 50) * kOne);
    EXPECT_EQ(corners.top_left.y, (20 - 100) * kOne + 1);
    EXPECT_EQ(corners.bottom_right.x, (10 - 50) * kOne);   // below zero: truncation rounds up
    EXPECT_EQ(corners.bottom_right.y, (20 + 100) * kOne - 1);
    EXPECT_EQ(g_counts.acquired, GetParam().acquisitions);
    EXPECT_EQ(g_counts.released, GetParam().acquisitions);
}

INSTANTIATE_TEST_SUITE_P(UI, RotateTest,
                         testing::Values(RotateCase{"compositor_uses_ansi_suite", 0x46584354, 1},
                                         RotateCase{"editor_uses_no_suite", PF_APPL_ID_PREMIERE, 0}),
                         CaseName());

TEST(UI, RotationByZeroKeepsEveryCorner) {
    PF_InData in{};
    in.pica_basicP = &kBasic;
    PF_FixedRectPoints corners = {{-7, 3}, {123456, -654321}, {kOne, 2 * kOne}, {-kOne, 5}};
    const PF_FixedRectPoints before = corners;
    RotateFixedRect(&in, &corners, PF_FixedPoint{1000, -1000}, 0.0f);
    EXPECT_EQ(corners.top_left.x, before.top_left.x);
    EXPECT_EQ(corners.top_right.y, before.top_right.y);
    EXPECT_EQ(corners.bottom_left.x, before.bottom_left.x);
    EXPECT_EQ(corners.bottom_right.y, before.bottom_right.y);
}

TEST(UI, RotationFarFromTheCentreSaturatesInsteadOfWrapping) {
    PF_InData in{};
    in.appl_id = PF_APPL_ID_PREMIERE;
    in.pica_basicP = &kBasic;
    PF_FixedRectPoints corners = {{kMin, kMin}, {kMax, kMin}, {0, 0}, {0, 0}};
    RotateFixedRect(&in, &corners, PF_FixedPoint{kMax, kMax}, 0.5f);
    EXPECT_EQ(corners.top_left.y, kMin);
    EXPECT_EQ(corners.top_right.x, kMax);
}

TEST(UI, DrawBotRectTakesOriginAndSize) {
    PF_FixedRect frame = {-kOne / 2, 3 * kOne, kMax, kOne};
    DRAWBOT_RectF32 rect{};
    FixedFrame2DrawBotRect(&frame, &rect);
    EXPECT_EQ(rect.left, -0.5f);
    EXPECT_EQ(rect.top, 3.0f);
    EXPECT_EQ(rect.width, 32768.5f);   // spans more than the 32-bit range of 16.16
    EXPECT_EQ(rect.height, -2.0f);
}

}   // namespace
