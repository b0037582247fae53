#include "learn/network_avx2.h"

#include "learn/avx2_exp.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace quorvel::avx2 {

namespace {

constexpr int firstGroups = Columns::firstLanes / 4;
constexpr int secondGroups = Columns::secondLanes / 4;
static_assert(4 * firstGroups >= hidden1Units && 4 * (firstGroups - 1) < hidden1Units);
static_assert(4 * secondGroups >= hidden2Units && 4 * (secondGroups - 1) < hidden2Units);
// hidden2's rows (15 weights and the bias) fill the first layer's lanes exactly.
static_assert(hidden1Units + 1 == Columns::firstLanes);

// The sigmoid of every lane of N vectors in place, by the exp of Kind.
template <ExpKind Kind, int N> QUORVEL_AVX2 inline void sigmoids(__m256d (&s)[N]) {
    if constexpr (Kind == ExpKind::scalar) {
        const __m256d one = _mm256_set1_pd(1);
        for (int i = 0; i < N; ++i) {
            alignas(32) double e[4];
            _mm256_store_pd(e, _mm256_xor_pd(s[i], _mm256_set1_pd(-0.0)));
            for (double& value : e) {
                value = std::exp(value);
            }
            s[i] = _mm256_div_pd(one, _mm256_add_pd(one, _mm256_load_pd(e)));
        }
    } else {
        sigmoidInPlace<Kind == ExpKind::fused>(s);
    }
}

// s + w * x, rounded after the multiply and after the add, as the scalar sums are.
QUORVEL_AVX2 inline __m256d addProduct(__m256d s, __m256d w, __m256d x) {
    return _mm256_add_pd(s, _mm256_mul_pd(w, x));
}

// w - c * x, rounded after the multiply and after the subtraction: a weight's update.
QUORVEL_AVX2 inline __m256d subtractProduct(__m256d w, __m256d c, __m256d x) {
    return _mm256_sub_pd(w, _mm256_mul_pd(c, x));
}

// The sums of Groups vectors of units over inputs 0..Count-1 of M input vectors at once: each
// starts at its unit's bias (the row `bias` of the columns) and adds weight times input in
// input order; unit 4g + k of input vector m in lane k of sums[m * Groups + g].
template <int Count, int Groups, int Lanes, int M>
QUORVEL_AVX2 inline void columnSums(const double (*columns)[Lanes], const double* bias,
                                    const double* const (&xs)[M], __m256d* sums) {
    for (int g = 0; g < Groups; ++g) {
        const __m256d b = _mm256_load_pd(bias + 4 * g);
        for (int m = 0; m < M; ++m) {
            sums[m * Groups + g] = b;
        }
    }
    for (int i = 0; i < Count; ++i) {
        __m256d x[M];
        for (int m = 0; m < M; ++m) {
            x[m] = _mm256_broadcast_sd(xs[m] + i);
        }
        for (int g = 0; g < Groups; ++g) {
            const __m256d w = _mm256_load_pd(columns[i] + 4 * g);
            for (int m = 0; m < M; ++m) {
                sums[m * Groups + g] = addProduct(sums[m * Groups + g], w, x[m]);
            }
        }
    }
}

// Lane 3 made a copy of lane 2.
QUORVEL_AVX2 inline __m256d lastLaneAsThird(__m256d v) {
    return _mm256_blend_pd(v, _mm256_permute_pd(v, 0x0), 0x8);
}

// Forward passes of M input vectors through the same weights, interleaved: values[m] is
// evaluate(xs[m]), and `last` holds the layers' outputs of the pass of xs[M - 1]. Each sum
// starts at its unit's bias and adds weight times input in input order. The padding units
// repeat the last unit, whose weights they carry, so their lanes stay in exp's fast path.
template <ExpKind Kind, int M>
QUORVEL_AVX2 void forwardAll(const Columns& c, const double* const (&xs)[M], double (&values)[M],
                             Scratch& last) {
    __m256d first[M * firstGroups];
    columnSums<networkInputs, firstGroups>(c.first, c.first[networkInputs], xs, first);
    sigmoids<Kind>(first);
    alignas(32) double earlier[M][Columns::firstLanes];
    double* h1[M];
    for (int m = 0; m < M; ++m) {
        h1[m] = m == M - 1 ? last.h1 : earlier[m];
        for (int g = 0; g < firstGroups; ++g) {
            _mm256_store_pd(h1[m] + 4 * g, first[m * firstGroups + g]);
        }
    }

    const double* h1s[M];
    for (int m = 0; m < M; ++m) {
        h1s[m] = h1[m];
    }
    __m256d second[M * secondGroups];
    columnSums<hidden1Units, secondGroups>(c.second, c.second[hidden1Units], h1s, second);
    sigmoids<Kind>(second);
    alignas(32) double h2[M][Columns::secondLanes];
    for (int m = 0; m < M; ++m) {
        for (int q = 0; q < secondGroups; ++q) {
            _mm256_store_pd(h2[m] + 4 * q, second[m * secondGroups + q]);
        }
    }

    // One output unit: each input's sum is scalar, their sigmoids share a vector.
    alignas(32) double sums[4] = {};
    for (int m = 0; m < M; ++m) {
        double s = c.output[hidden2Units];
        for (int j = 0; j < hidden2Units; ++j) {
            s += c.output[j] * h2[m][j];
        }
        sums[m] = s;
    }
    for (int m = M; m < 4; ++m) {
        sums[m] = sums[0];
    }
    __m256d value[1] = {_mm256_load_pd(sums)};
    sigmoids<Kind>(value);
    _mm256_store_pd(sums, value[0]);
    for (int m = 0; m < M; ++m) {
        values[m] = sums[m];
    }
    for (int j = 0; j < Columns::secondLanes; ++j) {
        last.h2[j] = h2[M - 1][j];
    }
    last.y = values[M - 1];
}

// The rest of a training step towards target once forwardAll has left x's pass in `s`.
QUORVEL_AVX2 void backwardAndUpdate(Columns& c, const double* x, double target, Scratch& s) {
    // Every delta and input error from the weights as they stand before this step.
    const double y = s.y;
    const double e = y - target;
    const double deltaOut = y * (1 - y) * e;
    s.dOut = deltaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        s.e2[j] = deltaOut * c.output[j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        s.d2[j] = s.h2[j] * (1 - s.h2[j]) * s.e2[j];
    }
    // The first layer's input errors and deltas with its units in lanes; the last lane reads
    // hidden2's bias and is thrown away.
    const __m256d one = _mm256_set1_pd(1);
    const __m256d eta = _mm256_set1_pd(c.learningRate);
    __m256d scaled1[firstGroups]; // eta times each unit's delta
    for (int g = 0; g < firstGroups; ++g) {
        __m256d sum = _mm256_setzero_pd();
        for (int j = 0; j < hidden2Units; ++j) {
            sum = addProduct(sum, _mm256_load_pd(c.secondRows[j] + 4 * g), _mm256_set1_pd(s.d2[j]));
        }
        const __m256d h = _mm256_load_pd(s.h1 + 4 * g);
        const __m256d delta = _mm256_mul_pd(_mm256_mul_pd(h, _mm256_sub_pd(one, h)), sum);
        _mm256_store_pd(s.e1 + 4 * g, sum);
        _mm256_store_pd(s.d1 + 4 * g, delta);
        scaled1[g] = _mm256_mul_pd(eta, delta);
    }
    // The padding unit moves as the unit it repeats.
    scaled1[firstGroups - 1] = lastLaneAsThird(scaled1[firstGroups - 1]);

    const double etaOut = c.learningRate * deltaOut;
    c.output[hidden2Units] -= etaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        c.output[j] -= etaOut * s.h2[j];
    }

    // hidden2 by rows, its bias the last lane (a bias moves by eta times its delta alone)...
    alignas(32) double scaled2[Columns::secondLanes];
    for (int j = 0; j < Columns::secondLanes; ++j) {
        scaled2[j] = c.learningRate * s.d2[j < hidden2Units ? j : hidden2Units - 1];
    }
    __m256d h1[firstGroups];
    for (int g = 0; g < firstGroups; ++g) {
        h1[g] = _mm256_load_pd(s.h1 + 4 * g);
    }
    h1[firstGroups - 1] = _mm256_blend_pd(h1[firstGroups - 1], one, 0x8);
    for (int j = 0; j < hidden2Units; ++j) {
        const __m256d scale = _mm256_set1_pd(scaled2[j]);
        for (int g = 0; g < firstGroups; ++g) {
            double* w = c.secondRows[j] + 4 * g;
            _mm256_store_pd(w, subtractProduct(_mm256_load_pd(w), scale, h1[g]));
        }
    }
    // ... and by columns, the same values.
    __m256d scale2[secondGroups];
    for (int q = 0; q < secondGroups; ++q) {
        scale2[q] = _mm256_load_pd(scaled2 + 4 * q);
    }
    for (int k = 0; k < hidden1Units; ++k) {
        const __m256d h = _mm256_broadcast_sd(s.h1 + k);
        for (int q = 0; q < secondGroups; ++q) {
            double* w = c.second[k] + 4 * q;
            _mm256_store_pd(w, subtractProduct(_mm256_load_pd(w), scale2[q], h));
        }
    }
    for (int q = 0; q < secondGroups; ++q) {
        double* w = c.second[hidden1Units] + 4 * q;
        _mm256_store_pd(w, _mm256_sub_pd(_mm256_load_pd(w), scale2[q]));
    }

    for (int i = 0; i < networkInputs; ++i) {
        const __m256d input = _mm256_broadcast_sd(x + i);
        for (int g = 0; g < firstGroups; ++g) {
            double* w = c.first[i] + 4 * g;
            _mm256_store_pd(w, subtractProduct(_mm256_load_pd(w), scaled1[g], input));
        }
    }
    for (int g = 0; g < firstGroups; ++g) {
        double* w = c.first[networkInputs] + 4 * g;
        _mm256_store_pd(w, _mm256_sub_pd(_mm256_load_pd(w), scaled1[g]));
    }
}

template <ExpKind Kind> QUORVEL_AVX2 double forward(const Columns& c, const double* x, Scratch& s) {
    const double* const xs[1] = {x};
    double value[1];
    forwardAll<Kind>(c, xs, value, s);
    return value[0];
}

template <ExpKind Kind>
QUORVEL_AVX2 void trainKernel(Columns& c, const double* x, double target, Scratch& s) {
    forward<Kind>(c, x, s);
    backwardAndUpdate(c, x, target, s);
}

// evaluate(next) and then train(x, discount * that value): both forward passes read the weights
// as they stand before the step, so they run together.
template <ExpKind Kind>
QUORVEL_AVX2 void trainTowardsNextKernel(Columns& c, const double* x, const double* next,
                                         double discount, Scratch& s) {
    const double* const xs[2] = {next, x};
    double values[2];
    forwardAll<Kind>(c, xs, values, s);
    backwardAndUpdate(c, x, discount * values[0], s);
}

// The action entries (24..28) of each lane: the first vector holds actions 0..3, the second
// actions 4, 5, 4, 5 (the repeats keep its spare lanes' values like the real ones).
QUORVEL_AVX2 inline __m256d actionEntry(int half, int entry) {
    alignas(32) static constexpr double entries[2][actionInputs][4] = {
        {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}},
        {{1, 0, 1, 0}, {0, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}},
    };
    return _mm256_load_pd(entries[half][entry]);
}

// A rating's layers, with the actions in the lanes. The first layer's sums: unit j's actions
// 0..3 at 2j and 4, 5, 4, 5 at 2j + 1. From its sigmoids on, actions 0..3 of unit j in
// vector j and actions 4 and 5 of units 2i and 2i + 1 side by side in vector 15 + i (the
// last one's second half repeats unit 14); the second layer likewise: actions 0..3 of unit k
// in vector k, actions 4 and 5 of units 2q and 2q + 1 in vector 5 + q.
constexpr int ratingFirst = 2 * hidden1Units;
constexpr int ratingFirstPacked = hidden1Units + (hidden1Units + 1) / 2;
constexpr int ratingSecond = hidden2Units + RatingWeights::secondPairs;

// Unit j's actions 4, 5, 4, 5 from the vector it shares with its neighbour.
QUORVEL_AVX2 inline __m256d pairedActions(const __m256d* paired, int j) {
    return j % 2 == 0 ? _mm256_permute4x64_pd(paired[j / 2], 0x44)
                      : _mm256_permute4x64_pd(paired[j / 2], 0xee);
}

// The first layer's sums in the sigmoids' layout.
QUORVEL_AVX2 inline void packRatingFirst(const __m256d* sums, __m256d* h1) {
    for (int j = 0; j < hidden1Units; ++j) {
        h1[j] = sums[2 * j];
    }
    for (int i = 0; i < (hidden1Units + 1) / 2; ++i) {
        const int first = 2 * i;
        const int second = std::min(first + 1, hidden1Units - 1);
        h1[hidden1Units + i] =
            _mm256_permute2f128_pd(sums[2 * first + 1], sums[2 * second + 1], 0x20);
    }
}

// The first layer's sums of the six actions: the state's part of each unit's sum once, then
// each action's part.
QUORVEL_AVX2 inline void ratingFirstSums(const RatingWeights& rw, const double* state,
                                         __m256d* h1Sums) {
    const Columns& c = rw.columns;
    __m256d stateSums[firstGroups];
    const double* const states[1] = {state};
    columnSums<stateInputs, firstGroups>(c.first, c.first[networkInputs], states, stateSums);
    alignas(32) double sums[Columns::firstLanes];
    for (int g = 0; g < firstGroups; ++g) {
        _mm256_store_pd(sums + 4 * g, stateSums[g]);
    }
    if (rw.actionFinite) {
        // An action sets one travel and one steering entry to 1 and the others to 0. With
        // finite weights the products of the zeros are zeros, which change a sum's sign at
        // most when it is zero, and the sigmoid gives 0.5 for either zero: adding the two
        // set entries' weights, travel first, gives the same outputs as all five products.
        for (int j = 0; j < hidden1Units; ++j) {
            const __m256d withTravel =
                _mm256_add_pd(_mm256_broadcast_sd(sums + j), _mm256_load_pd(rw.travel[j]));
            h1Sums[2 * j] = _mm256_add_pd(withTravel, _mm256_load_pd(rw.steering[j]));
            h1Sums[2 * j + 1] = _mm256_add_pd(withTravel, _mm256_load_pd(rw.steering[j] + 4));
        }
        return;
    }
    for (int j = 0; j < hidden1Units; ++j) {
        for (int half = 0; half < 2; ++half) {
            __m256d s = _mm256_broadcast_sd(sums + j);
            for (int e = 0; e < actionInputs; ++e) {
                s = addProduct(s, _mm256_broadcast_sd(&c.first[stateInputs + e][j]),
                               actionEntry(half, e));
            }
            h1Sums[2 * j + half] = s;
        }
    }
}

QUORVEL_AVX2 inline void ratingSecondSums(const RatingWeights& rw, const __m256d* h1, __m256d* h2) {
    const Columns& c = rw.columns;
    constexpr int pairs = RatingWeights::secondPairs;
    for (int k = 0; k < hidden2Units; ++k) {
        h2[k] = _mm256_broadcast_sd(&c.secondRows[k][hidden1Units]);
    }
    for (int q = 0; q < pairs; ++q) {
        h2[hidden2Units + q] = _mm256_load_pd(rw.pairs[q][hidden1Units]);
    }
    for (int j = 0; j < hidden1Units; ++j) {
        for (int k = 0; k < hidden2Units; ++k) {
            h2[k] = addProduct(h2[k], _mm256_broadcast_sd(&c.secondRows[k][j]), h1[j]);
        }
        const __m256d h = pairedActions(h1 + hidden1Units, j);
        for (int q = 0; q < pairs; ++q) {
            h2[hidden2Units + q] =
                addProduct(h2[hidden2Units + q], _mm256_load_pd(rw.pairs[q][j]), h);
        }
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
    __m256d sums[ratingFirst];
    ratingFirstSums(rw, state, sums);
    __m256d h1[ratingFirstPacked];
    packRatingFirst(sums, h1);
    sigmoids<Kind>(h1);
    __m256d h2[ratingSecond];
    ratingSecondSums(rw, h1, h2);
    sigmoids<Kind>(h2);
    __m256d value[2];
    ratingOutputSums(c, h2, value);
    sigmoids<Kind>(value);
    storeRatings(value, ratings);
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
    __m256d ratingSums[ratingFirst];
    ratingFirstSums(rw, state, ratingSums);
    packRatingFirst(ratingSums, first + firstGroups);
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

    double sum = c.output[hidden2Units];
    for (int j = 0; j < hidden2Units; ++j) {
        sum += c.output[j] * s.h2[j];
    }
    __m256d value[3];
    value[0] = _mm256_set1_pd(sum);
    ratingOutputSums(r, second + secondGroups, value + 1);
    sigmoids<Kind>(value);
    s.y = _mm256_cvtsd_f64(value[0]);
    storeRatings(value + 1, ratings);
    backwardAndUpdate(c, x, target, s);
}

} // namespace

// Calls f with the exp kind as a compile-time constant.
template <typename F> decltype(auto) withExp(ExpKind exp, F&& f) {
    switch (exp) {
    case ExpKind::plain:
        return f(std::integral_constant<ExpKind, ExpKind::plain>{});
    case ExpKind::fused:
        return f(std::integral_constant<ExpKind, ExpKind::fused>{});
    case ExpKind::scalar:
        break;
    }
    return f(std::integral_constant<ExpKind, ExpKind::scalar>{});
}

void rateActions(const RatingWeights& weights, const double* state, double* ratings, ExpKind exp) {
    withExp(exp, [&](auto kind) { rateKernel<kind()>(weights, state, ratings); });
}

double evaluate(const Columns& columns, const double* x, Scratch& scratch, ExpKind exp) {
    return withExp(exp, [&](auto kind) { return forward<kind()>(columns, x, scratch); });
}

void train(Columns& columns, const double* x, double target, Scratch& scratch, ExpKind exp) {
    withExp(exp, [&](auto kind) { trainKernel<kind()>(columns, x, target, scratch); });
}

void trainWhileRating(Columns& columns, const double* x, double target, Scratch& scratch,
                      const RatingWeights& weights, const double* state, double* ratings,
                      ExpKind exp) {
    withExp(exp, [&](auto kind) {
        trainWhileRatingKernel<kind()>(columns, x, target, scratch, weights, state, ratings);
    });
}

void trainTowardsNext(Columns& columns, const double* x, const double* next, double discount,
                      Scratch& scratch, ExpKind exp) {
    withExp(exp, [&](auto kind) {
        trainTowardsNextKernel<kind()>(columns, x, next, discount, scratch);
    });
}

} // namespace quorvel::avx2
