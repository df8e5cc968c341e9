// The exponential falloff curves, rounded to float, without the C library's pow on almost
// every call. A band pixel needs only the float its curve rounds to, and pow's own error
// is far below a float step, so a fast exp with a proven error bound settles the float
// whenever the bound cannot straddle a rounding boundary. The rare call that could is
// answered by the exact expression, so the result is always the float of that expression.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvelle_falloff {

inline double GaussianCurve(double t) { return 1.0 - std::pow(360.0, -std::pow(t, 2.5)); }

inline double ExponentialCurve(double t) { return ((1.0 - std::pow(2.5, -t)) * 2.5) / 1.5; }

// 2^(j/64), each correctly rounded.
constexpr double EXP2_SIXTY_FOURTHS[64] = {
    0x1.0000000000000p+0, 0x1.02c9a3e778061p+0, 0x1.059b0d3158574p+0, 0x1.0874518759bc8p+0,
    0x1.0b5586cf9890fp+0, 0x1.0e3ec32d3d1a2p+0, 0x1.11301d0125b51p+0, 0x1.1429aaea92de0p+0,
    0x1.172b83c7d517bp+0, 0x1.1a35beb6fcb75p+0, 0x1.1d4873168b9aap+0, 0x1.2063b88628cd6p+0,
    0x1.2387a6e756238p+0, 0x1.26b4565e27cddp+0, 0x1.29e9df51fdee1p+0, 0x1.2d285a6e4030bp+0,
    0x1.306fe0a31b715p+0, 0x1.33c08b26416ffp+0, 0x1.371a7373aa9cbp+0, 0x1.3a7db34e59ff7p+0,
    0x1.3dea64c123422p+0, 0x1.4160a21f72e2ap+0, 0x1.44e086061892dp+0, 0x1.486a2b5c13cd0p+0,
    0x1.4bfdad5362a27p+0, 0x1.4f9b2769d2ca7p+0, 0x1.5342b569d4f82p+0, 0x1.56f4736b527dap+0,
    0x1.5ab07dd485429p+0, 0x1.5e76f15ad2148p+0, 0x1.6247eb03a5585p+0, 0x1.6623882552225p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6dfb23c651a2fp+0, 0x1.71f75e8ec5f74p+0, 0x1.75feb564267c9p+0,
    0x1.7a11473eb0187p+0, 0x1.7e2f336cf4e62p+0, 0x1.82589994cce13p+0, 0x1.868d99b4492edp+0,
    0x1.8ace5422aa0dbp+0, 0x1.8f1ae99157736p+0, 0x1.93737b0cdc5e5p+0, 0x1.97d829fde4e50p+0,
    0x1.9c49182a3f090p+0, 0x1.a0c667b5de565p+0, 0x1.a5503b23e255dp+0, 0x1.a9e6b5579fdbfp+0,
    0x1.ae89f995ad3adp+0, 0x1.b33a2b84f15fbp+0, 0x1.b7f76f2fb5e47p+0, 0x1.bcc1e904bc1d2p+0,
    0x1.c199bdd85529cp+0, 0x1.c67f12e57d14bp+0, 0x1.cb720dcef9069p+0, 0x1.d072d4a07897cp+0,
    0x1.d5818dcfba487p+0, 0x1.da9e603db3285p+0, 0x1.dfc97337b9b5fp+0, 0x1.e502ee78b3ff6p+0,
    0x1.ea4afa2a490dap+0, 0x1.efa1bee615a27p+0, 0x1.f50765b6e4540p+0, 0x1.fa7c1819e90d8p+0,
};

constexpr double LN_360 = 0x1.78b5edaefba8cp+2;
constexpr double LN_2_5 = 0x1.d5240f0e0e078p-1;
constexpr double SIXTY_FOUR_OVER_LN_2 = 0x1.71547652b82fep+6;
// ln 2 / 64 in two parts; the high part has 21 trailing zero bits, so k times it is exact.
constexpr double LN_2_OVER_64_HIGH = 0x1.62e42fee00000p-1 / 64.0;
constexpr double LN_2_OVER_64_LOW = 0x1.a39ef35793c76p-33 / 64.0;
constexpr double ROUNDING_SHIFTER = 0x1.8p52;

// A relative bound on |fast exp − pow| that holds with a wide margin: pow within 2 ulps
// on each call (the inner power's error grows by ln 360 in the outer one), the fast
// power and exp within about 30 ulps together; measured worst case is near 13 ulps.
constexpr double RELATIVE_BOUND = 1e-13;
// Rounding of the few double steps after the exp, in both expressions, with room to spare.
constexpr double ABSOLUTE_BOUND = 0x1p-50;

/// exp(z) for z in [-6, 0], within a few ulps: z = (64e + j) ln2/64 + r with |r| ≤ ln2/128,
/// a table for 2^(j/64) and a degree-5 Taylor polynomial for e^r (remainder below 1e-16),
/// evaluated in halves so its steps overlap instead of running one after another.
inline double ExpOfNonPositive(double z) {
    // Adding 1.5 · 2^52 rounds to an integer and leaves it in the low bits of the sum.
    const double shifted = (z * SIXTY_FOUR_OVER_LN_2) + ROUNDING_SHIFTER;
    std::uint64_t shifted_bits;
    std::memcpy(&shifted_bits, &shifted, sizeof(shifted_bits));
    const int k = (int)(std::int32_t)(std::uint32_t)shifted_bits;
    const double kd = shifted - ROUNDING_SHIFTER;
    const double r = (z - (kd * LN_2_OVER_64_HIGH)) - (kd * LN_2_OVER_64_LOW);
    const double r2 = r * r;
    const double q = (0.5 + (r * (1.0 / 6.0))) + (r2 * ((1.0 / 24.0) + (r * (1.0 / 120.0))));
    const double p = r + (r2 * q);
    const int j = k & 63;
    const int e = (k - j) / 64;
    const std::uint64_t scale_bits = (std::uint64_t)(1023 + e) << 52;
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof(scale));
    const double tj = EXP2_SIXTY_FOURTHS[j];
    return (tj + (tj * p)) * scale;
}

/// The float that `approx` rounds to, if every double within `slack` of it rounds to that
/// float too (rounding is monotonic, so the two ends decide); otherwise false.
inline bool SettledFloat(double approx, double slack, float* result) {
    const float low = (float)(approx - slack);
    const float high = (float)(approx + slack);
    *result = low;
    return low == high;
}

/// (float)GaussianCurve(t) for a float t.
inline float GaussianCurveFloat(float t) {
    if (t > 0.0f && t <= 1.0f) {
        const double td = (double)t;
        const double power = (td * td) * std::sqrt(td);   // t·t is exact for a float t
        const double y = ExpOfNonPositive(-(power * LN_360));
        float settled;
        if (SettledFloat(1.0 - y, (y * RELATIVE_BOUND) + ABSOLUTE_BOUND, &settled)) {
            return settled;
        }
    }
    return (float)GaussianCurve((double)t);
}

/// (float)ExponentialCurve(t) for a float t.
inline float ExponentialCurveFloat(float t) {
    if (t > 0.0f && t <= 1.0f) {
        const double y = ExpOfNonPositive(-((double)t * LN_2_5));
        float settled;
        // The scale by 2.5 / 1.5 stretches the exp's error by 5/3; 2 covers it.
        if (SettledFloat(((1.0 - y) * 2.5) / 1.5, (2.0 * y * RELATIVE_BOUND) + ABSOLUTE_BOUND, &settled)) {
            return settled;
        }
    }
    return (float)ExponentialCurve((double)t);
}

}  // namespace corvelle_falloff
