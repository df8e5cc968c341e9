// The shape mask of a whole frame, worked out row by row before the host's iteration starts.
#include "KT_Corvelle_MaskPlane.h"

#include "KT_Corvelle_Mask.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#define CORVELLE_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

static_assert(FLT_EVAL_METHOD == 0, "float steps must round to float, not wider");

namespace corvelle_mask {
namespace {

/// Shape coordinate of a pixel along one axis, grouped as MaskAt groups it.
CORVELLE_INLINE float ShapeCoordinate(const float row[3], float fx, float fy) {
    return ((row[0] * fx) + (row[1] * fy)) + row[2];
}

void EllipseMaskSpan(bool packed, const CorvelleInfo* info, const float* u, const float* v, std::size_t n,
                     float* out) {
#if defined(CORVELLE_X86)
    if (packed) {
        EllipseMaskSpanAvx2(info, u, v, n, out);
        return;
    }
#endif
    (void)packed;
    EllipseMaskSpanScalar(info, u, v, n, out);
}

/// The distinct values of `values`, ascending, and where each element finds its own.
void Distinct(const std::vector<float>& values, std::vector<float>* distinct,
              std::vector<std::uint32_t>* place) {
    *distinct = values;
    std::sort(distinct->begin(), distinct->end());
    distinct->erase(std::unique(distinct->begin(), distinct->end()), distinct->end());
    place->resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        (*place)[i] = (std::uint32_t)(std::lower_bound(distinct->begin(), distinct->end(), values[i]) -
                                      distinct->begin());
    }
}

}   // namespace

void EllipseMaskSpanScalar(const CorvelleInfo* info, const float* u, const float* v, std::size_t n,
                           float* out) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = EllipseMask(info, u[i], v[i]);
    }
}

bool MaskPlane::Build(const CorvelleInfo& info, A_long width, A_long height) {
    *this = MaskPlane{};
    if (!info.isEllipse || info.feather == 0.0f || width <= 0 || height <= 0) {
        return false;
    }
    try {
        m_width = width;
        m_height = height;
        if (!BuildSeparable(info)) {
            if ((std::size_t)width * (std::size_t)height > kMaxValues) {
                *this = MaskPlane{};
                return false;
            }
            BuildFull(info);
        }
    } catch (const std::bad_alloc&) {
        *this = MaskPlane{};
        return false;
    }
    return true;
}

// Without rotation u depends on the column alone and v on the row alone (the other term is a
// signed zero, which changes no mask), and the ellipse's mask is even in both: pixels with
// the same |u| and |v| share one mask, so a centred shape needs a quarter of the frame.
// NaN coordinates keep their sign in the result, so those frames go the full way.
bool MaskPlane::BuildSeparable(const CorvelleInfo& info) {
    if (!(info.matrix[0][1] == 0.0f && info.matrix[1][0] == 0.0f)) {
        return false;
    }
    std::vector<float> columnU((std::size_t)m_width);
    for (A_long x = 0; x < m_width; ++x) {
        columnU[(std::size_t)x] = std::fabs(ShapeCoordinate(info.matrix[0], (float)x, 0.0f));
    }
    std::vector<float> rowV((std::size_t)m_height);
    for (A_long y = 0; y < m_height; ++y) {
        rowV[(std::size_t)y] = std::fabs(ShapeCoordinate(info.matrix[1], 0.0f, (float)y));
    }
    const auto isNaN = [](float value) { return std::isnan(value); };
    if (std::any_of(columnU.begin(), columnU.end(), isNaN) || std::any_of(rowV.begin(), rowV.end(), isNaN)) {
        return false;
    }
    std::vector<float> distinctU;
    std::vector<float> distinctV;
    std::vector<std::uint32_t> rowPlace;
    Distinct(columnU, &distinctU, &m_column);
    Distinct(rowV, &distinctV, &rowPlace);
    const std::size_t rowLength = distinctU.size();
    if (rowLength * distinctV.size() > kMaxValues) {
        return false;
    }
    m_values.resize(rowLength * distinctV.size());
    m_rowStart.resize((std::size_t)m_height);
    for (std::size_t y = 0; y < rowPlace.size(); ++y) {
        m_rowStart[y] = (std::size_t)rowPlace[y] * rowLength;
    }
    const bool packed = HasAvx2();
    std::vector<float> sameV(rowLength);
    for (std::size_t row = 0; row < distinctV.size(); ++row) {
        std::fill(sameV.begin(), sameV.end(), distinctV[row]);
        EllipseMaskSpan(packed, &info, distinctU.data(), sameV.data(), rowLength, &m_values[row * rowLength]);
    }
    return true;
}

void MaskPlane::BuildFull(const CorvelleInfo& info) {
    const std::size_t width = (std::size_t)m_width;
    m_values.resize(width * (std::size_t)m_height);
    m_rowStart.resize((std::size_t)m_height);
    m_column.resize(width);
    for (std::size_t x = 0; x < width; ++x) {
        m_column[x] = (std::uint32_t)x;
    }
    const bool packed = HasAvx2();
    std::vector<float> u(width);
    std::vector<float> v(width);
    for (A_long y = 0; y < m_height; ++y) {
        const float fy = (float)y;
        for (std::size_t x = 0; x < width; ++x) {
            u[x] = ShapeCoordinate(info.matrix[0], (float)x, fy);
            v[x] = ShapeCoordinate(info.matrix[1], (float)x, fy);
        }
        m_rowStart[(std::size_t)y] = (std::size_t)y * width;
        EllipseMaskSpan(packed, &info, u.data(), v.data(), width, &m_values[(std::size_t)y * width]);
    }
}

#if defined(CORVELLE_X86)

bool HasAvx2() {
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) {
        return false;
    }
    unsigned xcr0_low = 0;
    unsigned xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    if ((xcr0_low & 6u) != 6u) {   // the system saves both SSE and AVX registers
        return false;
    }
    if (__get_cpuid_max(0, nullptr) < 7) {
        return false;
    }
    __cpuid_count(7, 0, a, b, c, d);
    return (b & bit_AVX2) != 0;
}

// Every step below is one correctly rounded IEEE operation on each lane, in the order and
// the precision of the one-pixel code, so each lane gets that code's bits. Lanes the fast
// curves cannot settle, and lanes whose mask is not a number (its payload depends on which
// operand an instruction keeps), are handed back to the one-pixel code.
namespace {

#define CORVELLE_AVX2 __attribute__((target("avx2"), always_inline)) inline

CORVELLE_AVX2 __m256d Splat(double value) {
    return _mm256_set1_pd(value);
}

// The masked form with an explicit source: the plain one leaves GCC warning about its own
// uninitialised source register.
CORVELLE_AVX2 __m256d Gather4(const double* base, __m128i index) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, index,
                                    _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}

CORVELLE_AVX2 __m256d Negate(__m256d value) {
    return _mm256_xor_pd(value, Splat(-0.0));
}

CORVELLE_AVX2 __m256 Join(__m128 low, __m128 high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

/// ExpOfNonPositive on four lanes.
CORVELLE_AVX2 __m256d Exp4(__m256d z) {
    using namespace corvelle_falloff;
    const __m256d shifted =
        _mm256_add_pd(_mm256_mul_pd(z, Splat(SIXTY_FOUR_OVER_LN_2)), Splat(ROUNDING_SHIFTER));
    const __m128i k = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(_mm256_castpd_si256(shifted), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
    const __m256d kd = _mm256_sub_pd(shifted, Splat(ROUNDING_SHIFTER));
    const __m256d r = _mm256_sub_pd(_mm256_sub_pd(z, _mm256_mul_pd(kd, Splat(LN_2_OVER_64_HIGH))),
                                    _mm256_mul_pd(kd, Splat(LN_2_OVER_64_LOW)));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d q = _mm256_add_pd(
        _mm256_add_pd(Splat(0.5), _mm256_mul_pd(r, Splat(1.0 / 6.0))),
        _mm256_mul_pd(r2, _mm256_add_pd(Splat(1.0 / 24.0), _mm256_mul_pd(r, Splat(1.0 / 120.0)))));
    const __m256d p = _mm256_add_pd(r, _mm256_mul_pd(r2, q));
    const __m128i j = _mm_and_si128(k, _mm_set1_epi32(63));
    const __m128i e = _mm_srai_epi32(_mm_sub_epi32(k, j), 6);
    const __m256d scale = _mm256_castsi256_pd(
        _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm_add_epi32(e, _mm_set1_epi32(1023))), 52));
    const __m256d tj = Gather4(EXP2_SIXTY_FOURTHS, j);
    return _mm256_mul_pd(_mm256_add_pd(tj, _mm256_mul_pd(tj, p)), scale);
}

/// LogOfNormalFloat on four lanes.
CORVELLE_AVX2 __m256d Log4(__m128 t) {
    using namespace corvelle_falloff;
    const __m128i bits = _mm_castps_si128(t);
    const __m128i exponent =
        _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(bits, 23), _mm_set1_epi32(0xff)), _mm_set1_epi32(127));
    const __m128i step = _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(bits, 16), _mm_set1_epi32(127)), 1);
    const __m128i mantissa =
        _mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x7fffff)), _mm_set1_epi32(0x3f800000));
    const __m256d f = _mm256_cvtps_pd(_mm_castsi128_ps(mantissa));
    const double* steps = &LOG_STEPS[0].reciprocal;
    const __m256d reciprocal = Gather4(steps, step);
    const __m256d negated_log = Gather4(steps + 1, step);
    const __m256d r = _mm256_sub_pd(_mm256_mul_pd(f, reciprocal), Splat(1.0));
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d q = _mm256_add_pd(
        _mm256_add_pd(_mm256_add_pd(Splat(-0.5), _mm256_mul_pd(r, Splat(1.0 / 3.0))),
                      _mm256_mul_pd(r2, _mm256_add_pd(Splat(-0.25), _mm256_mul_pd(r, Splat(0.2))))),
        _mm256_mul_pd(_mm256_mul_pd(r2, r2), Splat(-1.0 / 6.0)));
    const __m256d log1p = _mm256_add_pd(r, _mm256_mul_pd(r2, q));
    const __m256d e = _mm256_cvtepi32_pd(exponent);
    return _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(e, Splat(LN_2_LOW)), log1p), negated_log),
                         _mm256_mul_pd(e, Splat(LN_2_HIGH)));
}

/// SettledFloat on four lanes: the floats, and which lanes settled.
CORVELLE_AVX2 __m128 Settle4(__m256d approx, __m256d slack, __m128* settled) {
    const __m128 low = _mm256_cvtpd_ps(_mm256_sub_pd(approx, slack));
    const __m128 high = _mm256_cvtpd_ps(_mm256_add_pd(approx, slack));
    *settled = _mm_cmp_ps(low, high, _CMP_EQ_OQ);
    return low;
}

/// The falloff curve's float on four lanes of t, and which lanes it settled.
CORVELLE_AVX2 __m128 Curve4(A_long falloff, __m128 t, __m128* settled) {
    using namespace corvelle_falloff;
    const __m256d td = _mm256_cvtps_pd(t);
    switch (falloff) {
    case FALLOFF_QUADRATIC:
        *settled = _mm_castsi128_ps(_mm_set1_epi32(-1));
        return _mm256_cvtpd_ps(_mm256_mul_pd(td, td));
    case FALLOFF_CUBIC:
        *settled = _mm_castsi128_ps(_mm_set1_epi32(-1));
        return _mm256_cvtpd_ps(_mm256_mul_pd(td, _mm256_mul_pd(td, td)));
    case FALLOFF_GAMMA: {
        const __m256d y = Exp4(_mm256_mul_pd(Splat(GAMMA_EXPONENT), Log4(t)));
        const __m128 result = Settle4(y, _mm256_mul_pd(y, Splat(GAMMA_RELATIVE_BOUND)), settled);
        const __m128 in_range = _mm_and_ps(_mm_cmp_ps(t, _mm_set1_ps(FLT_MIN), _CMP_GE_OQ),
                                           _mm_cmp_ps(t, _mm_set1_ps(1.0f), _CMP_LE_OQ));
        *settled = _mm_and_ps(*settled, in_range);
        return result;
    }
    case FALLOFF_GAUSSIAN: {
        const __m256d power = _mm256_mul_pd(_mm256_mul_pd(td, td), _mm256_sqrt_pd(td));
        const __m256d y = Exp4(Negate(_mm256_mul_pd(power, Splat(LN_360))));
        const __m128 result =
            Settle4(_mm256_sub_pd(Splat(1.0), y),
                    _mm256_add_pd(_mm256_mul_pd(y, Splat(RELATIVE_BOUND)), Splat(ABSOLUTE_BOUND)), settled);
        const __m128 in_range = _mm_and_ps(_mm_cmp_ps(t, _mm_setzero_ps(), _CMP_GT_OQ),
                                           _mm_cmp_ps(t, _mm_set1_ps(1.0f), _CMP_LE_OQ));
        *settled = _mm_and_ps(*settled, in_range);
        return result;
    }
    case FALLOFF_EXPONENTIAL: {
        const __m256d y = Exp4(Negate(_mm256_mul_pd(td, Splat(LN_2_5))));
        const __m256d approx =
            _mm256_div_pd(_mm256_mul_pd(_mm256_sub_pd(Splat(1.0), y), Splat(2.5)), Splat(1.5));
        const __m256d slack = _mm256_add_pd(
            _mm256_mul_pd(_mm256_mul_pd(Splat(2.0), y), Splat(RELATIVE_BOUND)), Splat(ABSOLUTE_BOUND));
        const __m128 result = Settle4(approx, slack, settled);
        const __m128 in_range = _mm_and_ps(_mm_cmp_ps(t, _mm_setzero_ps(), _CMP_GT_OQ),
                                           _mm_cmp_ps(t, _mm_set1_ps(1.0f), _CMP_LE_OQ));
        *settled = _mm_and_ps(*settled, in_range);
        return result;
    }
    default:   // linear, and anything unknown
        *settled = _mm_castsi128_ps(_mm_set1_epi32(-1));
        return t;
    }
}

/// One radius per lane: the product over the root of the sum, in double, rounded to float.
CORVELLE_AVX2 __m256 Radius8(float product, __m256 sum) {
    const __m256d p = Splat((double)product);
    const __m128 low =
        _mm256_cvtpd_ps(_mm256_div_pd(p, _mm256_sqrt_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(sum)))));
    const __m128 high =
        _mm256_cvtpd_ps(_mm256_div_pd(p, _mm256_sqrt_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(sum, 1)))));
    return Join(low, high);
}

}   // namespace

__attribute__((target("avx2"))) void EllipseMaskSpanAvx2(const CorvelleInfo* info, const float* u,
                                                         const float* v, std::size_t n, float* out) {
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 scale_u = _mm256_set1_ps(info->scaleU);
    const __m256 scale_v = _mm256_set1_ps(info->scaleV);
    const __m256 inv_inner_u = _mm256_set1_ps(info->invInnerHalfWidthSq);
    const __m256 inv_inner_v = _mm256_set1_ps(info->invInnerHalfHeightSq);
    const __m256 inner_u_sq = _mm256_set1_ps(info->innerHalfWidthSq);
    const __m256 inner_v_sq = _mm256_set1_ps(info->innerHalfHeightSq);
    const __m256 outer_u_sq = _mm256_set1_ps(info->halfWidthSq);
    const __m256 outer_v_sq = _mm256_set1_ps(info->halfHeightSq);
    const bool feathered = info->feather != 0.0f;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 U = _mm256_loadu_ps(u + i);
        const __m256 V = _mm256_loadu_ps(v + i);
        const __m256 U2 = _mm256_mul_ps(U, U);
        const __m256 V2 = _mm256_mul_ps(V, V);
        const __m256 outside = _mm256_cmp_ps(
            _mm256_add_ps(_mm256_mul_ps(scale_u, U2), _mm256_mul_ps(scale_v, V2)), one, _CMP_GE_OQ);
        __m256 result = _mm256_and_ps(outside, one);
        if (!feathered) {
            _mm256_storeu_ps(out + i, result);
            continue;
        }
        const __m256 inside = _mm256_cmp_ps(
            _mm256_add_ps(_mm256_mul_ps(inv_inner_u, U2), _mm256_mul_ps(inv_inner_v, V2)), one, _CMP_LE_OQ);
        const int band = ~_mm256_movemask_ps(_mm256_or_ps(outside, inside)) & 0xff;
        if (band == 0) {
            _mm256_storeu_ps(out + i, result);
            continue;
        }
        const __m256 r = _mm256_sqrt_ps(_mm256_add_ps(V2, U2));
        const __m256 cu = _mm256_div_ps(U, r);
        const __m256 sv = _mm256_div_ps(V, r);
        const __m256 inner_sum = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(inner_u_sq, sv), sv),
                                               _mm256_mul_ps(_mm256_mul_ps(inner_v_sq, cu), cu));
        const __m256 outer_sum = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(outer_u_sq, sv), sv),
                                               _mm256_mul_ps(_mm256_mul_ps(outer_v_sq, cu), cu));
        const __m256 Ri = Radius8(info->innerAB, inner_sum);
        const __m256 Ro = Radius8(info->outerAB, outer_sum);
        const __m256 t = _mm256_div_ps(_mm256_sub_ps(r, Ri), _mm256_sub_ps(Ro, Ri));
        __m128 settled_low;
        __m128 settled_high;
        const __m128 m_low = Curve4(info->falloff, _mm256_castps256_ps128(t), &settled_low);
        const __m128 m_high = Curve4(info->falloff, _mm256_extractf128_ps(t, 1), &settled_high);
        const __m256 m = Join(m_low, m_high);
        const __m256 band_lanes =
            _mm256_andnot_ps(_mm256_or_ps(outside, inside), _mm256_castsi256_ps(_mm256_set1_epi32(-1)));
        result = _mm256_blendv_ps(result, m, band_lanes);
        _mm256_storeu_ps(out + i, result);
        const int unsettled = ~_mm256_movemask_ps(Join(settled_low, settled_high)) & band;
        const int not_a_number = _mm256_movemask_ps(_mm256_cmp_ps(result, result, _CMP_UNORD_Q));
        for (int lanes = unsettled | not_a_number; lanes != 0; lanes &= lanes - 1) {
            const int lane = __builtin_ctz((unsigned)lanes);
            out[i + (std::size_t)lane] =
                EllipseMask(info, u[i + (std::size_t)lane], v[i + (std::size_t)lane]);
        }
    }
    EllipseMaskSpanScalar(info, u + i, v + i, n - i, out + i);
}

#else

bool HasAvx2() {
    return false;
}

void EllipseMaskSpanAvx2(const CorvelleInfo* info, const float* u, const float* v, std::size_t n,
                         float* out) {
    EllipseMaskSpanScalar(info, u, v, n, out);
}

#endif

}   // namespace corvelle_mask
