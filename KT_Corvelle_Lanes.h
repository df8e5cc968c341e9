// The four channels of one pixel in one SSE register. Every operation is the single-precision
// IEEE operation the scalar code does, lane by lane and without contraction, so a blend written
// once for `float` gives the same bits when it runs on four lanes at once.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#define CORVELLE_HAS_LANES 1

namespace corvelle_lanes {

struct Lanes4 {
    __m128 v;
};

/// Lane-wise truth of a comparison: all ones where it holds.
struct LaneMask4 {
    __m128 v;
};

inline __attribute__((always_inline)) Lanes4 operator+(Lanes4 a, Lanes4 b) {
    return {_mm_add_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) Lanes4 operator-(Lanes4 a, Lanes4 b) {
    return {_mm_sub_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) Lanes4 operator*(Lanes4 a, Lanes4 b) {
    return {_mm_mul_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) Lanes4 operator-(float a, Lanes4 b) {
    return {_mm_sub_ps(_mm_set1_ps(a), b.v)};
}
inline __attribute__((always_inline)) Lanes4 operator-(Lanes4 a, float b) {
    return {_mm_sub_ps(a.v, _mm_set1_ps(b))};
}
// Ordered, as the scalar `>` is: a NaN lane compares false.
inline __attribute__((always_inline)) LaneMask4 operator>(Lanes4 a, Lanes4 b) {
    return {_mm_cmpgt_ps(a.v, b.v)};
}
inline __attribute__((always_inline)) Lanes4 Select(LaneMask4 when, Lanes4 yes, Lanes4 no) {
    return {_mm_or_ps(_mm_and_ps(when.v, yes.v), _mm_andnot_ps(when.v, no.v))};
}

}   // namespace corvelle_lanes

#endif
