#include "learn/network_avx2.h"

#include "learn/avx2_exp.h"
#include "learn/q_network.h"

#include <cmath>
#include <type_traits>

namespace quorvel::avx2 {

namespace {

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

// The 4 by 4 block transposed: lane k of out[i] is lane i of in[k].
QUORVEL_AVX2 inline void transpose(const __m256d in[4], __m256d out[4]) {
    const __m256d ab0 = _mm256_unpacklo_pd(in[0], in[1]); // a0 b0 a2 b2
    const __m256d ab1 = _mm256_unpackhi_pd(in[0], in[1]); // a1 b1 a3 b3
    const __m256d cd0 = _mm256_unpacklo_pd(in[2], in[3]);
    const __m256d cd1 = _mm256_unpackhi_pd(in[2], in[3]);
    out[0] = _mm256_permute2f128_pd(ab0, cd0, 0x20);
    out[1] = _mm256_permute2f128_pd(ab1, cd1, 0x20);
    out[2] = _mm256_permute2f128_pd(ab0, cd0, 0x31);
    out[3] = _mm256_permute2f128_pd(ab1, cd1, 0x31);
}

QUORVEL_AVX2 inline __m256d column(const double* const rows[4], int c) {
    return _mm256_set_pd(rows[3][c], rows[2][c], rows[1][c], rows[0][c]);
}

// The sums of a layer's units over inputs 0..Count-1 for M input vectors at once, units in
// lanes: unit 4g + k of input vector m in lane k of sums[m * Groups + g]; units past the last
// repeat it. Each sum starts at its unit's bias and adds weight times input in input order;
// the sums are interleaved, each in its own order.
template <int Count, int M, int Inputs, int Units, int Groups = (Units + 3) / 4>
QUORVEL_AVX2 inline void unitSums(const SigmoidLayer<Inputs, Units>& layer,
                                  const double* const (&v)[M], __m256d (&sums)[M * Groups]) {
    const double* rows[Groups][4];
    for (int g = 0; g < Groups; ++g) {
        for (int k = 0; k < 4; ++k) {
            const int unit = 4 * g + k;
            rows[g][k] = layer.weights[unit < Units ? unit : Units - 1];
        }
        const __m256d bias = column(rows[g], Inputs);
        for (int m = 0; m < M; ++m) {
            sums[m * Groups + g] = bias;
        }
    }
    int c = 0;
    for (; c + 4 <= Count; c += 4) {
        // Each row's four products at once, then turned into columns and added in order.
        __m256d inputs[M];
        for (int m = 0; m < M; ++m) {
            inputs[m] = _mm256_loadu_pd(v[m] + c);
        }
        for (int g = 0; g < Groups; ++g) {
            __m256d weights[4];
            for (int k = 0; k < 4; ++k) {
                weights[k] = _mm256_loadu_pd(rows[g][k] + c);
            }
            for (int m = 0; m < M; ++m) {
                __m256d products[4];
                for (int k = 0; k < 4; ++k) {
                    products[k] = _mm256_mul_pd(weights[k], inputs[m]);
                }
                __m256d byInput[4];
                transpose(products, byInput);
                __m256d& sum = sums[m * Groups + g];
                for (int k = 0; k < 4; ++k) {
                    sum = _mm256_add_pd(sum, byInput[k]);
                }
            }
        }
    }
    for (; c < Count; ++c) {
        for (int g = 0; g < Groups; ++g) {
            const __m256d weights = column(rows[g], c);
            for (int m = 0; m < M; ++m) {
                sums[m * Groups + g] =
                    addProduct(sums[m * Groups + g], weights, _mm256_set1_pd(v[m][c]));
            }
        }
    }
}

template <int Units, int M, int Groups = (Units + 3) / 4>
QUORVEL_AVX2 inline void storeLanes(const __m256d (&vectors)[M * Groups],
                                    double (&out)[M][4 * Groups]) {
    for (int m = 0; m < M; ++m) {
        for (int g = 0; g < Groups; ++g) {
            _mm256_storeu_pd(out[m] + 4 * g, vectors[m * Groups + g]);
        }
    }
}

// Forward passes of M input vectors through the same weights, interleaved: values[m] is
// evaluate(xs[m]). The layers' outputs are left as the pass of the last one leaves them.
template <ExpKind Kind, int M>
QUORVEL_AVX2 void forwardAll(QNetwork& n, const double* const (&xs)[M], double (&values)[M]) {
    constexpr int firstGroups = (hidden1Units + 3) / 4;
    constexpr int secondGroups = (hidden2Units + 3) / 4;
    __m256d first[M * firstGroups];
    unitSums<networkInputs>(n.hidden1, xs, first);
    sigmoids<Kind>(first);
    double h1[M][4 * firstGroups];
    storeLanes<hidden1Units, M>(first, h1);

    const double* h1s[M];
    for (int m = 0; m < M; ++m) {
        h1s[m] = h1[m];
    }
    __m256d second[M * secondGroups];
    unitSums<hidden1Units>(n.hidden2, h1s, second);
    sigmoids<Kind>(second);
    double h2[M][4 * secondGroups];
    storeLanes<hidden2Units, M>(second, h2);

    // One output unit: each input's sum is scalar, their sigmoids share a vector.
    const double* wo = n.output.weights[0];
    alignas(32) double sums[4] = {};
    for (int m = 0; m < M; ++m) {
        double s = wo[hidden2Units];
        for (int j = 0; j < hidden2Units; ++j) {
            s += wo[j] * h2[m][j];
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
    for (int k = 0; k < hidden1Units; ++k) {
        n.hidden1.outputs[k] = h1[M - 1][k];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        n.hidden2.outputs[j] = h2[M - 1][j];
    }
    n.output.outputs[0] = values[M - 1];
}

template <ExpKind Kind> QUORVEL_AVX2 double forward(QNetwork& n, const double* x) {
    const double* const xs[1] = {x};
    double value[1];
    forwardAll<Kind>(n, xs, value);
    return value[0];
}

// w[i] - c * v[i] for i = 0..count-1, in place, four at a time.
QUORVEL_AVX2 inline void subtractScaled(double* w, double c, const double* v, int count) {
    const __m256d scale = _mm256_set1_pd(c);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        _mm256_storeu_pd(w + i, _mm256_sub_pd(_mm256_loadu_pd(w + i),
                                              _mm256_mul_pd(scale, _mm256_loadu_pd(v + i))));
    }
    for (; i < count; ++i) {
        w[i] -= c * v[i];
    }
}

// The rest of a training step once the forward pass of x has left its value y and its
// activations in the layers.
QUORVEL_AVX2 void backwardAndUpdate(QNetwork& n, const double* x, double y, double target) {
    const double* h1 = n.hidden1.outputs;
    const double* h2 = n.hidden2.outputs;

    // Every delta and input error from the weights as they stand before this step.
    const double e = y - target;
    const double deltaOut = y * (1 - y) * e;
    n.output.deltas[0] = deltaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        n.output.inputErrors[j] = deltaOut * n.output.weights[0][j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        n.hidden2.deltas[j] = h2[j] * (1 - h2[j]) * n.output.inputErrors[j];
    }
    // The first layer's input errors and deltas with its units in lanes; the last block's
    // fourth lane reads hidden2's bias column and is thrown away.
    alignas(32) double paddedH1[16] = {};
    alignas(32) double errors[16];
    alignas(32) double deltas[16];
    for (int k = 0; k < hidden1Units; ++k) {
        paddedH1[k] = h1[k];
    }
    const __m256d one = _mm256_set1_pd(1);
    for (int k = 0; k < 16; k += 4) {
        __m256d sum = _mm256_setzero_pd();
        for (int j = 0; j < hidden2Units; ++j) {
            sum = addProduct(sum, _mm256_loadu_pd(n.hidden2.weights[j] + k),
                             _mm256_set1_pd(n.hidden2.deltas[j]));
        }
        const __m256d h = _mm256_load_pd(paddedH1 + k);
        _mm256_store_pd(errors + k, sum);
        _mm256_store_pd(deltas + k, _mm256_mul_pd(_mm256_mul_pd(h, _mm256_sub_pd(one, h)), sum));
    }
    for (int k = 0; k < hidden1Units; ++k) {
        n.hidden2.inputErrors[k] = errors[k];
        n.hidden1.deltas[k] = deltas[k];
    }

    const double eta = n.learningRate;
    double* wo = n.output.weights[0];
    wo[hidden2Units] -= eta * deltaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        wo[j] -= eta * deltaOut * h2[j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        double* w = n.hidden2.weights[j];
        const double delta = n.hidden2.deltas[j];
        w[hidden1Units] -= eta * delta;
        subtractScaled(w, eta * delta, h1, hidden1Units);
    }
    for (int k = 0; k < hidden1Units; ++k) {
        double* w = n.hidden1.weights[k];
        const double delta = n.hidden1.deltas[k];
        w[networkInputs] -= eta * delta;
        subtractScaled(w, eta * delta, x, networkInputs);
    }
}

template <ExpKind Kind> QUORVEL_AVX2 void trainKernel(QNetwork& n, const double* x, double target) {
    backwardAndUpdate(n, x, forward<Kind>(n, x), target);
}

// evaluate(next) and then train(x, discount * that value): both forward passes read the weights
// as they stand before the step, so they run together.
template <ExpKind Kind>
QUORVEL_AVX2 void trainTowardsNextKernel(QNetwork& n, const double* x, const double* next,
                                         double discount) {
    const double* const xs[2] = {next, x};
    double values[2];
    forwardAll<Kind>(n, xs, values);
    backwardAndUpdate(n, x, values[1], discount * values[0]);
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

// Whether every first-layer weight of the action entries is finite.
QUORVEL_AVX2 inline bool actionWeightsFinite(const QNetwork& n) {
    const __m256d infinity = _mm256_set1_pd(__builtin_inf());
    const __m256d noSign = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
    __m256d finite = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    for (int j = 0; j < hidden1Units; ++j) {
        const double* w = n.hidden1.weights[j] + stateInputs;
        const __m256d first = _mm256_and_pd(_mm256_loadu_pd(w), noSign);
        const __m256d last = _mm256_and_pd(_mm256_set1_pd(w[4]), noSign);
        finite = _mm256_and_pd(finite, _mm256_cmp_pd(first, infinity, _CMP_LT_OQ));
        finite = _mm256_and_pd(finite, _mm256_cmp_pd(last, infinity, _CMP_LT_OQ));
    }
    return _mm256_movemask_pd(finite) == 0xf;
}

template <ExpKind Kind>
QUORVEL_AVX2 void rateKernel(QNetwork& n, const double* state, double* ratings) {
    // The first layer: the state's part of each unit's sum once, then each action's part.
    __m256d stateSums[(hidden1Units + 3) / 4];
    const double* const states[1] = {state};
    unitSums<stateInputs>(n.hidden1, states, stateSums);
    alignas(32) double sums[16];
    for (int g = 0; g < 4; ++g) {
        _mm256_store_pd(sums + 4 * g, stateSums[g]);
    }
    __m256d h1[2 * hidden1Units]; // unit j of the first and second half at 2j and 2j + 1
    if (actionWeightsFinite(n)) {
        // An action sets one travel and one steering entry to 1 and the others to 0. With
        // finite weights the products of the zeros are zeros, which change a sum's sign at
        // most when it is zero, and the sigmoid gives 0.5 for either zero: adding the two
        // set entries' weights, travel first, gives the same outputs as all five products.
        for (int j = 0; j < hidden1Units; ++j) {
            const double* w = n.hidden1.weights[j] + stateInputs;
            const __m256d sum = _mm256_set1_pd(sums[j]);
            const __m256d travel = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(w));
            const __m256d steer01 = _mm256_permute4x64_pd(
                _mm256_castpd128_pd256(_mm_loadu_pd(w + 2)), 0x50); // w26 w26 w27 w27
            const __m256d steer2 = _mm256_set1_pd(w[4]);
            h1[2 * j] = _mm256_add_pd(_mm256_add_pd(sum, travel), steer01);
            h1[2 * j + 1] = _mm256_add_pd(_mm256_add_pd(sum, travel), steer2);
        }
    } else {
        for (int j = 0; j < hidden1Units; ++j) {
            const double* w = n.hidden1.weights[j];
            for (int half = 0; half < 2; ++half) {
                __m256d s = _mm256_set1_pd(sums[j]);
                for (int e = 0; e < actionInputs; ++e) {
                    s = addProduct(s, _mm256_set1_pd(w[stateInputs + e]), actionEntry(half, e));
                }
                h1[2 * j + half] = s;
            }
        }
    }
    sigmoids<Kind>(h1);

    __m256d h2[2 * hidden2Units];
    for (int k = 0; k < hidden2Units; ++k) {
        h2[2 * k] = h2[2 * k + 1] = _mm256_set1_pd(n.hidden2.weights[k][hidden1Units]);
    }
    for (int j = 0; j < hidden1Units; ++j) {
        for (int k = 0; k < hidden2Units; ++k) {
            const __m256d w = _mm256_set1_pd(n.hidden2.weights[k][j]);
            h2[2 * k] = addProduct(h2[2 * k], w, h1[2 * j]);
            h2[2 * k + 1] = addProduct(h2[2 * k + 1], w, h1[2 * j + 1]);
        }
    }
    sigmoids<Kind>(h2);

    const double* wo = n.output.weights[0];
    __m256d value[2] = {_mm256_set1_pd(wo[hidden2Units]), _mm256_set1_pd(wo[hidden2Units])};
    for (int k = 0; k < hidden2Units; ++k) {
        const __m256d w = _mm256_set1_pd(wo[k]);
        value[0] = addProduct(value[0], w, h2[2 * k]);
        value[1] = addProduct(value[1], w, h2[2 * k + 1]);
    }
    sigmoids<Kind>(value);
    alignas(32) double last[4];
    _mm256_store_pd(last, value[1]);
    _mm256_storeu_pd(ratings, value[0]);
    ratings[4] = last[0];
    ratings[5] = last[1];

    // The scratch outputs as action 5's pass (lane 1 of the second half) leaves them.
    alignas(32) double lanes[4];
    for (int j = 0; j < hidden1Units; ++j) {
        _mm256_store_pd(lanes, h1[2 * j + 1]);
        n.hidden1.outputs[j] = lanes[1];
    }
    for (int k = 0; k < hidden2Units; ++k) {
        _mm256_store_pd(lanes, h2[2 * k + 1]);
        n.hidden2.outputs[k] = lanes[1];
    }
    n.output.outputs[0] = ratings[5];
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

void rateActions(QNetwork& network, const double* state, double* ratings, ExpKind exp) {
    withExp(exp, [&](auto kind) { rateKernel<kind()>(network, state, ratings); });
}

double evaluate(QNetwork& network, const double* x, ExpKind exp) {
    return withExp(exp, [&](auto kind) { return forward<kind()>(network, x); });
}

void trainTowardsNext(QNetwork& network, const double* x, const double* next, double discount,
                      ExpKind exp) {
    withExp(exp, [&](auto kind) { trainTowardsNextKernel<kind()>(network, x, next, discount); });
}

void train(QNetwork& network, const double* x, double target, ExpKind exp) {
    withExp(exp, [&](auto kind) { trainKernel<kind()>(network, x, target); });
}

} // namespace quorvel::avx2
