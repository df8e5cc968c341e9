// The time a frei0r host passes reaches the module, in a scale that keeps it, and never changes
// the frame.
#include "HostTime.h"
#include "Instance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace corvelle::frei0r {
namespace {

struct TimeCase {
    double seconds;
    bool held;   // whether any scale holds it
    int32_t ticks;
    uint32_t scale;
};

TEST(Frei0rHostTime, KeepsTheFinestScaleThatHoldsTheTime) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const TimeCase cases[] = {
        {0.0, true, 0, 1000000},
        {-0.0, true, 0, 1000000},
        {0.04, true, 40000, 1000000},         // a 25 fps frame from MLT
        {1.0 / 30.0, true, 33333, 1000000},   // rounded to the nearest microsecond
        {0.0000005, true, 1, 1000000},        // halfway: away from zero, as llround
        {-0.0000005, true, -1, 1000000},
        {2147.483647, true, 2147483647, 1000000},   // the last microsecond that fits
        {2147.4836475, true, 214748365, 100000},    // one more half tick needs a coarser scale
        {40.0, true, 40000000, 1000000},            // ffmpeg's milliseconds, read as seconds
        {3600000.0, true, 360000000, 100},          // an hour in ffmpeg's milliseconds
        {-2147483648.0, false, 0, 0},               // beyond even whole seconds
        {2147483647.0, true, 2147483647, 1},
        {-9e18, false, 0, 0},   // ffmpeg re-copying a frame
        {nan, false, 0, 0},
        {inf, false, 0, 0},
        {-inf, false, 0, 0},
    };
    for (const TimeCase& c : cases) {
        const std::optional<TimeSpec> time = HostTimeOf(c.seconds);
        ASSERT_EQ(time.has_value(), c.held) << c.seconds;
        if (!time)
            continue;
        EXPECT_EQ(time->currentTime, c.ticks) << c.seconds;
        EXPECT_EQ(time->timeScale, c.scale) << c.seconds;
        EXPECT_EQ(time->timeStep, 1) << c.seconds;
    }
}

std::vector<uint32_t> Pattern(std::size_t pixels) {
    std::vector<uint32_t> in(pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        in[i] = static_cast<uint32_t>((i * 2654435761u) ^ (i << 9));
    return in;
}

// Needs CORVELLE_MODULE: the module must load.
TEST(Frei0rInstanceTime, EachFramesTimeReachesTheModuleAndAnUnusableOneKeepsThePrevious) {
    constexpr int kWidth = 40, kHeight = 24;
    Instance instance(kWidth, kHeight, "", kWidth * kHeight);
    const std::vector<uint32_t> in = Pattern(kWidth * kHeight);
    std::vector<uint32_t> first(in.size()), out(in.size());
    instance.Update(0.0, in.data(), first.data());
    ASSERT_NE(first, in) << "the module did not load";

    struct Step {
        double time;
        TimeSpec expected;
    };
    const Step steps[] = {
        {1.5, {1500000, 1, 1000000}},     {std::numeric_limits<double>::quiet_NaN(), {1500000, 1, 1000000}},
        {80.0, {80000000, 1, 1000000}},   {-9e18, {80000000, 1, 1000000}},
        {7200000.0, {720000000, 1, 100}},
    };
    for (const Step& step : steps) {
        instance.Update(step.time, in.data(), out.data());
        const TimeSpec got = instance.Time();
        EXPECT_EQ(got.currentTime, step.expected.currentTime) << step.time;
        EXPECT_EQ(got.timeStep, step.expected.timeStep) << step.time;
        EXPECT_EQ(got.timeScale, step.expected.timeScale) << step.time;
        EXPECT_EQ(out, first) << step.time;
    }
}

}   // namespace
}   // namespace corvelle::frei0r
