// The falloff curves that need the C library's pow, rounded to float, without pow on
// almost every call. A band pixel needs only the float its curve rounds to, and pow's own error
// is far below a float step, so a fast exp with a proven error bound settles the float
// whenever the bound cannot straddle a rounding boundary. The rare call that could is
// answered by the exact expression, so the result is always the float of that expression.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace corvelle_falloff {

inline double GammaCurve(double t) {
    return std::pow(t, 0.454);
}

inline double GaussianCurve(double t) {
    return 1.0 - std::pow(360.0, -std::pow(t, 2.5));
}

inline double ExponentialCurve(double t) {
    return ((1.0 - std::pow(2.5, -t)) * 2.5) / 1.5;
}

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

// For ln f with f in [1, 2): c near the reciprocal of the middle of each of 128 equal
// parts, with 21 significant bits so that f·c is exact, and −ln c correctly rounded.
struct LogStep {
    double reciprocal;
    double negatedLog;
};

constexpr LogStep LOG_STEPS[128] = {
    {0x1.fe02000000000p-1, 0x1.fefeaa2b11bc0p-9}, {0x1.fa11d00000000p-1, 0x1.7dc319f812808p-7},
    {0x1.f631100000000p-1, 0x1.3ce99a346b391p-6}, {0x1.f25f600000000p-1, 0x1.b9fc8e7af9b2ap-6},
    {0x1.ee9c800000000p-1, 0x1.1b0d90923d990p-5}, {0x1.eae8000000000p-1, 0x1.58a63afc8f4d5p-5},
    {0x1.e741b00000000p-1, 0x1.95c7d1ec8ecbcp-5}, {0x1.e3a9100000000p-1, 0x1.d27739adb1b92p-5},
    {0x1.e01e000000000p-1, 0x1.075993598e4f1p-4}, {0x1.dca0200000000p-1, 0x1.253f4ff0a14cbp-4},
    {0x1.d92f200000000p-1, 0x1.42eddeea647a5p-4}, {0x1.d5cad00000000p-1, 0x1.6065451375a33p-4},
    {0x1.d272d00000000p-1, 0x1.7da73457b17c8p-4}, {0x1.cf26e00000000p-1, 0x1.9ab45762038c1p-4},
    {0x1.cbe6e00000000p-1, 0x1.b78c47bb0f46ep-4}, {0x1.c8b2600000000p-1, 0x1.d4317066cb872p-4},
    {0x1.c589500000000p-1, 0x1.f0a2f18116406p-4}, {0x1.c26b500000000p-1, 0x1.0671616ca5a76p-3},
    {0x1.bf58400000000p-1, 0x1.14785346742c5p-3}, {0x1.bc4fd00000000p-1, 0x1.22670ed0a5e23p-3},
    {0x1.b951e00000000p-1, 0x1.303d7e0e4806fp-3}, {0x1.b65e300000000p-1, 0x1.3dfc22cecc66ep-3},
    {0x1.b374800000000p-1, 0x1.4ba38539a57c9p-3}, {0x1.b094b00000000p-1, 0x1.59339c598215fp-3},
    {0x1.adbe800000000p-1, 0x1.66acfa272b2f5p-3}, {0x1.aaf1d00000000p-1, 0x1.740f9d9403870p-3},
    {0x1.a82e600000000p-1, 0x1.815c229435a43p-3}, {0x1.a574100000000p-1, 0x1.8e92902886d46p-3},
    {0x1.a2c2b00000000p-1, 0x1.9bb33e27e00cap-3}, {0x1.a01a000000000p-1, 0x1.a8bed7c882f59p-3},
    {0x1.9d79f00000000p-1, 0x1.b5b52128fb5d9p-3}, {0x1.9ae2500000000p-1, 0x1.c2967e98c18eep-3},
    {0x1.9852f00000000p-1, 0x1.cf6359209c5eep-3}, {0x1.95cbb00000000p-1, 0x1.dc1bcdcabec8bp-3},
    {0x1.934c600000000p-1, 0x1.e8c04daaa60c8p-3}, {0x1.90d4f00000000p-1, 0x1.f550ab24b7b58p-3},
    {0x1.8e65200000000p-1, 0x1.00e6d81ad5329p-2}, {0x1.8bfcf00000000p-1, 0x1.071b715cd5c60p-2},
    {0x1.899c100000000p-1, 0x1.0d46b3d9ab750p-2}, {0x1.8742800000000p-1, 0x1.136865293a9a2p-2},
    {0x1.84f0100000000p-1, 0x1.1980c8bd4243cp-2}, {0x1.82a4a00000000p-1, 0x1.1f8ffa248a2f3p-2},
    {0x1.8060200000000p-1, 0x1.2595ebcdf79c1p-2}, {0x1.7e22500000000p-1, 0x1.2b93114b89e98p-2},
    {0x1.7beb400000000p-1, 0x1.31870a1544431p-2}, {0x1.79baa00000000p-1, 0x1.3772786bfdaf5p-2},
    {0x1.7790800000000p-1, 0x1.3d54fd5c1f722p-2}, {0x1.756cb00000000p-1, 0x1.432ee8004e8f5p-2},
    {0x1.734f100000000p-1, 0x1.49005de400a9ep-2}, {0x1.7137800000000p-1, 0x1.4ec986260053cp-2},
    {0x1.6f26000000000p-1, 0x1.548a303add283p-2}, {0x1.6d1a600000000p-1, 0x1.5a42b1cf4d03dp-2},
    {0x1.6b14900000000p-1, 0x1.5ff308ea793dbp-2}, {0x1.6914700000000p-1, 0x1.659b61903e2cap-2},
    {0x1.6719f00000000p-1, 0x1.6b3bbbc3594f7p-2}, {0x1.6525000000000p-1, 0x1.70d41827895fep-2},
    {0x1.6335700000000p-1, 0x1.7664d4439dd1ap-2}, {0x1.614b300000000p-1, 0x1.7bedf3837b288p-2},
    {0x1.5f66400000000p-1, 0x1.816f4b5a0d54ap-2}, {0x1.5d86800000000p-1, 0x1.86e90ea330c92p-2},
    {0x1.5babd00000000p-1, 0x1.8c5b71e58b56cp-2}, {0x1.59d6200000000p-1, 0x1.91c67bf45a84dp-2},
    {0x1.5805600000000p-1, 0x1.972a345135159p-2}, {0x1.5639800000000p-1, 0x1.9c86a32dc09b5p-2},
    {0x1.5472600000000p-1, 0x1.a1dc018d5b9c3p-2}, {0x1.52aff00000000p-1, 0x1.a72a59c6bdc02p-2},
    {0x1.50f2300000000p-1, 0x1.ac7186458b129p-2}, {0x1.4f38f00000000p-1, 0x1.b1b1f3cbdff24p-2},
    {0x1.4d84400000000p-1, 0x1.b6eb4d53cf496p-2}, {0x1.4bd3f00000000p-1, 0x1.bc1e0210dad62p-2},
    {0x1.4a28000000000p-1, 0x1.c149ef115f227p-2}, {0x1.4880500000000p-1, 0x1.c66f54dff7050p-2},
    {0x1.46dce00000000p-1, 0x1.cb8e1184d7b9cp-2}, {0x1.453da00000000p-1, 0x1.d0a6352721ea6p-2},
    {0x1.43a2700000000p-1, 0x1.d5b8034e2c73dp-2}, {0x1.420b500000000p-1, 0x1.dac35b82c59c8p-2},
    {0x1.4078300000000p-1, 0x1.dfc850306d665p-2}, {0x1.3ee8f00000000p-1, 0x1.e4c727e68786ap-2},
    {0x1.3d5da00000000p-1, 0x1.e9bf9019865d4p-2}, {0x1.3bd6100000000p-1, 0x1.eeb204840de70p-2},
    {0x1.3a52400000000p-1, 0x1.f39e674811f64p-2}, {0x1.38d2300000000p-1, 0x1.f8849a4fe9f69p-2},
    {0x1.3755c00000000p-1, 0x1.fd64e88f61626p-2}, {0x1.35dce00000000p-1, 0x1.011fb4f260110p-1},
    {0x1.3467a00000000p-1, 0x1.0389e65ce6465p-1}, {0x1.32f5d00000000p-1, 0x1.05f149e2645abp-1},
    {0x1.3187700000000p-1, 0x1.0855d1d4b4669p-1}, {0x1.301c800000000p-1, 0x1.0ab7706ce1523p-1},
    {0x1.2eb4f00000000p-1, 0x1.0d1632db9d843p-1}, {0x1.2d50a00000000p-1, 0x1.0f7241e9b497dp-1},
    {0x1.2befa00000000p-1, 0x1.11cb75587cf44p-1}, {0x1.2a91d00000000p-1, 0x1.1421f6a243f67p-1},
    {0x1.2937200000000p-1, 0x1.1675d49aba794p-1}, {0x1.27dfa00000000p-1, 0x1.18c6e71f5cf9cp-1},
    {0x1.268b300000000p-1, 0x1.1b1558e7da57fp-1}, {0x1.2539d00000000p-1, 0x1.1d611db6772fep-1},
    {0x1.23eb800000000p-1, 0x1.1faa293870b5dp-1}, {0x1.22a0100000000p-1, 0x1.21f0c3965bf26p-1},
    {0x1.2157a00000000p-1, 0x1.2434a8d483c52p-1}, {0x1.2012000000000p-1, 0x1.26762213430f0p-1},
    {0x1.1ecf400000000p-1, 0x1.28b5079f60839p-1}, {0x1.1d8f500000000p-1, 0x1.2af16a92642c4p-1},
    {0x1.1c52300000000p-1, 0x1.2d2b3fa2edc9ep-1}, {0x1.1b17c00000000p-1, 0x1.2f62b5550976ep-1},
    {0x1.19e0100000000p-1, 0x1.3197a3ea7fe8dp-1}, {0x1.18ab100000000p-1, 0x1.33ca1d7328cbap-1},
    {0x1.1778a00000000p-1, 0x1.35fa51bd36ec1p-1}, {0x1.1648d00000000p-1, 0x1.3828193587adap-1},
    {0x1.151ba00000000p-1, 0x1.3a536947ebfbdp-1}, {0x1.13f0f00000000p-1, 0x1.3c7c72af734cbp-1},
    {0x1.12c8c00000000p-1, 0x1.3ea32b76b3250p-1}, {0x1.11a3000000000p-1, 0x1.40c7a7880dd0dp-1},
    {0x1.107fc00000000p-1, 0x1.42e9bf1df81afp-1}, {0x1.0f5ee00000000p-1, 0x1.4509a4733bb0cp-1},
    {0x1.0e40600000000p-1, 0x1.47274e133ac47p-1}, {0x1.0d24400000000p-1, 0x1.4942b27a2fdacp-1},
    {0x1.0c0a800000000p-1, 0x1.4b5bc8156e5bdp-1}, {0x1.0af2f00000000p-1, 0x1.4d72e1539ffeep-1},
    {0x1.09ddc00000000p-1, 0x1.4f879935028b7p-1}, {0x1.08cac00000000p-1, 0x1.519a42cba359dp-1},
    {0x1.07b9f00000000p-1, 0x1.53aad56b99be3p-1}, {0x1.06ab600000000p-1, 0x1.55b9292b40e19p-1},
    {0x1.059ef00000000p-1, 0x1.57c573836f3b3p-1}, {0x1.0494a00000000p-1, 0x1.59cfabffae921p-1},
    {0x1.038c700000000p-1, 0x1.5bd7ca1e71db3p-1}, {0x1.0286500000000p-1, 0x1.5ddde50149924p-1},
    {0x1.0182400000000p-1, 0x1.5fe1f46d189cfp-1}, {0x1.0080400000000p-1, 0x1.61e3f01a46467p-1},
};

constexpr double GAMMA_EXPONENT = 0.454;
constexpr double LN_360 = 0x1.78b5edaefba8cp+2;
constexpr double LN_2_5 = 0x1.d5240f0e0e078p-1;
constexpr double SIXTY_FOUR_OVER_LN_2 = 0x1.71547652b82fep+6;
// ln 2 / 64 in two parts; the high part has 21 trailing zero bits, so k times it is exact.
constexpr double LN_2_HIGH = 0x1.62e42fee00000p-1;
constexpr double LN_2_LOW = 0x1.a39ef35793c76p-33;
constexpr double LN_2_OVER_64_HIGH = LN_2_HIGH / 64.0;
constexpr double LN_2_OVER_64_LOW = LN_2_LOW / 64.0;
constexpr double ROUNDING_SHIFTER = 0x1.8p52;

// A relative bound on |fast exp − pow| that holds with a wide margin: pow within 2 ulps
// on each call (the inner power's error grows by ln 360 in the outer one), the fast
// power and exp within about 30 ulps together; measured worst case is near 13 ulps.
constexpr double RELATIVE_BOUND = 1e-13;
// Gamma goes through a logarithm of up to 87 in size, whose few ulps grow in the exp.
constexpr double GAMMA_RELATIVE_BOUND = 2e-13;
// Rounding of the few double steps after the exp, in both expressions, with room to spare.
constexpr double ABSOLUTE_BOUND = 0x1p-50;

/// ln t for a normal positive float t, within a few ulps of the result (plus far less than
/// one of ln 2): t = 2^E f, ln t = E ln 2 − ln c + log1p(f c − 1) with |f c − 1| < 2^-8,
/// and a degree-6 series for log1p (remainder below 2e-18).
inline double LogOfNormalFloat(float t) {
    std::uint32_t bits;
    std::memcpy(&bits, &t, sizeof(bits));
    const int exponent = (int)((bits >> 23) & 0xffu) - 127;
    const LogStep& step = LOG_STEPS[(bits >> 16) & 127u];
    const std::uint32_t mantissa_bits = (bits & 0x7fffffu) | 0x3f800000u;
    float f;
    std::memcpy(&f, &mantissa_bits, sizeof(f));
    const double r = ((double)f * step.reciprocal) - 1.0;   // exact: 45 bits, then Sterbenz
    const double r2 = r * r;
    const double q = ((-0.5 + (r * (1.0 / 3.0))) + (r2 * (-0.25 + (r * 0.2)))) + ((r2 * r2) * (-1.0 / 6.0));
    const double log1p = r + (r2 * q);
    const double e = (double)exponent;
    // Smallest terms first: only the last sum rounds at the size of the result.
    return (((e * LN_2_LOW) + log1p) + step.negatedLog) + (e * LN_2_HIGH);
}

/// exp(z) for z in [-700, 0], within a few ulps: z = (64e + j) ln2/64 + r with |r| ≤ ln2/128,
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

/// (float)GammaCurve(t) for a float t.
inline float GammaCurveFloat(float t) {
    if (t >= FLT_MIN && t <= 1.0f) {
        const double y = ExpOfNonPositive(GAMMA_EXPONENT * LogOfNormalFloat(t));
        float settled;
        if (SettledFloat(y, y * GAMMA_RELATIVE_BOUND, &settled)) {
            return settled;
        }
    }
    return (float)GammaCurve((double)t);
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

}   // namespace corvelle_falloff
