#include "learn/q_network.h"

#include "common/random.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvel {
namespace {

std::unique_ptr<QNetwork> zeroNetwork() {
    auto net = std::make_unique<QNetwork>();
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        net->parameter(i) = 0;
    }
    return net;
}

using testing::parametersOf;

std::vector<double> someInput() {
    std::vector<double> x(29);
    for (int i = 0; i < 29; ++i) {
        x[i] = 0.03 * i - 0.2;
    }
    return x;
}

TEST(QNetworkInit, DrawsEveryParameterInStorageOrder) {
    random::restart();
    const QNetwork net;
    EXPECT_EQ(net.hidden1.weights[0][0], 1 - 2.0 * 41 / 32767);
    EXPECT_EQ(net.hidden1.weights[0][1], 1 - 2.0 * 18467 / 32767);
    random::restart();
    for (int i = 0; i < 29; ++i) {
        random::draw();
    }
    EXPECT_EQ(net.hidden1.weights[0][29], 1 - 2.0 * random::draw() / 32767); // row 0's bias
    random::restart();
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        random::draw();
    }
    const auto afterInit = random::state();
    random::restart();
    const QNetwork again;
    EXPECT_EQ(random::state(), afterInit); // exactly 536 draws
    EXPECT_EQ(net.learningRate, 0.1);
    for (double p : parametersOf(net)) {
        ASSERT_GE(p, -1);
        ASSERT_LE(p, 1);
    }
    EXPECT_EQ(net.parameter(QNetwork::parameterCount - 1), net.output.weights[0][5]);
    EXPECT_EQ(net.parameter(450), net.hidden2.weights[0][0]);
}

TEST(QNetworkEvaluate, ZeroWeightsGiveOneHalf) {
    auto net = zeroNetwork();
    const auto x = someInput();
    EXPECT_EQ(net->evaluate(x.data()), 0.5);
    for (double h : net->hidden1.outputs) {
        EXPECT_EQ(h, 0.5);
    }
}

TEST(QNetworkEvaluate, MatchesAHandComputedPass) {
    auto net = zeroNetwork();
    net->hidden1.weights[0][29] = 0.5; // bias of unit 0
    net->hidden1.weights[0][3] = 2;
    net->output.weights[0][0] = 1;
    std::vector<double> x(29, 0);
    x[3] = 0.25;
    const double h1 = 1 / (1 + std::exp(-(0.5 + 2 * 0.25)));
    const double h2 = 0.5; // hidden2 weights are zero
    const double y = 1 / (1 + std::exp(-(0 + 1 * h2)));
    EXPECT_EQ(net->evaluate(x.data()), y);
    EXPECT_EQ(net->hidden1.outputs[0], h1);
}

TEST(QNetworkEvaluate, StateSumsGiveTheSameBits) {
    random::restart();
    QNetwork net;
    auto x = someInput();
    double sums[15];
    net.stateSums(x.data(), sums);
    for (int a = 0; a < 6; ++a) {
        std::fill(x.begin() + 24, x.end(), 0.0);
        x[24 + a % 2] = 1;
        x[26 + a / 2] = 1;
        const double whole = net.evaluate(x.data());
        EXPECT_EQ(net.evaluateFromStateSums(sums, x.data()), whole) << a;
    }
}

TEST(QNetworkTrain, OneStepFromZeroWeightsUsesTheOldOutputWeights) {
    auto net = zeroNetwork();
    const auto x = someInput();
    net->train(x.data(), 1);
    EXPECT_EQ(net->output.deltas[0], -0.125);
    EXPECT_EQ(net->output.weights[0][5], 0.0125);
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(net->output.weights[0][j], 0.00625);
    }
    for (const auto& row : net->hidden2.weights) {
        for (double w : row) {
            ASSERT_EQ(w, 0);
        }
    }
    for (const auto& row : net->hidden1.weights) {
        for (double w : row) {
            ASSERT_EQ(w, 0);
        }
    }
}

TEST(QNetworkTrain, StepsThatChangeNothing) {
    random::restart();
    QNetwork net;
    const auto x = someInput();
    const auto before = parametersOf(net);

    const double y = net.evaluate(x.data());
    net.train(x.data(), y); // target equal to the value
    EXPECT_EQ(parametersOf(net), before);

    net.learningRate = 0;
    net.train(x.data(), 0);
    EXPECT_EQ(parametersOf(net), before);
    net.learningRate = 0.1;

    // A saturated output: y rounds to exactly 1, so y (1 - y) is 0.
    auto saturated = zeroNetwork();
    saturated->output.weights[0][5] = 1000;
    const auto saturatedBefore = parametersOf(*saturated);
    EXPECT_EQ(saturated->evaluate(x.data()), 1.0);
    saturated->train(x.data(), 0);
    EXPECT_EQ(parametersOf(*saturated), saturatedBefore);
}

TEST(QNetworkTrain, GradientStepLowersTheError) {
    random::restart();
    QNetwork net;
    const auto x = someInput();
    const double before = std::fabs(net.evaluate(x.data()) - 0.9);
    for (int i = 0; i < 20; ++i) {
        net.train(x.data(), 0.9);
    }
    EXPECT_LT(std::fabs(net.evaluate(x.data()) - 0.9), before);
}

TEST(QNetworkTrain, MatchesAHandComputedStepThroughAllLayers) {
    // One unit path: input 0 -> hidden1 unit 0 -> hidden2 unit 0 -> output.
    auto net = zeroNetwork();
    net->hidden1.weights[0][0] = 0.5;
    net->hidden2.weights[0][0] = 0.5;
    net->output.weights[0][0] = 0.5;
    std::vector<double> x(29, 0);
    x[0] = 1;
    auto sig = [](double s) { return 1 / (1 + std::exp(-s)); };
    const double h1 = sig(0.5);
    const double h2 = sig(0.5 * h1); // the other hidden1 units have weight 0
    const double y = sig(0.5 * h2);
    const double t = 0.2;
    const double dOut = y * (1 - y) * (y - t);
    const double d2 = h2 * (1 - h2) * (dOut * 0.5);
    const double d1 = h1 * (1 - h1) * (0.5 * d2);
    net->train(x.data(), t);
    EXPECT_EQ(net->output.weights[0][0], 0.5 - 0.1 * dOut * h2);
    EXPECT_EQ(net->hidden2.weights[0][0], 0.5 - 0.1 * d2 * h1);
    EXPECT_EQ(net->hidden2.weights[0][15], 0 - 0.1 * d2);
    EXPECT_EQ(net->output.weights[0][5], 0 - 0.1 * dOut);
    EXPECT_EQ(net->hidden1.weights[0][0], 0.5 - 0.1 * d1 * 1);
    EXPECT_EQ(net->hidden1.weights[0][29], 0 - 0.1 * d1);
    EXPECT_EQ(net->hidden1.weights[0][1], 0); // its input was 0
}

} // namespace
} // namespace quorvel
