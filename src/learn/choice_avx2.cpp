#include "learn/choice_avx2.h"

#include "common/vector_units.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

namespace quorvel::avx2 {

namespace {

constexpr int actions = 6;

// ln x for x in [2^-20, 1]: x = m 2^k with m in [sqrt 1/2, sqrt 2], and ln m = 2 atanh s,
// s = (m - 1) / (m + 1), |s| < 0.1716, by 2s (1 + z/3 + z^2/5 + z^3/7) with z = s^2; the
// terms left out add up to less than 3.1e-8.
QUORVEL_AVX2 inline __m256d logOf(__m256d x) {
    const __m256i bits = _mm256_castpd_si256(x);
    const __m256d one = _mm256_set1_pd(1);
    __m256d m = _mm256_castsi256_pd(_mm256_or_si256(
        _mm256_and_si256(bits, _mm256_set1_epi64x(0x000fffffffffffff)), _mm256_castpd_si256(one)));
    // The biased exponent as a double: its bits put under the mantissa of 2^52.
    __m256d k =
        _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(bits, 52),
                                                          _mm256_set1_epi64x(0x4330000000000000))),
                      _mm256_set1_pd(0x1p52 + 1023));
    const __m256d high = _mm256_cmp_pd(m, _mm256_set1_pd(M_SQRT2), _CMP_GT_OQ);
    m = _mm256_blendv_pd(m, _mm256_mul_pd(m, _mm256_set1_pd(0.5)), high);
    k = _mm256_add_pd(k, _mm256_and_pd(high, one));
    const __m256d s = _mm256_div_pd(_mm256_sub_pd(m, one), _mm256_add_pd(m, one));
    const __m256d z = _mm256_mul_pd(s, s);
    __m256d p = _mm256_fmadd_pd(z, _mm256_set1_pd(1.0 / 7), _mm256_set1_pd(1.0 / 5));
    p = _mm256_fmadd_pd(p, z, _mm256_set1_pd(1.0 / 3));
    p = _mm256_fmadd_pd(p, z, one);
    return _mm256_fmadd_pd(k, _mm256_set1_pd(M_LN2), _mm256_mul_pd(_mm256_add_pd(s, s), p));
}

// exp t for t in [-700, 0]: 2^n exp g with n = round(t / ln 2), |g| <= 0.347, and exp g by
// its Taylor polynomial to g^7 (the rest is below 7.4e-9 of it).
QUORVEL_AVX2 inline __m256d expOf(__m256d t) {
    const __m256d shift = _mm256_set1_pd(0x1.8p52); // rounds to an integer in the low bits
    const __m256d nShifted = _mm256_fmadd_pd(t, _mm256_set1_pd(M_LOG2E), shift);
    const __m256d n = _mm256_sub_pd(nShifted, shift);
    const __m256d g = _mm256_fnmadd_pd(n, _mm256_set1_pd(M_LN2), t);
    __m256d p = _mm256_set1_pd(1.0 / 5040);
    const double inverseFactorials[] = {1.0 / 720, 1.0 / 120, 1.0 / 24, 1.0 / 6, 0.5, 1, 1};
    for (const double c : inverseFactorials) {
        p = _mm256_fmadd_pd(p, g, _mm256_set1_pd(c));
    }
    // 2^n from n's bits: the low bits of nShifted hold n in two's complement.
    const __m256i scale = _mm256_slli_epi64(
        _mm256_add_epi64(_mm256_castpd_si256(nShifted), _mm256_set1_epi64x(1023)), 52);
    return _mm256_mul_pd(p, _mm256_castsi256_pd(scale));
}

// x^e, lane by lane, for x in [lowestRating, 1] and e in [0, highestExponent].
QUORVEL_AVX2 inline __m256d powersOf(__m256d x, __m256d e) {
    return expOf(_mm256_mul_pd(e, logOf(x)));
}

} // namespace

QUORVEL_AVX2 void approximatePowers(const double* x, double e, double* powers) {
    const __m256d exponent = _mm256_set1_pd(e);
    // The two spare lanes repeat a value in range.
    const __m256d low = _mm256_loadu_pd(x);
    const __m256d high = _mm256_set_pd(x[0], x[0], x[5], x[4]);
    _mm256_storeu_pd(powers, powersOf(low, exponent));
    alignas(32) double rest[4];
    _mm256_store_pd(rest, powersOf(high, exponent));
    powers[4] = rest[0];
    powers[5] = rest[1];
}

QUORVEL_AVX2 int chooseWithin(const double* ratings, double bound, double floor, double exponent,
                              int draw, int maxDraw) {
    if (!(floor >= 0 && floor <= 1e300 && exponent >= 0 && exponent <= highestExponent &&
          bound >= 0)) {
        return -1;
    }
    // Each weight's extremes, from the power of the rating as given (approximatePowers'): a
    // rating r within b of x has r^e >= x^e (1 - b/x)^e >= x^e (1 - max(e, 1) b/x), and
    // r^e <= x^e exp(e b/x) <= x^e (1 + y + y^2) for y = e b/x <= 1. Actions 0..3 in one
    // vector, 4, 5, 4, 5 in the other.
    const __m256d rating[2] = {_mm256_loadu_pd(ratings),
                               _mm256_set_pd(ratings[5], ratings[4], ratings[5], ratings[4])};
    const __m256d b = _mm256_set1_pd(bound);
    const __m256d e = _mm256_set1_pd(exponent);
    const __m256d one = _mm256_set1_pd(1);
    const __m256d floors = _mm256_set1_pd(floor);
    alignas(32) double low[8], high[8];
    int outside = 0;
    for (int half = 0; half < 2; ++half) {
        const __m256d x = rating[half];
        const __m256d q = _mm256_div_pd(b, x);
        const __m256d y = _mm256_mul_pd(e, q);
        const __m256d inside =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(_mm256_sub_pd(x, b),
                                                      _mm256_set1_pd(lowestRating), _CMP_GE_OQ),
                                        _mm256_cmp_pd(x, one, _CMP_LE_OQ)),
                          _mm256_cmp_pd(y, _mm256_set1_pd(1.0 / 16), _CMP_LE_OQ));
        outside |= _mm256_movemask_pd(inside) ^ 0xf;
        const __m256d power = powersOf(x, e);
        const __m256d least =
            _mm256_sub_pd(one, _mm256_mul_pd(_mm256_set1_pd(std::max(exponent, 1.0)), q));
        const __m256d most = _mm256_add_pd(_mm256_add_pd(one, y), _mm256_mul_pd(y, y));
        _mm256_store_pd(low + 4 * half, _mm256_add_pd(_mm256_mul_pd(power, least), floors));
        _mm256_store_pd(high + 4 * half, _mm256_add_pd(_mm256_mul_pd(power, most), floors));
    }
    if (outside != 0) {
        return -1;
    }
    // The point lies above cumulative weight i where d (rest) > (1 - d) (up to i), for
    // d = draw / maxDraw and "rest" the weights after i: least so with the weights up to i at
    // their largest and the rest at their smallest, most so the other way round.
    const double d = draw * (1.0 / maxDraw);
    double upToLow = 0, upToHigh = 0, restLow = 0, restHigh = 0;
    for (int i = 0; i < actions; ++i) {
        restLow += low[i];
        restHigh += high[i];
    }
    const double margin = 1e-4 * restHigh;
    int chosen = 0;
    for (int i = 0; i < actions; ++i) {
        upToLow += low[i];
        upToHigh += high[i];
        restLow -= low[i];
        restHigh -= high[i];
        const double lowest = d * std::max(restLow, 0.0) - (1 - d) * upToHigh;
        const double highest = d * restHigh - (1 - d) * upToLow;
        if (lowest > margin) {
            ++chosen; // above it, whatever the ratings
        } else if (!(highest < -margin)) {
            return -1;
        }
    }
    return chosen == actions ? -1 : chosen;
}

} // namespace quorvel::avx2
