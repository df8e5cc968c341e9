// The value a keyed parameter has at a frame: at keys, between them and outside them, for each
// kind of value and each way of travelling between keys.
#include <corvelle/keyframes.h>

#include "CaseName.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace corvelle {
namespace {

ParamValue Number(double v) {
    ParamValue p;
    p.number = v;
    return p;
}

ParamValue Point(double x, double y) {
    ParamValue p;
    p.x = x;
    p.y = y;
    return p;
}

ParamValue Rgb(uint8_t r, uint8_t g, uint8_t b) {
    ParamValue p;
    p.color = Color8{r, g, b, 255};
    return p;
}

KeyTrack Track(ParamType type, std::vector<Keyframe> keys) {
    return KeyTrack{"p", type, std::move(keys)};
}

double Ease(double u) {
    return (u * u) * (3.0 - (2.0 * u));
}

struct NumberCase {
    const char* name;
    Interpolation interp;
    double frame;
    double expected;
};

// Keys at frames 10 (value 2) and 30 (value 7.5), then 40 (value -1).
class NumberInterpolationTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberInterpolationTest, FollowsTheFormulaInDouble) {
    const NumberCase& c = GetParam();
    for (corvelle::ParamType type :
         {corvelle::ParamType::FloatSlider, corvelle::ParamType::FixedSlider, corvelle::ParamType::Angle}) {
        const KeyTrack track = Track(
            type, {{10, Number(2.0), c.interp}, {30, Number(7.5), c.interp}, {40, Number(-1.0), c.interp}});
        // Exactly equal: the same operations in the same order, no tolerance.
        EXPECT_EQ(c.expected, Keyframes::ValueAt(track, c.frame).number) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, NumberInterpolationTest,
    ::testing::Values(
        NumberCase{"before_first", Interpolation::Linear, -5, 2.0},
        NumberCase{"at_first", Interpolation::Linear, 10, 2.0},
        NumberCase{"linear_between", Interpolation::Linear, 17, 2.0 + ((7.5 - 2.0) * (7.0 / 20.0))},
        NumberCase{"at_middle", Interpolation::Linear, 30, 7.5},
        NumberCase{"linear_second_span", Interpolation::Linear, 33, 7.5 + ((-1.0 - 7.5) * (3.0 / 10.0))},
        NumberCase{"at_last", Interpolation::Linear, 40, -1.0},
        NumberCase{"after_last", Interpolation::Linear, 1000, -1.0},
        NumberCase{"fractional_frame", Interpolation::Linear, 10.5, 2.0 + ((7.5 - 2.0) * (0.5 / 20.0))},
        NumberCase{"hold_between", Interpolation::Hold, 29.999, 2.0},
        NumberCase{"hold_at_next", Interpolation::Hold, 30, 7.5},
        NumberCase{"ease_between", Interpolation::Ease, 13, 2.0 + ((7.5 - 2.0) * Ease(3.0 / 20.0))},
        NumberCase{"ease_midpoint", Interpolation::Ease, 20, 4.75},
        NumberCase{"ease_at_key", Interpolation::Ease, 30, 7.5}),
    testing_support::CaseName());

// A key's interpolation shapes only the way from it to the next key.
TEST(Interpolation, EachKeyShapesItsOwnSpan) {
    const KeyTrack track = Track(ParamType::FloatSlider, {{0, Number(0), Interpolation::Hold},
                                                          {10, Number(10), Interpolation::Ease},
                                                          {20, Number(20), Interpolation::Linear},
                                                          {30, Number(30), Interpolation::Linear}});
    EXPECT_EQ(0.0, Keyframes::ValueAt(track, 9).number);
    EXPECT_EQ(10.0 + (10.0 * Ease(0.3)), Keyframes::ValueAt(track, 13).number);
    EXPECT_EQ(20.0 + (10.0 * 0.3), Keyframes::ValueAt(track, 23).number);
}

struct PointCase {
    const char* name;
    Interpolation interp;
    double frame;
    double x;
    double y;
};

// From (10, 100) at frame 0 to (30, 20) at frame 4; each coordinate on its own.
class PointInterpolationTest : public ::testing::TestWithParam<PointCase> {};

TEST_P(PointInterpolationTest, MovesEachCoordinateOnItsOwn) {
    const PointCase& c = GetParam();
    const KeyTrack track = Track(corvelle::ParamType::Point,
                                 {{0, Point(10, 100), c.interp}, {4, Point(30, 20), Interpolation::Ease}});
    const ParamValue got = Keyframes::ValueAt(track, c.frame);
    EXPECT_EQ(c.x, got.x);
    EXPECT_EQ(c.y, got.y);
}

INSTANTIATE_TEST_SUITE_P(Keys, PointInterpolationTest,
                         ::testing::Values(PointCase{"before_first", Interpolation::Ease, -3, 10, 100},
                                           PointCase{"at_first", Interpolation::Linear, 0, 10, 100},
                                           PointCase{"linear_between", Interpolation::Linear, 1,
                                                     10.0 + (20.0 * 0.25), 100.0 + (-80.0 * 0.25)},
                                           PointCase{"ease_between", Interpolation::Ease, 1,
                                                     10.0 + (20.0 * Ease(0.25)),
                                                     100.0 + (-80.0 * Ease(0.25))},
                                           PointCase{"hold_between", Interpolation::Hold, 3.5, 10, 100},
                                           PointCase{"at_last", Interpolation::Hold, 4, 30, 20},
                                           PointCase{"after_last", Interpolation::Linear, 9, 30, 20}),
                         testing_support::CaseName());

struct ColorCase {
    const char* name;
    Interpolation interp;
    double frame;
    Color8 expected;
};

// From #000a00 at frame 0 to #ff0b03 at frame 3: channels on 0..255, floor(x + 0.5).
class ColorInterpolationTest : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorInterpolationTest, RoundsEachChannelHalfUp) {
    const ColorCase& c = GetParam();
    const KeyTrack track = Track(corvelle::ParamType::Color,
                                 {{0, Rgb(0, 10, 0), c.interp}, {3, Rgb(255, 11, 3), Interpolation::Linear}});
    const Color8 got = Keyframes::ValueAt(track, c.frame).color;
    EXPECT_EQ(c.expected.red, got.red);
    EXPECT_EQ(c.expected.green, got.green);
    EXPECT_EQ(c.expected.blue, got.blue);
    EXPECT_EQ(255, got.alpha);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ColorInterpolationTest,
    ::testing::Values(
        // 255/3 = 85; green 10 + 1/3 -> 10; blue 1.0 -> 1.
        ColorCase{"linear_third", Interpolation::Linear, 1, Color8{85, 10, 1, 255}},
        // green 10 + 0.5 exactly at frame 1.5 rounds up; red 127.5 up to 128; blue 1.5 up to 2.
        ColorCase{"linear_half", Interpolation::Linear, 1.5, Color8{128, 11, 2, 255}},
        ColorCase{"hold", Interpolation::Hold, 2.9, Color8{0, 10, 0, 255}},
        // ease(0.5) = 0.5, so the same as linear at the midpoint.
        ColorCase{"ease_half", Interpolation::Ease, 1.5, Color8{128, 11, 2, 255}},
        ColorCase{"before", Interpolation::Linear, -1, Color8{0, 10, 0, 255}},
        ColorCase{"after", Interpolation::Linear, 4, Color8{255, 11, 3, 255}}),
    testing_support::CaseName());

// Popups and checkboxes cannot be keyed by the module, but a track of them only ever jumps.
TEST(Interpolation, ChoicesJumpAtTheNextKey) {
    ParamValue one;
    one.choice = 1;
    ParamValue three;
    three.choice = 3;
    const KeyTrack track =
        Track(ParamType::Popup, {{0, one, Interpolation::Linear}, {10, three, Interpolation::Linear}});
    EXPECT_EQ(1, Keyframes::ValueAt(track, 9.9).choice);
    EXPECT_EQ(3, Keyframes::ValueAt(track, 10).choice);
}

struct TimeCase {
    const char* name;
    long frame;
    double fps;
    TimeSpec expected;
};

class TimeOfFrameTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeOfFrameTest, GivesHostTime) {
    const TimeCase& c = GetParam();
    const TimeSpec t = TimeOfFrame(c.frame, c.fps);
    EXPECT_EQ(c.expected.currentTime, t.currentTime);
    EXPECT_EQ(c.expected.timeStep, t.timeStep);
    EXPECT_EQ(c.expected.timeScale, t.timeScale);
}

INSTANTIATE_TEST_SUITE_P(Rates, TimeOfFrameTest,
                         ::testing::Values(TimeCase{"none", 7, 0.0, TimeSpec{7, 1, 30}},
                                           TimeCase{"whole_25", 48, 25.0, TimeSpec{48, 1, 25}},
                                           TimeCase{"ntsc_2997", 3, 29.97, TimeSpec{3003, 1001, 30000}},
                                           TimeCase{"film_23976", 2, 23.976, TimeSpec{2002, 1001, 24000}},
                                           TimeCase{"ntsc_5994", 1, 59.94, TimeSpec{1001, 1001, 60000}},
                                           TimeCase{"half_12_5", 4, 12.5, TimeSpec{8, 2, 25}},
                                           TimeCase{"largest_frame", 2147483647L, 25.0,
                                                    TimeSpec{2147483647, 1, 25}}),
                         testing_support::CaseName());

TEST(TimeOfFrame, RefusesRatesAndTimesNoHostCanHold) {
    for (double fps : {-25.0, 1001.0, std::nan(""), HUGE_VAL, 0.1234567}) {
        EXPECT_THROW(TimeOfFrame(0, fps), Error) << fps;
    }
    EXPECT_THROW(TimeOfFrame(2147483647L, 29.97), Error);
    EXPECT_THROW(TimeOfFrame(-2147483649L, 25.0), Error);
}

}   // namespace
}   // namespace corvelle
