// The four- and eight-lane network kernels against the written forms, bit for bit.
#include "learn/frozen_rater.h"
#include "learn/network_avx2.h"
#include "learn/network_kernel_set.h"
#include "learn/q_learner.h"
#include "learn/q_network.h"
#include "learn/training_pass.h"

#include "common/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The bits of each value, every NaN as one: the operations fix whether a result is NaN, not
// its sign, which follows the order of their operands (and a compiler may swap them).
std::vector<std::uint64_t> bitsOf(const double* values, int count) {
    std::vector<std::uint64_t> bits(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double value = std::isnan(values[i]) ? nan : values[i];
        std::memcpy(&bits[static_cast<std::size_t>(i)], &value, sizeof value);
    }
    return bits;
}

std::vector<std::uint64_t> parameterBits(const QNetwork& n) {
    std::vector<double> values;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        values.push_back(n.parameter(i));
    }
    return bitsOf(values.data(), QNetwork::parameterCount);
}

// Everything a pass leaves in the network: weights, activations, deltas, input errors.
std::vector<std::uint64_t> stateBits(const QNetwork& n) {
    std::vector<std::uint64_t> bits = parameterBits(n);
    for (const auto& part :
         {bitsOf(n.hidden1.outputs, hidden1Units), bitsOf(n.hidden1.deltas, hidden1Units),
          bitsOf(n.hidden2.outputs, hidden2Units), bitsOf(n.hidden2.deltas, hidden2Units),
          bitsOf(n.hidden2.inputErrors, hidden1Units), bitsOf(n.output.outputs, 1),
          bitsOf(n.output.deltas, 1), bitsOf(n.output.inputErrors, hidden2Units)}) {
        bits.insert(bits.end(), part.begin(), part.end());
    }
    return bits;
}

struct Random {
    std::uint64_t state;
    double unit() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    }
    double between(double low, double high) { return low + (high - low) * unit(); }
};

// A network with weights of every scale: small, large enough to saturate the sigmoids, some
// exactly zero; in `trial`s divisible by 5, a few weights infinite or not a number, or one alone.
std::unique_ptr<QNetwork> randomNetwork(Random& r, int trial) {
    auto n = std::make_unique<QNetwork>();
    const double scale = trial % 3 == 0 ? 0.3 : trial % 3 == 1 ? 3 : 40;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        n->parameter(i) = r.unit() < 0.05 ? 0 : r.between(-scale, scale);
    }
    if (trial % 5 == 0) {
        // All three together, or one alone: beside a NaN, what an infinity does is hidden.
        const double special[] = {inf, -inf, nan};
        const int alone = trial % 10 == 5 ? (trial / 10) % 3 : -1;
        for (int k = 0; k < 3; ++k) {
            if (alone < 0 || k == alone) {
                n->parameter(static_cast<int>(r.unit() * QNetwork::parameterCount)) = special[k];
            }
        }
        // Now and then an action weight, which decides the rating's shortcut.
        n->hidden1.weights[static_cast<int>(r.unit() * hidden1Units)][stateInputs + trial % 5] =
            special[alone < 0 ? trial % 3 : alone];
    }
    n->learningRate = r.between(0.001, 0.9);
    return n;
}

// An input vector as the learner fills it: ranges' inverses, closeness, bearing, an action.
void randomInput(Random& r, double* x) {
    for (int i = 0; i < rayInputs; ++i) {
        x[i] = 1 / (r.between(0, 30) + 1);
    }
    x[goalClosenessEntry] = 1 / (r.between(0, 50000) + 1);
    x[goalBearingEntry] = r.between(-3.14159, 3.14159);
    setActionEntries(x, static_cast<int>(r.unit() * 6));
}

// A random network, its rating weights and an input, in that order from `r`.
struct RatingCase {
    std::unique_ptr<QNetwork> network;
    std::unique_ptr<avx2::RatingWeights> weights = std::make_unique<avx2::RatingWeights>();
    double x[networkInputs];
    RatingCase(Random& r, int trial) : network(randomNetwork(r, trial)) {
        avx2::pack(*network, *weights);
        randomInput(r, x);
    }
};

// One width of kernels with one exp.
struct Kernels {
    bool wide;
    ExpKind exp;
};

std::vector<Kernels> kernelsHere() {
    std::vector<ExpKind> kinds{ExpKind::scalar};
    const ExpKind chosen = probeExp(libraryExp, vectorUnitsUsable());
    if (chosen != ExpKind::scalar) {
        kinds.push_back(chosen);
    }
    std::vector<Kernels> kernels;
    for (const bool wide : {false, true}) {
        if (!wide || wideVectorUnitsUsable()) {
            for (const ExpKind kind : kinds) {
                kernels.push_back({wide, kind});
            }
        }
    }
    return kernels;
}

class VectorNetwork : public ::testing::TestWithParam<Kernels> {
  protected:
    void SetUp() override {
        if (!vectorUnitsUsable()) {
            GTEST_SKIP() << "no AVX2 and FMA";
        }
    }
    ExpKind exp() const { return GetParam().exp; }
    const NetworkKernels& kernels() const { return networkKernels(GetParam().wide); }
};

TEST_P(VectorNetwork, RatingsEqualEvaluatingEveryAction) {
    Random r{7};
    for (int trial = 0; trial < 3000; ++trial) {
        RatingCase c(r, trial);
        double ratings[6];
        kernels().rateActions(*c.weights, c.x, ratings, exp());
        double expected[6];
        for (int a = 0; a < 6; ++a) {
            setActionEntries(c.x, a);
            expected[a] = c.network->evaluateScalar(c.x);
        }
        ASSERT_EQ(bitsOf(ratings, 6), bitsOf(expected, 6)) << "trial " << trial;
    }
}

// Steps on packed weights, unpacked after each: the same bits as the written form's, also
// where the padding lanes have gone through many steps, for a sweep of steps in one call, and
// a rating taken beside a step rates as the written form does.
TEST_P(VectorNetwork, EvaluationAndTrainingEqualTheWrittenForm) {
    Random r{11};
    for (int trial = 0; trial < 2000; ++trial) {
        const auto scalar = randomNetwork(r, trial);
        auto vector = std::make_unique<QNetwork>(*scalar);
        const auto columns = std::make_unique<avx2::Columns>();
        avx2::pack(*vector, *columns);
        avx2::Scratch scratch;
        double x[networkInputs];
        double next[networkInputs];
        for (int step = 0; step < 6; ++step) {
            randomInput(r, x);
            randomInput(r, next);
            const double target = step == 5 ? r.between(-2, 2) : r.unit();
            const double a = avx2::evaluate(*columns, x, scratch, exp());
            const double b = scalar->evaluateScalar(x);
            ASSERT_EQ(bitsOf(&a, 1), bitsOf(&b, 1)) << "trial " << trial;
            if (step % 3 == 0) {
                kernels().train(*columns, x, target, scratch, exp());
                scalar->trainScalar(x, target);
            } else if (step % 3 == 2) {
                // Beside a rating of another network (one with its own special weights).
                const auto other = randomNetwork(r, trial + step);
                const auto weights = std::make_unique<avx2::RatingWeights>();
                avx2::pack(*other, *weights);
                double ratings[6];
                kernels().trainWhileRating(*columns, x, target, scratch, *weights, next, ratings,
                                           exp());
                scalar->trainScalar(x, target);
                for (int a = 0; a < 6; ++a) {
                    setActionEntries(next, a);
                    const double expected = other->evaluateScalar(next);
                    ASSERT_EQ(bitsOf(&ratings[a], 1), bitsOf(&expected, 1)) << "trial " << trial;
                }
            } else if (trial % 2 == 0) {
                const double discount = r.unit();
                kernels().trainTowardsNext(*columns, x, next, discount, scratch, exp());
                const double value = scalar->evaluateScalar(next);
                scalar->trainScalar(x, discount * value);
            } else {
                // A sweep back through a run of states ending at next: none to four steps.
                const double discount = r.unit();
                const int last = trial / 2 % 5;
                double states[5][networkInputs];
                for (int k = 0; k < last; ++k) {
                    randomInput(r, states[k]);
                }
                std::memcpy(states[last], next, sizeof next);
                kernels().trainTowardsEach(*columns, states, last, discount, scratch, exp());
                for (int k = last - 1; k >= 0; --k) {
                    scalar->trainScalar(states[k],
                                        discount * scalar->evaluateScalar(states[k + 1]));
                }
            }
            avx2::unpack(*columns, *vector);
            avx2::writeScratch(scratch, true, *vector);
            ASSERT_EQ(stateBits(*vector), stateBits(*scalar)) << "trial " << trial;
        }
    }
}

// The kinds of step a sweep takes, on this process's path, in one pass: each step's bits are
// the written form's, what the pass has done is in the network once it writes back (also in
// the middle, as a hindsight training's target copy needs), and a frozen rater rates as the
// written form does.
TEST(TrainingPass, StepsInAPassEqualTheWrittenFormStepByStep) {
    Random r{23};
    for (int trial = 0; trial < 300; ++trial) {
        const auto scalar = randomNetwork(r, trial);
        auto network = std::make_unique<QNetwork>(*scalar);
        double x[networkInputs];
        double next[networkInputs];
        {
            TrainingPass pass(*network);
            for (int step = 0; step < 12; ++step) {
                randomInput(r, x);
                randomInput(r, next);
                const double target = r.unit();
                if (step % 3 == 0) {
                    pass.train(x, target);
                    scalar->trainScalar(x, target);
                } else if (step == 10) {
                    double states[2][networkInputs];
                    std::memcpy(states[0], x, sizeof x);
                    std::memcpy(states[1], next, sizeof next);
                    pass.trainTowardsEach(states, 1, 0.9);
                    scalar->trainScalar(x, 0.9 * scalar->evaluateScalar(next));
                } else {
                    pass.trainTowardsNext(x, next, 0.9);
                    scalar->trainScalar(x, 0.9 * scalar->evaluateScalar(next));
                }
                if (step == 6) {
                    pass.writeBack();
                    ASSERT_EQ(stateBits(*network), stateBits(*scalar)) << "trial " << trial;
                }
            }
        }
        ASSERT_EQ(stateBits(*network), stateBits(*scalar)) << "trial " << trial;
        const FrozenRater rater(*network);
        double ratings[6];
        rater.rate(x, ratings);
        for (int a = 0; a < 6; ++a) {
            setActionEntries(x, a);
            const double expected = scalar->evaluateScalar(x);
            ASSERT_EQ(bitsOf(&ratings[a], 1), bitsOf(&expected, 1)) << "trial " << trial;
        }
    }
}

// Rough ratings lie within their bound of the exact ones, for every exp, and are NaN where
// those are for a NaN sum; the bound is infinite where an upper weight is not finite.
TEST_P(VectorNetwork, RoughRatingsLieWithinTheirBound) {
    Random r{13};
    double widest = 0; // of the bounds of networks of the smallest scale
    for (int trial = 0; trial < 3000; ++trial) {
        RatingCase c(r, trial);
        const QNetwork& network = *c.network;
        if (trial % 50 == 7) {
            c.x[trial % stateInputs] = trial % 100 == 7 ? nan : 1e300;
        }
        double exact[6], rough[6];
        kernels().rateActions(*c.weights, c.x, exact, exp());
        avx2::rateRoughly(*c.weights, c.x, rough);
        const double bound = avx2::roughRatingBound(network);
        bool upperFinite = true;
        for (int i = hidden1Units * (networkInputs + 1); i < QNetwork::parameterCount; ++i) {
            upperFinite = upperFinite && std::isfinite(network.parameter(i));
        }
        ASSERT_EQ(std::isfinite(bound), upperFinite) << "trial " << trial;
        if (!upperFinite) {
            continue;
        }
        for (int a = 0; a < 6; ++a) {
            if (std::isnan(exact[a])) {
                ASSERT_TRUE(std::isnan(rough[a])) << "trial " << trial;
            } else {
                ASSERT_LE(std::fabs(rough[a] - exact[a]), bound) << "trial " << trial;
            }
        }
        if (trial % 3 == 0) {
            widest = std::max(widest, bound);
        }
    }
    // Small enough to decide nearly every choice.
    EXPECT_LT(widest, 1e-6);
}

// The rough sigmoid on floats across its range, at its ends and beyond.
TEST(RoughSigmoid, StaysWithinItsErrorOfTheRealOne) {
    if (!vectorUnitsUsable()) {
        GTEST_SKIP() << "no AVX2 and FMA";
    }
    std::vector<float> inputs{0.0f, -0.0f, 80.0f, -80.0f, 1e30f, -1e30f, HUGE_VALF, -HUGE_VALF};
    for (float y = -90; y < 90; y = std::nextafter(y + 0.000731f, 90.0f)) {
        inputs.push_back(y);
    }
    while (inputs.size() % 8 != 0) {
        inputs.push_back(1.0f);
    }
    std::vector<float> outputs(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); i += 8) {
        avx2::roughSigmoids(&inputs[i], &outputs[i]);
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const long double real = 1 / (1 + std::exp(-static_cast<long double>(inputs[i])));
        ASSERT_LE(std::fabs(outputs[i] - real), avx2::roughSigmoidError) << inputs[i];
    }
    const float notANumber[8] = {NAN, 0, 0, 0, 0, 0, 0, 0};
    float out[8];
    avx2::roughSigmoids(notANumber, out);
    EXPECT_TRUE(std::isnan(out[0]));
}

INSTANTIATE_TEST_SUITE_P(WidthsAndExpKinds, VectorNetwork, ::testing::ValuesIn(kernelsHere()),
                         [](const ::testing::TestParamInfo<Kernels>& info) {
                             return std::string(info.param.wide ? "eight_" : "four_") +
                                    expKindName(info.param.exp);
                         });

} // namespace
} // namespace quorvel
