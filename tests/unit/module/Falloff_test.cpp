// The fast float falloff curves against the exact expressions they stand in for.
#include "KT_Corvelle_Falloff.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>

namespace {

using namespace corvelle_falloff;

struct Curve {
    const char* name;
    float (*fast)(float);
    double (*exact)(double);
};

const Curve kCurves[] = {
    {"Gamma", GammaCurveFloat, GammaCurve},
    {"Gaussian", GaussianCurveFloat, GaussianCurve},
    {"Exponential", ExponentialCurveFloat, ExponentialCurve},
};

void PrintTo(const Curve& curve, std::ostream* os) {
    *os << curve.name;
}

std::uint32_t Bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float FromBits(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

bool SameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || Bits(a) == Bits(b);
}

class FalloffCurve : public testing::TestWithParam<Curve> {};

// A stride through every float from 0 to 1: as many tiny values (where the curves cancel
// and the fast path gives way most often) as values near 1.
TEST_P(FalloffCurve, MatchesTheExactExpressionAcrossTheBand) {
    const Curve& curve = GetParam();
    int mismatches = 0;
    for (std::uint32_t bits = 0; bits <= Bits(1.0f); bits += 509) {
        const float t = FromBits(bits);
        if (!SameFloat(curve.fast(t), (float)curve.exact((double)t)) && ++mismatches < 5) {
            ADD_FAILURE() << "t = " << std::hexfloat << t;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Band positions a render gives, evenly spread, where most of a frame's pixels fall.
TEST_P(FalloffCurve, MatchesTheExactExpressionOnAnEvenGrid) {
    const Curve& curve = GetParam();
    for (int i = 0; i <= 1 << 20; ++i) {
        const float t = (float)i / (float)(1 << 20);
        ASSERT_TRUE(SameFloat(curve.fast(t), (float)curve.exact((double)t))) << std::hexfloat << t;
    }
}

// Outside the band the fast path must not guess: rounding and odd records put t there.
TEST_P(FalloffCurve, MatchesTheExactExpressionOutsideTheBand) {
    const Curve& curve = GetParam();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float t : {0.0f, -0.0f, FLT_TRUE_MIN, FLT_MIN, 1.0f, std::nextafter(1.0f, 2.0f), 2.0f, 1e30f,
                          inf, -FLT_TRUE_MIN, -0.5f, -1.0f, -inf, std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_TRUE(SameFloat(curve.fast(t), (float)curve.exact((double)t))) << std::hexfloat << t;
    }
}

// Takes a few minutes: run with --gtest_also_run_disabled_tests after touching the curves.
TEST_P(FalloffCurve, DISABLED_MatchesTheExactExpressionForEveryFloatInTheBand) {
    const Curve& curve = GetParam();
    for (std::uint32_t bits = 0; bits <= Bits(1.0f); ++bits) {
        const float t = FromBits(bits);
        ASSERT_TRUE(SameFloat(curve.fast(t), (float)curve.exact((double)t))) << std::hexfloat << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, FalloffCurve, testing::ValuesIn(kCurves),
                         [](const testing::TestParamInfo<Curve>& p) { return std::string(p.param.name); });

// The shortcut is only as good as the error bound it assumes for its exp; a wrong table
// entry or coefficient shows here long before it could flip a float.
TEST(FastExp, StaysFarInsideTheAssumedBound) {
    double worst = 0.0;
    for (int i = 0; i <= 600000; ++i) {
        const double z = -6.0 * (double)i / 600000.0;
        const double exact = std::exp(z);
        worst = std::max(worst, std::fabs(ExpOfNonPositive(z) - exact) / exact);
    }
    EXPECT_LT(worst, RELATIVE_BOUND / 20.0);
}

// The logarithm's absolute error becomes the relative error of the power, so it is the
// absolute error that must stay far inside the bound, out to the smallest normal float.
TEST(FastLog, StaysFarInsideTheAssumedBound) {
    long double worst = 0.0L;
    for (std::uint32_t bits = Bits(FLT_MIN); bits <= Bits(1.0f); bits += 997) {
        const float t = FromBits(bits);
        worst = std::max(worst, std::fabs((long double)LogOfNormalFloat(t) - std::log((long double)t)));
    }
    EXPECT_LT(worst, (long double)(GAMMA_RELATIVE_BOUND / 20.0));
}

TEST(FastExp, TableHoldsTheSixtyFourthPowersOfTwo) {
    for (int j = 0; j < 64; ++j) {
        const double exact = std::exp2((double)j / 64.0);
        EXPECT_LE(std::fabs(EXP2_SIXTY_FOURTHS[j] - exact), std::ldexp(1.0, -52)) << j;
    }
}

}   // namespace
