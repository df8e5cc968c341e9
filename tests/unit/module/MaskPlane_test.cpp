// The frame's mask worked out ahead, eight pixels at a time, must be the one-pixel mask bit
// for bit: for shapes of every size and falloff, at the edges of the band, and for records
// holding infinities and NaN, which no parameter check keeps out of the arithmetic.
#include "KT_Corvelle_Mask.h"
#include "KT_Corvelle_MaskPlane.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using corvelle_mask::MaskPlane;

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

/// An ellipse record as a render makes it from these parameters (angle in radians).
CorvelleInfo Ellipse(float width, float height, float feather, A_long falloff, float angle, float ox,
                     float oy) {
    CorvelleInfo info{};
    const float c = (float)std::cos(-(double)angle);
    const float s = (float)std::sin(-(double)angle);
    info.matrix[0][0] = c;
    info.matrix[0][1] = -s;
    info.matrix[0][2] = (oy * s) - (ox * c);
    info.matrix[1][0] = s;
    info.matrix[1][1] = c;
    info.matrix[1][2] = (-ox * s) - (oy * c);
    const float hw = width * 0.5f;
    const float hh = height * 0.5f;
    float f = feather;
    if (f >= hw) {
        f = hw - 1.0f;
    }
    const float fv = f / (hw / hh);
    const float iw = hw - f;
    const float ih = hh - fv;
    info.halfWidth = hw;
    info.halfHeight = hh;
    info.innerHalfWidth = iw;
    info.innerHalfHeight = ih;
    info.feather = f;
    info.isEllipse = 1;
    info.halfWidthSq = hw * hw;
    info.halfHeightSq = hh * hh;
    info.scaleU = 1.0f / info.halfWidthSq;
    info.scaleV = 1.0f / info.halfHeightSq;
    info.outerAB = hw * hh;
    info.innerAB = iw * ih;
    info.innerHalfWidthSq = iw * iw;
    info.innerHalfHeightSq = ih * ih;
    info.invInnerHalfWidthSq = 1.0f / info.innerHalfWidthSq;
    info.invInnerHalfHeightSq = 1.0f / info.innerHalfHeightSq;
    info.falloff = falloff;
    info.opacity = 1.0f;
    return info;
}

/// Points on, just inside and just outside both ellipses along both axes and the diagonals,
/// then random points over the shape and somewhat beyond.
void ShapePoints(const CorvelleInfo& info, std::mt19937& random, std::vector<float>* u,
                 std::vector<float>* v) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float radius : {info.halfWidth, info.innerHalfWidth}) {
        for (float edge : {std::nextafter(radius, 0.0f), radius, std::nextafter(radius, inf)}) {
            for (float sign : {1.0f, -1.0f}) {
                u->push_back(sign * edge);
                v->push_back(0.0f);
                v->push_back(sign * edge * (info.halfHeight / info.halfWidth));
                u->push_back(0.0f);
                u->push_back(sign * edge * 0.70710678f);
                v->push_back(edge * (info.halfHeight / info.halfWidth) * 0.70710678f);
            }
        }
    }
    std::uniform_real_distribution<float> across(-1.3f, 1.3f);
    for (int i = 0; i < 301; ++i) {
        u->push_back(across(random) * info.halfWidth);
        v->push_back(across(random) * info.halfHeight);
    }
}

void ExpectSpansAgree(const CorvelleInfo& info, const std::vector<float>& u, const std::vector<float>& v,
                      const std::string& what) {
    if (!corvelle_mask::HasAvx2()) {
        GTEST_SKIP() << "no AVX2 on this processor";
    }
    // Every length up to two blocks and a tail, so the packed loop and its scalar tail both run.
    for (std::size_t start : {std::size_t{0}, std::size_t{3}}) {
        const std::size_t n = u.size() - start;
        std::vector<float> scalar(n);
        std::vector<float> packed(n);
        corvelle_mask::EllipseMaskSpanScalar(&info, &u[start], &v[start], n, scalar.data());
        corvelle_mask::EllipseMaskSpanAvx2(&info, &u[start], &v[start], n, packed.data());
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(Bits(packed[i]), Bits(scalar[i]))
                << what << " at u " << u[start + i] << " v " << v[start + i] << ": " << packed[i]
                << " against " << scalar[i];
        }
    }
}

constexpr A_long kFalloffs[] = {1, 2, 3, 4, 5, 6, 0, 99};

TEST(MaskSpan, PackedEqualsOnePixelForRandomShapes) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> side(2.0f, 4000.0f);
    std::uniform_real_distribution<float> share(0.0f, 1.2f);
    for (int trial = 0; trial < 60; ++trial) {
        for (A_long falloff : kFalloffs) {
            const float width = side(random);
            const float height = side(random);
            const CorvelleInfo info =
                Ellipse(width, height, share(random) * width * 0.5f, falloff, 0.0f, 0.0f, 0.0f);
            std::vector<float> u;
            std::vector<float> v;
            ShapePoints(info, random, &u, &v);
            ExpectSpansAgree(info, u, v,
                             "falloff " + std::to_string(falloff) + ", " + std::to_string(width) + " x " +
                                 std::to_string(height));
        }
    }
}

// Each field of the record in turn at a value the arithmetic can meet but no sane frame
// makes, with points that are themselves sometimes infinite or NaN.
TEST(MaskSpan, PackedEqualsOnePixelForBrokenRecords) {
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         -std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         0.0f,
                         -0.0f,
                         1e-40f};
    std::mt19937 random(7);
    const CorvelleInfo sane = Ellipse(300.0f, 200.0f, 100.0f, 5, 0.0f, 0.0f, 0.0f);
    std::vector<float> u;
    std::vector<float> v;
    ShapePoints(sane, random, &u, &v);
    for (float value : odd) {
        u.push_back(value);
        v.push_back(10.0f);
        u.push_back(10.0f);
        v.push_back(value);
    }
    float CorvelleInfo::*fields[] = {&CorvelleInfo::scaleU,
                                     &CorvelleInfo::scaleV,
                                     &CorvelleInfo::outerAB,
                                     &CorvelleInfo::innerAB,
                                     &CorvelleInfo::innerHalfWidthSq,
                                     &CorvelleInfo::innerHalfHeightSq,
                                     &CorvelleInfo::invInnerHalfWidthSq,
                                     &CorvelleInfo::invInnerHalfHeightSq,
                                     &CorvelleInfo::halfWidthSq,
                                     &CorvelleInfo::halfHeightSq,
                                     &CorvelleInfo::feather};
    for (A_long falloff : kFalloffs) {
        for (std::size_t f = 0; f < sizeof(fields) / sizeof(fields[0]); ++f) {
            for (float value : odd) {
                CorvelleInfo info = sane;
                info.falloff = falloff;
                info.*fields[f] = value;
                ExpectSpansAgree(info, u, v,
                                 "field " + std::to_string(f) + " = " + std::to_string(value) + ", falloff " +
                                     std::to_string(falloff));
            }
        }
    }
}

struct PlaneCase {
    const char* name;
    float width, height, feather;
    float angleDegrees;
    float originX, originY;
    A_long frameWidth, frameHeight;
};

class Plane : public testing::TestWithParam<PlaneCase> {};

// The plane's shortcuts (shared rows and columns without rotation) against the one-pixel mask.
TEST_P(Plane, EveryPixelIsTheOnePixelMask) {
    const PlaneCase& c = GetParam();
    for (A_long falloff : kFalloffs) {
        const CorvelleInfo info = Ellipse(c.width, c.height, c.feather, falloff,
                                          c.angleDegrees * 0.017453292f, c.originX, c.originY);
        MaskPlane plane;
        if (!plane.Build(info, c.frameWidth, c.frameHeight)) {
            continue;   // the per-pixel path is the reference itself
        }
        for (A_long y = 0; y < c.frameHeight; ++y) {
            for (A_long x = 0; x < c.frameWidth; ++x) {
                ASSERT_TRUE(plane.Covers(x, y));
                ASSERT_EQ(Bits(plane.At(x, y)), Bits(corvelle_mask::MaskAt(&info, x, y)))
                    << "pixel " << x << ", " << y << ", falloff " << falloff;
            }
        }
        EXPECT_FALSE(plane.Covers(c.frameWidth, 0));
        EXPECT_FALSE(plane.Covers(0, c.frameHeight));
        EXPECT_FALSE(plane.Covers(-1, 0));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Plane,
    testing::Values(PlaneCase{"CentredOnAPixel", 120, 80, 30, 0, 60, 40, 121, 81},
                    PlaneCase{"CentredBetweenPixels", 120, 80, 30, 0, 60.5f, 40.5f, 121, 81},
                    PlaneCase{"OffCentreAndClipped", 300, 90, 60, 0, 17.25f, 70, 97, 53},
                    PlaneCase{"Rotated", 120, 80, 30, 20, 50, 40, 101, 83},
                    PlaneCase{"UpsideDown", 120, 80, 30, 180, 50, 40, 101, 83},
                    PlaneCase{"FeatherPastTheCentre", 60, 40, 500, 0, 30, 20, 61, 41},
                    PlaneCase{"OnePixel", 10, 10, 3, 0, 0, 0, 1, 1},
                    PlaneCase{"ZeroSize", 0, 0, 10, 0, 5, 5, 11, 7},
                    PlaneCase{"Huge", 1e30f, 1e30f, 1e29f, 0, 3, 3, 17, 9}),
    [](const testing::TestParamInfo<PlaneCase>& param) { return std::string(param.param.name); });

TEST(MaskPlaneLimits, KeepsThePerPixelPathWhereThePlaneWouldNotPay) {
    MaskPlane plane;
    CorvelleInfo rectangle = Ellipse(100, 100, 20, 1, 0, 50, 50);
    rectangle.isEllipse = 0;
    EXPECT_FALSE(plane.Build(rectangle, 100, 100));
    EXPECT_FALSE(plane.Build(Ellipse(100, 100, 0, 1, 0, 50, 50), 100, 100));
    EXPECT_FALSE(plane.Build(Ellipse(100, 100, 20, 1, 0, 50, 50), 0, 100));
    EXPECT_FALSE(plane.Build(Ellipse(100, 100, 20, 1, 0, 50, 50), 100, -4));
    // Rotated, every pixel needs its own mask: past the limit the plane declines.
    EXPECT_FALSE(plane.Build(Ellipse(100, 100, 20, 1, 0.3f, 50, 50), 4097, 4097));
    EXPECT_TRUE(plane.Empty());
    // Unrotated and centred, a quarter of the frame's masks is all it keeps.
    ASSERT_TRUE(plane.Build(Ellipse(100, 100, 20, 1, 0, 50, 50), 101, 101));
    EXPECT_EQ(plane.ValueCount(), 51u * 51u);
}

}   // namespace
