// The ratings' kernels: the six actions of a state in lanes, alone or beside a training step.
#include "learn/network_avx2.h"
#include "learn/network_kernels.h"

#include <algorithm>

namespace quorvel::avx2 {

using namespace kernels;

namespace {

// The action entries (24..28) of each lane: the first vector holds actions 0..3, the second
// actions 4, 5, 4, 5 (the repeats keep its spare lanes' values like the real ones).
QUORVEL_AVX2 inline __m256d actionEntry(int half, int entry) {
    alignas(32) static constexpr double entries[2][actionInputs][4] = {
        {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}},
        {{1, 0, 1, 0}, {0, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}},
    };
    return _mm256_load_pd(entries[half][entry]);
}

// A rating's layers, with the actions in the lanes. The first layer: actions 0..3 of unit j in
// vector j and actions 4 and 5 of units 2i and 2i + 1 side by side in vector 15 + i (the
// last one's second half repeats unit 14); the second layer likewise: actions 0..3 of unit k
// in vector k, actions 4 and 5 of units 2q and 2q + 1 in vector 5 + q.
constexpr int ratingFirstPacked = hidden1Units + (hidden1Units + 1) / 2;
constexpr int ratingSecond = hidden2Units + RatingWeights::secondPairs;

// Unit j's actions 4, 5, 4, 5 from the vector it shares with its neighbour.
QUORVEL_AVX2 inline __m256d pairedActions(const __m256d* paired, int j) {
    return j % 2 == 0 ? _mm256_permute4x64_pd(paired[j / 2], 0x44)
                      : _mm256_permute4x64_pd(paired[j / 2], 0xee);
}

// Unit j's first-layer sums of actions 0..3 (lower) and 4, 5, 4, 5 (upper) from the state's
// part of its sum. An action sets one travel and one steering entry to 1 and the others to 0.
// With finite weights (Finite) the products of the zeros are zeros, which change a sum's sign
// at most when it is zero, and the sigmoid gives 0.5 for either zero: adding the two set
// entries' weights, travel first, gives the same outputs as all five products.
template <bool Finite>
QUORVEL_AVX2 inline void unitSums(const RatingWeights& rw, double stateSum, int j, __m256d& lower,
                                  __m256d& upper) {
    if constexpr (Finite) {
        const __m256d withTravel =
            _mm256_add_pd(_mm256_set1_pd(stateSum), _mm256_load_pd(rw.travel[j]));
        lower = _mm256_add_pd(withTravel, _mm256_load_pd(rw.steering[j]));
        upper = _mm256_add_pd(withTravel, _mm256_load_pd(rw.steering[j] + 4));
    } else {
        __m256d* halves[2] = {&lower, &upper};
        for (int half = 0; half < 2; ++half) {
            __m256d s = _mm256_set1_pd(stateSum);
            for (int e = 0; e < actionInputs; ++e) {
                s = addProduct(s, _mm256_broadcast_sd(&rw.columns.first[stateInputs + e][j]),
                               actionEntry(half, e));
            }
            *halves[half] = s;
        }
    }
}

// The first layer's sums of the six actions, in the sigmoids' layout: the state's part of each
// unit's sum once, then each action's part, units 2i and 2i + 1 at a time (the last pair's
// second unit repeats the first).
template <bool Finite>
QUORVEL_AVX2 inline void placeRatingFirst(const RatingWeights& rw, const double* sums,
                                          __m256d* h1) {
    for (int i = 0; i < (hidden1Units + 1) / 2; ++i) {
        __m256d upper[2];
        for (int half = 0; half < 2; ++half) {
            const int j = std::min(2 * i + half, hidden1Units - 1);
            unitSums<Finite>(rw, sums[j], j, h1[j], upper[half]);
        }
        h1[hidden1Units + i] = _mm256_permute2f128_pd(upper[0], upper[1], 0x20);
    }
}

QUORVEL_AVX2 inline void ratingFirstSums(const RatingWeights& rw, const double* state,
                                         __m256d* h1) {
    const Columns& c = rw.columns;
    __m256d stateSums[firstGroups];
    const double* const states[1] = {state};
    columnSums<stateInputs, firstGroups>(c.first, c.first[networkInputs], states, stateSums);
    alignas(32) double sums[Columns::firstLanes];
    for (int g = 0; g < firstGroups; ++g) {
        _mm256_store_pd(sums + 4 * g, stateSums[g]);
    }
    if (rw.actionFinite) {
        placeRatingFirst<true>(rw, sums, h1);
    } else {
        placeRatingFirst<false>(rw, sums, h1);
    }
}

QUORVEL_AVX2 inline void ratingSecondSums(const RatingWeights& rw, const __m256d* h1, __m256d* h2) {
    const Columns& c = rw.columns;
    constexpr int pairs = RatingWeights::secondPairs;
    __m256d acc[ratingSecond]; // local, as in columnSums, so that no sum is stored each step
    for (int k = 0; k < hidden2Units; ++k) {
        acc[k] = _mm256_broadcast_sd(&c.secondRows[k][hidden1Units]);
    }
    for (int q = 0; q < pairs; ++q) {
        acc[hidden2Units + q] = _mm256_load_pd(rw.pairs[q][hidden1Units]);
    }
    for (int j = 0; j < hidden1Units; ++j) {
        for (int k = 0; k < hidden2Units; ++k) {
            acc[k] = addProduct(acc[k], _mm256_broadcast_sd(&c.secondRows[k][j]), h1[j]);
        }
        const __m256d h = pairedActions(h1 + hidden1Units, j);
        for (int q = 0; q < pairs; ++q) {
            acc[hidden2Units + q] =
                addProduct(acc[hidden2Units + q], _mm256_load_pd(rw.pairs[q][j]), h);
        }
    }
    for (int k = 0; k < ratingSecond; ++k) {
        h2[k] = acc[k];
    }
}

QUORVEL_AVX2 inline void ratingOutputSums(const Columns& c, const __m256d* h2, __m256d* value) {
    value[0] = value[1] = _mm256_broadcast_sd(&c.output[hidden2Units]);
    for (int k = 0; k < hidden2Units; ++k) {
        const __m256d w = _mm256_broadcast_sd(&c.output[k]);
        value[0] = addProduct(value[0], w, h2[k]);
        value[1] = addProduct(value[1], w, pairedActions(h2 + hidden2Units, k));
    }
}

QUORVEL_AVX2 inline void storeRatings(const __m256d* value, double* ratings) {
    alignas(32) double last[4];
    _mm256_store_pd(last, value[1]);
    _mm256_storeu_pd(ratings, value[0]);
    ratings[4] = last[0];
    ratings[5] = last[1];
}

template <ExpKind Kind>
QUORVEL_AVX2 void rateKernel(const RatingWeights& rw, const double* state, double* ratings) {
    const Columns& c = rw.columns;
    __m256d h1[ratingFirstPacked];
    ratingFirstSums(rw, state, h1);
    sigmoids<Kind>(h1);
    __m256d h2[ratingSecond];
    ratingSecondSums(rw, h1, h2);
    sigmoids<Kind>(h2);
    __m256d value[2];
    ratingOutputSums(c, h2, value);
    sigmoids<Kind>(value);
    storeRatings(value, ratings);
}

// The logistic sigmoid of eight floats, within roughSigmoidError of the real one: the input
// held to [-80, 80] (which moves the result by under 1e-34; infinities too, but not NaN),
// exp(-y) as 2^n exp(g) with |g| <= ln 2 / 2 (ln 2 in two parts, the first with n's product
// exact) and exp(g) by its Taylor polynomial to g^7 (the rest is below 7e-9 of it), then one
// division.
QUORVEL_AVX2 inline __m256 roughSigmoid(__m256 y) {
    // A NaN stays one: min and max give their second operand when one is NaN.
    const __m256 t =
        _mm256_max_ps(_mm256_set1_ps(-80),
                      _mm256_min_ps(_mm256_set1_ps(80), _mm256_xor_ps(y, _mm256_set1_ps(-0.0f))));
    const __m256 n = _mm256_round_ps(_mm256_mul_ps(t, _mm256_set1_ps(0x1.715476p+0f)),
                                     _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    __m256 g = _mm256_fnmadd_ps(n, _mm256_set1_ps(0x1.62e4p-1f), t);
    g = _mm256_fnmadd_ps(n, _mm256_set1_ps(0x1.7f7d1cp-20f), g);
    __m256 p = _mm256_set1_ps(1.0f / 5040);
    for (const float c : {1.0f / 720, 1.0f / 120, 1.0f / 24, 1.0f / 6, 0.5f, 1.0f, 1.0f}) {
        p = _mm256_fmadd_ps(p, g, _mm256_set1_ps(c));
    }
    // 2^n, n in -116..116, from its exponent bits.
    const __m256i scale =
        _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(n), _mm256_set1_epi32(127)), 23);
    const __m256 one = _mm256_set1_ps(1);
    return _mm256_div_ps(one, _mm256_add_ps(one, _mm256_mul_ps(p, _mm256_castsi256_ps(scale))));
}

// roughSigmoid of every lane of N vectors of doubles, in place, two vectors at a time: each
// sum rounded to a float, its sigmoid widened back.
template <int N> QUORVEL_AVX2 inline void roughSigmoids(__m256d (&s)[N]) {
    for (int i = 0; i < N; i += 2) {
        const __m128 low = _mm256_cvtpd_ps(s[i]);
        const __m128 high = i + 1 < N ? _mm256_cvtpd_ps(s[i + 1]) : low;
        const __m256 h = roughSigmoid(_mm256_set_m128(high, low));
        s[i] = _mm256_cvtps_pd(_mm256_castps256_ps128(h));
        if (i + 1 < N) {
            s[i + 1] = _mm256_cvtps_pd(_mm256_extractf128_ps(h, 1));
        }
    }
}

// A training step towards target and a rating of another network, layer by layer side by
// side: each layer's sigmoids of both are taken together, so that the step's narrow layers,
// which wait on their sums and sigmoids, overlap with the rating's wide ones. Every value
// comes from the same operations as in trainKernel and rateKernel.
template <ExpKind Kind>
QUORVEL_AVX2 void trainWhileRatingKernel(Columns& c, const double* x, double target, Scratch& s,
                                         const RatingWeights& rw, const double* state,
                                         double* ratings) {
    const Columns& r = rw.columns;
    const double* const xs[1] = {x};
    __m256d first[firstGroups + ratingFirstPacked]; // the step's units, then the rating's
    columnSums<networkInputs, firstGroups>(c.first, c.first[networkInputs], xs, first);
    ratingFirstSums(rw, state, first + firstGroups);
    sigmoids<Kind>(first);
    for (int g = 0; g < firstGroups; ++g) {
        _mm256_store_pd(s.h1 + 4 * g, first[g]);
    }

    const double* const h1s[1] = {s.h1};
    __m256d second[secondGroups + ratingSecond];
    columnSums<hidden1Units, secondGroups>(c.second, c.second[hidden1Units], h1s, second);
    ratingSecondSums(rw, first + firstGroups, second + secondGroups);
    sigmoids<Kind>(second);
    for (int q = 0; q < secondGroups; ++q) {
        _mm256_store_pd(s.h2 + 4 * q, second[q]);
    }

    __m256d value[3];
    value[0] = _mm256_set1_pd(outputSum(c, s.h2));
    ratingOutputSums(r, second + secondGroups, value + 1);
    sigmoids<Kind>(value);
    s.y = _mm256_cvtsd_f64(value[0]);
    storeRatings(value + 1, ratings);
    backwardAndUpdate(c, x, target, s);
}

} // namespace

void rateActions(const RatingWeights& weights, const double* state, double* ratings, ExpKind exp) {
    withExp(exp, [&](auto kind) { rateKernel<kind()>(weights, state, ratings); });
}

// rateKernel with roughSigmoids: the same sums in the same order, of the rough outputs from
// the second layer on.
QUORVEL_AVX2 void rateRoughly(const RatingWeights& rw, const double* state, double* ratings) {
    const Columns& c = rw.columns;
    __m256d h1[ratingFirstPacked];
    ratingFirstSums(rw, state, h1);
    roughSigmoids(h1);
    __m256d h2[ratingSecond];
    ratingSecondSums(rw, h1, h2);
    roughSigmoids(h2);
    __m256d value[2];
    ratingOutputSums(c, h2, value);
    roughSigmoids(value);
    storeRatings(value, ratings);
}

QUORVEL_AVX2 void roughSigmoids(const float* in, float* out) {
    _mm256_storeu_ps(out, roughSigmoid(_mm256_loadu_ps(in)));
}

double roughRatingBound(const QNetwork& n) {
    constexpr double floatUnit = 0x1p-24; // a float's relative rounding
    constexpr double doubleUnit = 0x1p-53;
    // How far a rough output lies from the exact path's, where both sums agree: the rough
    // sigmoid's own error, the sum's rounding to a float (by floatUnit |s| at most, which
    // moves the sigmoid by under floatUnit / 4, as |s| sigma'(s) < 0.23), and the exact
    // path's (within 4 doubleUnit of the real sigmoid).
    constexpr double ownError = roughSigmoidError + floatUnit / 4 + 4 * doubleUnit;
    // How far a sum of m outputs, each within `e` of the exact path's and all in [0, 1], lies
    // from the exact path's sum: the weights' magnitudes times e, and both paths' roundings
    // of m + 1 additions.
    auto sumError = [](const double* row, int m, double e) {
        double weights = 0;
        for (int j = 0; j < m; ++j) {
            weights += std::fabs(row[j]);
        }
        const double rounding = 2 * (m + 1) * doubleUnit / (1 - (m + 1) * doubleUnit);
        return (weights * e + rounding * (std::fabs(row[m]) + weights)) * (1 + 4 * m * doubleUnit);
    };
    double second = 0; // the second layer's sums
    bool finite = true;
    for (int k = 0; k < hidden2Units; ++k) {
        const double e = sumError(n.hidden2.weights[k], hidden1Units, ownError);
        finite = finite && std::isfinite(e);
        second = std::max(second, e);
    }
    // A sigmoid moves by a quarter of its input's move at most.
    const double secondOutputs = second / 4 + ownError;
    const double output = sumError(n.output.weights[0], hidden2Units, secondOutputs);
    return finite && std::isfinite(output) ? 1.01 * (output / 4 + ownError) : HUGE_VAL;
}

void trainWhileRating(Columns& columns, const double* x, double target, Scratch& scratch,
                      const RatingWeights& weights, const double* state, double* ratings,
                      ExpKind exp) {
    withExp(exp, [&](auto kind) {
        trainWhileRatingKernel<kind()>(columns, x, target, scratch, weights, state, ratings);
    });
}

} // namespace quorvel::avx2
