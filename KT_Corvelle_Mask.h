// The shape mask of one pixel, computed one pixel at a time: the reference every faster
// route to the same mask is held equal to.
#pragma once

#include "BlendingModes.h"
#include "KT_Corvelle.h"
#include "KT_Corvelle_Falloff.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define CORVELLE_INLINE inline __attribute__((always_inline))

namespace corvelle_mask {

constexpr A_long FALLOFF_LINEAR = 1;
constexpr A_long FALLOFF_QUADRATIC = 2;
constexpr A_long FALLOFF_CUBIC = 3;
constexpr A_long FALLOFF_GAMMA = 4;
constexpr A_long FALLOFF_GAUSSIAN = 5;
constexpr A_long FALLOFF_EXPONENTIAL = 6;

CORVELLE_INLINE double alphaFunct(const CorvelleInfo* info, double t) {
    switch (info->falloff) {
    case FALLOFF_QUADRATIC: return t * t;
    case FALLOFF_CUBIC: return t * (t * t);
    case FALLOFF_GAMMA: return corvelle_falloff::GammaCurve(t);
    case FALLOFF_GAUSSIAN: return corvelle_falloff::GaussianCurve(t);
    case FALLOFF_EXPONENTIAL: return corvelle_falloff::ExponentialCurve(t);
    case FALLOFF_LINEAR:
    default: return t;
    }
}

// The curve where only its float is needed: the same float, at a fraction of the cost.
CORVELLE_INLINE float alphaFunctFloat(const CorvelleInfo* info, float t) {
    switch (info->falloff) {
    case FALLOFF_GAMMA: return corvelle_falloff::GammaCurveFloat(t);
    case FALLOFF_GAUSSIAN: return corvelle_falloff::GaussianCurveFloat(t);
    case FALLOFF_EXPONENTIAL: return corvelle_falloff::ExponentialCurveFloat(t);
    default: return (float)alphaFunct(info, (double)t);
    }
}

// Each radius is the double quotient of the record's product of half axes by the root of
// its sum, rounded to float. Roots and quotients are correctly rounded in packed form too,
// so the two radii share one root and one division instruction.
CORVELLE_INLINE void BandRadii(const CorvelleInfo* info, float inner_sum, float outer_sum, float* Ri,
                               float* Ro) {
#if defined(__SSE2__)
    const __m128d sums = _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, outer_sum, inner_sum));
    const __m128d products = _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, info->outerAB, info->innerAB));
    const __m128 radii = _mm_cvtpd_ps(_mm_div_pd(products, _mm_sqrt_pd(sums)));
    *Ri = _mm_cvtss_f32(radii);
    *Ro = _mm_cvtss_f32(_mm_shuffle_ps(radii, radii, 1));
#else
    *Ri = (float)((double)info->innerAB / std::sqrt((double)inner_sum));
    *Ro = (float)((double)info->outerAB / std::sqrt((double)outer_sum));
#endif
}

// 0 inside the inner ellipse, 1 on and outside the outer one, the falloff curve of the
// radial position between them. The two tests use the record's reciprocals, so only
// band pixels pay for roots and divisions.
CORVELLE_INLINE float EllipseMask(const CorvelleInfo* info, float u, float v) {
    const float U2 = u * u;
    const float V2 = v * v;
    if (((info->scaleU * U2) + (info->scaleV * V2)) >= 1.0f) {
        return 1.0f;
    }
    if (info->feather == 0.0f) {
        return 0.0f;
    }
    if (((info->invInnerHalfWidthSq * U2) + (info->invInnerHalfHeightSq * V2)) <= 1.0f) {
        return 0.0f;
    }
    const float r = std::sqrt(V2 + U2);
    const float cu = u / r;
    const float sv = v / r;
    const float inner_sum = ((info->innerHalfWidthSq * sv) * sv) + ((info->innerHalfHeightSq * cu) * cu);
    const float outer_sum = ((info->halfWidthSq * sv) * sv) + ((info->halfHeightSq * cu) * cu);
    float Ri;
    float Ro;
    BandRadii(info, inner_sum, outer_sum, &Ri, &Ro);
    const float t = (r - Ri) / (Ro - Ri);
    return alphaFunctFloat(info, t);
}

// Whole shape units: |u| and |v| are truncated before any test, and v is mapped only once
// u is known to be inside. Corners of the band combine both edge falloffs as a length.
CORVELLE_INLINE float RectangleMask(const CorvelleInfo* info, float x, float y) {
    const float u = ((info->matrix[0][0] * x) + (info->matrix[0][1] * y)) + info->matrix[0][2];
    const float au = (float)TruncateToInt32(std::fabs(u));
    if (au >= info->halfWidth) {
        return 1.0f;
    }
    const float v = ((info->matrix[1][0] * x) + (info->matrix[1][1] * y)) + info->matrix[1][2];
    const float av = (float)TruncateToInt32(std::fabs(v));
    if (av >= info->halfHeight) {
        return 1.0f;
    }
    if (info->feather == 0.0f) {
        return 0.0f;
    }
    if (au >= info->innerHalfWidth) {
        const float t1 = info->scaleU * (au - info->innerHalfWidth);
        if (av >= info->innerHalfHeight) {
            // The corner needs both curves in full double precision.
            const double a1 = alphaFunct(info, (double)t1);
            const double a2 = alphaFunct(info, (double)(info->scaleV * (av - info->innerHalfHeight)));
            const double d = std::sqrt((a1 * a1) + (a2 * a2));
            return (d > 1.0) ? 1.0f : (float)d;
        }
        return alphaFunctFloat(info, t1);
    }
    if (av >= info->innerHalfHeight) {
        return alphaFunctFloat(info, info->scaleV * (av - info->innerHalfHeight));
    }
    return 0.0f;
}
// The shape's mask at a pixel: 0 inside the inner shape, 1 outside the outer one.
CORVELLE_INLINE float MaskAt(const CorvelleInfo* info, A_long x, A_long y) {
    const float fx = (float)x;
    const float fy = (float)y;
    if (info->isEllipse) {
        const float u = ((info->matrix[0][0] * fx) + (info->matrix[0][1] * fy)) + info->matrix[0][2];
        const float v = ((info->matrix[1][0] * fx) + (info->matrix[1][1] * fy)) + info->matrix[1][2];
        return EllipseMask(info, u, v);
    }
    return RectangleMask(info, fx, fy);
}

}   // namespace corvelle_mask
