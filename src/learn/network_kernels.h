#pragma once

// The pieces the network's vector kernels share (learn/network_avx2, learn/rating_avx2):
// sigmoids by the chosen exp, sums and updates over the columns' layout. Only for
// translation units whose functions carry QUORVEL_AVX2.
#include "learn/avx2_exp.h"
#include "learn/network_columns.h"
#include "learn/vector_exp.h"

#include <cmath>
#include <type_traits>

namespace quorvel::avx2::kernels {

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
    // The sums stay in a local array and are copied out once: summed in `sums` itself, GCC
    // stored every one of them again at every input (about 4 % of a training's time).
    __m256d acc[M * Groups];
    for (int g = 0; g < Groups; ++g) {
        const __m256d b = _mm256_load_pd(bias + 4 * g);
        for (int m = 0; m < M; ++m) {
            acc[m * Groups + g] = b;
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
                acc[m * Groups + g] = addProduct(acc[m * Groups + g], w, x[m]);
            }
        }
    }
    for (int k = 0; k < M * Groups; ++k) {
        sums[k] = acc[k];
    }
}

// A layer's update by columns: each weight of inputs 0..Count-1 less its unit's scale times
// the input, and the bias row (Count) less the scale alone.
template <int Count, int Groups, int Lanes>
QUORVEL_AVX2 inline void updateColumns(double (*columns)[Lanes], const double* x,
                                       const __m256d* scale) {
    for (int i = 0; i < Count; ++i) {
        const __m256d input = _mm256_broadcast_sd(x + i);
        for (int g = 0; g < Groups; ++g) {
            double* w = columns[i] + 4 * g;
            _mm256_store_pd(w, subtractProduct(_mm256_load_pd(w), scale[g], input));
        }
    }
    for (int g = 0; g < Groups; ++g) {
        double* w = columns[Count] + 4 * g;
        _mm256_store_pd(w, _mm256_sub_pd(_mm256_load_pd(w), scale[g]));
    }
}

// The scalar pieces of a step, the same in every width of kernel.

// The output unit's sum of the second layer's outputs h2, as the written form takes it.
inline double outputSum(const Columns& c, const double* h2) {
    double sum = c.output[hidden2Units];
    for (int j = 0; j < hidden2Units; ++j) {
        sum += c.output[j] * h2[j];
    }
    return sum;
}

// The output unit's delta and input errors and the second layer's deltas, from the output
// `s.y` and the weights as they stand.
inline void outputDeltas(const Columns& c, double target, Scratch& s) {
    const double y = s.y;
    const double e = y - target;
    s.dOut = y * (1 - y) * e;
    for (int j = 0; j < hidden2Units; ++j) {
        s.e2[j] = s.dOut * c.output[j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        s.d2[j] = s.h2[j] * (1 - s.h2[j]) * s.e2[j];
    }
}

// The output unit's update, and the learning rate times each second-layer delta, the
// padding lanes repeating the last unit's.
inline void updateOutput(Columns& c, const Scratch& s, double (&scaled2)[Columns::secondLanes]) {
    const double etaOut = c.learningRate * s.dOut;
    c.output[hidden2Units] -= etaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        c.output[j] -= etaOut * s.h2[j];
    }
    for (int j = 0; j < Columns::secondLanes; ++j) {
        scaled2[j] = c.learningRate * s.d2[j < hidden2Units ? j : hidden2Units - 1];
    }
}

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

// The rest of a training step towards target once a forward pass has left x's layers in `s`:
// every delta and input error from the weights as they stand, then the weights' updates.
QUORVEL_AVX2 void backwardAndUpdate(Columns& c, const double* x, double target, Scratch& s);

} // namespace quorvel::avx2::kernels
