#include "learn/network_avx2.h"
#include "learn/network_kernels.h"

namespace quorvel::avx2 {

using namespace kernels;

namespace {

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
        sums[m] = outputSum(c, h2[m]);
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

} // namespace

QUORVEL_AVX2 void kernels::backwardAndUpdate(Columns& c, const double* x, double target,
                                             Scratch& s) {
    // Every delta and input error from the weights as they stand before this step.
    outputDeltas(c, target, s);
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

    alignas(32) double scaled2[Columns::secondLanes];
    updateOutput(c, s, scaled2);

    // hidden2 by rows, its bias the last lane (a bias moves by eta times its delta alone)...
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
    updateColumns<hidden1Units, secondGroups>(c.second, s.h1, scale2);
    updateColumns<networkInputs, firstGroups>(c.first, x, scaled1);
}

namespace {

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

} // namespace

double evaluate(const Columns& columns, const double* x, Scratch& scratch, ExpKind exp) {
    return withExp(exp, [&](auto kind) { return forward<kind()>(columns, x, scratch); });
}

void train(Columns& columns, const double* x, double target, Scratch& scratch, ExpKind exp) {
    withExp(exp, [&](auto kind) { trainKernel<kind()>(columns, x, target, scratch); });
}

void trainTowardsNext(Columns& columns, const double* x, const double* next, double discount,
                      Scratch& scratch, ExpKind exp) {
    withExp(exp, [&](auto kind) {
        trainTowardsNextKernel<kind()>(columns, x, next, discount, scratch);
    });
}

} // namespace quorvel::avx2
