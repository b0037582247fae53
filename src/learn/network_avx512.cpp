#include "learn/network_avx512.h"
#include "learn/avx512_exp.h"
#include "learn/network_kernels.h"

#include <algorithm>

namespace quorvel::avx512 {

using avx2::Columns;
using avx2::RatingWeights;
using avx2::Scratch;
using avx2::kernels::outputDeltas;
using avx2::kernels::outputSum;
using avx2::kernels::updateOutput;

namespace {

constexpr int firstGroups = Columns::firstLanes / 8;
constexpr int secondGroups = Columns::secondLanes / 8;
static_assert(8 * firstGroups == Columns::firstLanes && 8 * secondGroups == Columns::secondLanes);
static_assert(8 * (firstGroups - 1) < hidden1Units && 8 * (secondGroups - 1) < hidden2Units);

template <ExpKind Kind, int N> QUORVEL_AVX512 inline void sigmoids(__m512d (&s)[N]) {
    sigmoidInPlace<Kind == ExpKind::scalar, Kind == ExpKind::fused>(s);
}

QUORVEL_AVX512 inline __m512d addProduct(__m512d s, __m512d w, __m512d x) {
    return _mm512_add_pd(s, _mm512_mul_pd(w, x));
}

QUORVEL_AVX512 inline __m512d subtractProduct(__m512d w, __m512d c, __m512d x) {
    return _mm512_sub_pd(w, _mm512_mul_pd(c, x));
}

// As kernels::columnSums: unit 8g + k of input vector m in lane k of sums[m * Groups + g].
template <int Count, int Groups, int Lanes, int M>
QUORVEL_AVX512 inline void columnSums(const double (*columns)[Lanes], const double* bias,
                                      const double* const (&xs)[M], __m512d* sums) {
    for (int g = 0; g < Groups; ++g) {
        const __m512d b = _mm512_load_pd(bias + 8 * g);
        for (int m = 0; m < M; ++m) {
            sums[m * Groups + g] = b;
        }
    }
    for (int i = 0; i < Count; ++i) {
        __m512d x[M];
        for (int m = 0; m < M; ++m) {
            x[m] = _mm512_set1_pd(xs[m][i]);
        }
        for (int g = 0; g < Groups; ++g) {
            const __m512d w = _mm512_load_pd(columns[i] + 8 * g);
            for (int m = 0; m < M; ++m) {
                sums[m * Groups + g] = addProduct(sums[m * Groups + g], w, x[m]);
            }
        }
    }
}

// As kernels::updateColumns.
template <int Count, int Groups, int Lanes>
QUORVEL_AVX512 inline void updateColumns(double (*columns)[Lanes], const double* x,
                                         const __m512d* scale) {
    for (int i = 0; i < Count; ++i) {
        const __m512d input = _mm512_set1_pd(x[i]);
        for (int g = 0; g < Groups; ++g) {
            double* w = columns[i] + 8 * g;
            _mm512_store_pd(w, subtractProduct(_mm512_load_pd(w), scale[g], input));
        }
    }
    for (int g = 0; g < Groups; ++g) {
        double* w = columns[Count] + 8 * g;
        _mm512_store_pd(w, _mm512_sub_pd(_mm512_load_pd(w), scale[g]));
    }
}

QUORVEL_AVX512 inline double lastLane(__m512d v) {
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, v);
    return lanes[7];
}

// As the four-lane forwardAll: values[m] is evaluate(xs[m]), `last` holds the layers of the
// pass of xs[M - 1].
template <ExpKind Kind, int M>
QUORVEL_AVX512 void forwardAll(const Columns& c, const double* const (&xs)[M], double (&values)[M],
                               Scratch& last) {
    static_assert(M <= 8);
    __m512d first[M * firstGroups];
    columnSums<networkInputs, firstGroups>(c.first, c.first[networkInputs], xs, first);
    sigmoids<Kind>(first);
    alignas(64) double earlier[M][Columns::firstLanes];
    const double* h1s[M];
    for (int m = 0; m < M; ++m) {
        double* h1 = m == M - 1 ? last.h1 : earlier[m];
        for (int g = 0; g < firstGroups; ++g) {
            _mm512_store_pd(h1 + 8 * g, first[m * firstGroups + g]);
        }
        h1s[m] = h1;
    }

    __m512d second[M * secondGroups];
    columnSums<hidden1Units, secondGroups>(c.second, c.second[hidden1Units], h1s, second);
    sigmoids<Kind>(second);
    alignas(64) double h2[M][Columns::secondLanes];
    for (int m = 0; m < M; ++m) {
        for (int q = 0; q < secondGroups; ++q) {
            _mm512_store_pd(h2[m] + 8 * q, second[m * secondGroups + q]);
        }
    }

    alignas(64) double sums[8];
    for (int m = 0; m < M; ++m) {
        sums[m] = outputSum(c, h2[m]);
    }
    for (int m = M; m < 8; ++m) {
        sums[m] = sums[0];
    }
    __m512d value[1] = {_mm512_load_pd(sums)};
    sigmoids<Kind>(value);
    _mm512_store_pd(sums, value[0]);
    for (int m = 0; m < M; ++m) {
        values[m] = sums[m];
    }
    for (int j = 0; j < Columns::secondLanes; ++j) {
        last.h2[j] = h2[M - 1][j];
    }
    last.y = values[M - 1];
}

// As kernels::backwardAndUpdate.
QUORVEL_AVX512 void backwardAndUpdate(Columns& c, const double* x, double target, Scratch& s) {
    outputDeltas(c, target, s);
    // The last lane reads hidden2's bias and is thrown away.
    const __m512d one = _mm512_set1_pd(1);
    const __m512d eta = _mm512_set1_pd(c.learningRate);
    __m512d scaled1[firstGroups];
    for (int g = 0; g < firstGroups; ++g) {
        __m512d sum = _mm512_setzero_pd();
        for (int j = 0; j < hidden2Units; ++j) {
            sum = addProduct(sum, _mm512_load_pd(c.secondRows[j] + 8 * g), _mm512_set1_pd(s.d2[j]));
        }
        const __m512d h = _mm512_load_pd(s.h1 + 8 * g);
        const __m512d delta = _mm512_mul_pd(_mm512_mul_pd(h, _mm512_sub_pd(one, h)), sum);
        _mm512_store_pd(s.e1 + 8 * g, sum);
        _mm512_store_pd(s.d1 + 8 * g, delta);
        scaled1[g] = _mm512_mul_pd(eta, delta);
    }
    // The padding unit moves as the unit it repeats.
    scaled1[firstGroups - 1] =
        permute(_mm512_set_epi64(6, 6, 5, 4, 3, 2, 1, 0), scaled1[firstGroups - 1]);

    alignas(64) double scaled2[Columns::secondLanes];
    updateOutput(c, s, scaled2);
    __m512d h1[firstGroups];
    for (int g = 0; g < firstGroups; ++g) {
        h1[g] = _mm512_load_pd(s.h1 + 8 * g);
    }
    h1[firstGroups - 1] = _mm512_mask_mov_pd(h1[firstGroups - 1], 0x80, one);
    for (int j = 0; j < hidden2Units; ++j) {
        const __m512d scale = _mm512_set1_pd(scaled2[j]);
        for (int g = 0; g < firstGroups; ++g) {
            double* w = c.secondRows[j] + 8 * g;
            _mm512_store_pd(w, subtractProduct(_mm512_load_pd(w), scale, h1[g]));
        }
    }
    __m512d scale2[secondGroups];
    for (int q = 0; q < secondGroups; ++q) {
        scale2[q] = _mm512_load_pd(scaled2 + 8 * q);
    }
    updateColumns<hidden1Units, secondGroups>(c.second, s.h1, scale2);
    updateColumns<networkInputs, firstGroups>(c.first, x, scaled1);
}

// A rating's layers have the actions in lanes 0..5; lanes 6 and 7 repeat actions 4 and 5, so
// their values stay like the real ones.
QUORVEL_AVX512 inline __m512d actionEntry(int entry) {
    alignas(64) static constexpr double entries[actionInputs][8] = {
        {1, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 0},
        {0, 0, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1},
    };
    return _mm512_load_pd(entries[entry]);
}

// The first layer's sums of the actions, one vector a unit: the state's part once, then each
// action's part (the two set entries' weights alone when they are all finite, as the
// four-lane rating explains).
QUORVEL_AVX512 inline void ratingFirstSums(const RatingWeights& rw, const double* state,
                                           __m512d* h1) {
    const Columns& c = rw.columns;
    __m512d stateSums[firstGroups];
    const double* const states[1] = {state};
    columnSums<stateInputs, firstGroups>(c.first, c.first[networkInputs], states, stateSums);
    alignas(64) double sums[Columns::firstLanes];
    for (int g = 0; g < firstGroups; ++g) {
        _mm512_store_pd(sums + 8 * g, stateSums[g]);
    }
    if (rw.actionFinite) {
        for (int j = 0; j < hidden1Units; ++j) {
            const __m512d travel =
                _mm512_maskz_broadcast_f64x4(allLanes, _mm256_load_pd(rw.travel[j]));
            h1[j] = _mm512_add_pd(_mm512_add_pd(_mm512_set1_pd(sums[j]), travel),
                                  _mm512_load_pd(rw.steering[j]));
        }
        return;
    }
    for (int j = 0; j < hidden1Units; ++j) {
        __m512d s = _mm512_set1_pd(sums[j]);
        for (int e = 0; e < actionInputs; ++e) {
            s = addProduct(s, _mm512_set1_pd(c.first[stateInputs + e][j]), actionEntry(e));
        }
        h1[j] = s;
    }
}

QUORVEL_AVX512 inline void ratingSecondSums(const Columns& c, const __m512d* h1, __m512d* h2) {
    for (int k = 0; k < hidden2Units; ++k) {
        h2[k] = _mm512_set1_pd(c.secondRows[k][hidden1Units]);
    }
    for (int j = 0; j < hidden1Units; ++j) {
        for (int k = 0; k < hidden2Units; ++k) {
            h2[k] = addProduct(h2[k], _mm512_set1_pd(c.secondRows[k][j]), h1[j]);
        }
    }
}

QUORVEL_AVX512 inline __m512d ratingOutputSum(const Columns& c, const __m512d* h2) {
    __m512d value = _mm512_set1_pd(c.output[hidden2Units]);
    for (int k = 0; k < hidden2Units; ++k) {
        value = addProduct(value, _mm512_set1_pd(c.output[k]), h2[k]);
    }
    return value;
}

// A rating's first-layer sigmoids take the six actions of several units side by side, value
// 6j + a (unit j, action a) in lane (6j + a) % 8 of vector (6j + a) / 8, so that none of
// their lanes repeats another: 12 vectors rather than 15 (in the second layer, 4 rather than
// 5 measured no faster). The last one's spare lanes repeat the last unit's actions. Each
// packed vector, and each unit's vector afterwards, is one permute of two neighbours.
constexpr int packedFirst = (6 * hidden1Units + 7) / 8;

// Packed vector v comes from unit vectors packedFrom(v) and the one after it, unit vector j
// from packed vectors unpackedFrom(j) and the one after it (each the last at most).
constexpr int packedFrom(int v) {
    return std::min(8 * v / 6, hidden1Units - 1);
}
constexpr int unpackedFrom(int j) {
    return 6 * j / 8;
}

// Each lane's source: lane k of the first source for k, of the second for 8 + k.
struct PermuteIndices {
    alignas(64) long long lanes[hidden1Units][8];
};

// Unit vectors (actions 0..5, 4, 5 in lanes) into packed ones...
constexpr PermuteIndices packing = [] {
    PermuteIndices p{};
    for (int v = 0; v < packedFirst; ++v) {
        for (int lane = 0; lane < 8; ++lane) {
            int f = 8 * v + lane;
            if (f >= 6 * hidden1Units) {
                f = 6 * (hidden1Units - 1) + (f - 6 * hidden1Units) % 6;
            }
            p.lanes[v][lane] = (f / 6 == packedFrom(v) ? 0 : 8) + f % 6;
        }
    }
    return p;
}();

// ... and back.
constexpr PermuteIndices unpacking = [] {
    PermuteIndices p{};
    for (int j = 0; j < hidden1Units; ++j) {
        for (int lane = 0; lane < 8; ++lane) {
            const int f = 6 * j + (lane < 6 ? lane : lane - 2);
            p.lanes[j][lane] = (f / 8 == unpackedFrom(j) ? 0 : 8) + f % 8;
        }
    }
    return p;
}();

QUORVEL_AVX512 inline void packActions(const __m512d* units, __m512d* packed) {
    for (int v = 0; v < packedFirst; ++v) {
        const int from = packedFrom(v);
        packed[v] = _mm512_permutex2var_pd(units[from], _mm512_load_si512(packing.lanes[v]),
                                           units[std::min(from + 1, hidden1Units - 1)]);
    }
}

QUORVEL_AVX512 inline void unpackActions(const __m512d* packed, __m512d* units) {
    for (int j = 0; j < hidden1Units; ++j) {
        const int from = unpackedFrom(j);
        units[j] = _mm512_permutex2var_pd(packed[from], _mm512_load_si512(unpacking.lanes[j]),
                                          packed[std::min(from + 1, packedFirst - 1)]);
    }
}

template <ExpKind Kind>
QUORVEL_AVX512 void rateKernel(const RatingWeights& rw, const double* state, double* ratings) {
    __m512d sums[hidden1Units];
    ratingFirstSums(rw, state, sums);
    __m512d packed[packedFirst];
    packActions(sums, packed);
    sigmoids<Kind>(packed);
    __m512d h1[hidden1Units];
    unpackActions(packed, h1);
    __m512d h2[hidden2Units];
    ratingSecondSums(rw.columns, h1, h2);
    sigmoids<Kind>(h2);
    __m512d value[1] = {ratingOutputSum(rw.columns, h2)};
    sigmoids<Kind>(value);
    _mm512_mask_storeu_pd(ratings, 0x3f, value[0]);
}

// A training step and a rating of another network side by side, as the four-lane kernel
// takes them; the step's output sum rides in the rating's spare lane 7.
template <ExpKind Kind>
QUORVEL_AVX512 void trainWhileRatingKernel(Columns& c, const double* x, double target, Scratch& s,
                                           const RatingWeights& rw, const double* state,
                                           double* ratings) {
    const double* const xs[1] = {x};
    __m512d first[firstGroups + packedFirst]; // the step's units, then the rating's
    columnSums<networkInputs, firstGroups>(c.first, c.first[networkInputs], xs, first);
    __m512d ratingSums[hidden1Units];
    ratingFirstSums(rw, state, ratingSums);
    packActions(ratingSums, first + firstGroups);
    sigmoids<Kind>(first);
    for (int g = 0; g < firstGroups; ++g) {
        _mm512_store_pd(s.h1 + 8 * g, first[g]);
    }

    const double* const h1s[1] = {s.h1};
    __m512d second[secondGroups + hidden2Units];
    columnSums<hidden1Units, secondGroups>(c.second, c.second[hidden1Units], h1s, second);
    __m512d h1[hidden1Units];
    unpackActions(first + firstGroups, h1);
    ratingSecondSums(rw.columns, h1, second + secondGroups);
    sigmoids<Kind>(second);
    for (int q = 0; q < secondGroups; ++q) {
        _mm512_store_pd(s.h2 + 8 * q, second[q]);
    }

    __m512d value[1] = {_mm512_mask_mov_pd(ratingOutputSum(rw.columns, second + secondGroups), 0x80,
                                           _mm512_set1_pd(outputSum(c, s.h2)))};
    sigmoids<Kind>(value);
    s.y = lastLane(value[0]);
    _mm512_mask_storeu_pd(ratings, 0x3f, value[0]);
    backwardAndUpdate(c, x, target, s);
}

template <ExpKind Kind>
QUORVEL_AVX512 void trainKernel(Columns& c, const double* x, double target, Scratch& s) {
    const double* const xs[1] = {x};
    double value[1];
    forwardAll<Kind>(c, xs, value, s);
    backwardAndUpdate(c, x, target, s);
}

template <ExpKind Kind>
QUORVEL_AVX512 void trainTowardsNextKernel(Columns& c, const double* x, const double* next,
                                           double discount, Scratch& s) {
    const double* const xs[2] = {next, x};
    double values[2];
    forwardAll<Kind>(c, xs, values, s);
    backwardAndUpdate(c, x, discount * values[0], s);
}

} // namespace

using avx2::kernels::withExp;

void rateActions(const RatingWeights& weights, const double* state, double* ratings, ExpKind exp) {
    withExp(exp, [&](auto kind) { rateKernel<kind()>(weights, state, ratings); });
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

} // namespace quorvel::avx512
