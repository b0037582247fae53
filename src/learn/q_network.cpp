#include "learn/q_network.h"

#include "common/random.h"
#include "learn/network_avx2.h"
#include "learn/training_pass.h"
#include "learn/vector_exp.h"

#include <cmath>

namespace quorvel {

namespace {

inline double sigmoid(double s) {
    return 1 / (1 + std::exp(-s));
}

template <int N, int M> void forward(SigmoidLayer<N, M>& layer, const double* v) {
    for (int j = 0; j < M; ++j) {
        const double* w = layer.weights[j];
        double s = w[N];
        for (int i = 0; i < N; ++i) {
            s += w[i] * v[i];
        }
        layer.outputs[j] = sigmoid(s);
    }
}

} // namespace

QNetwork::QNetwork() {
    for (int i = 0; i < parameterCount; ++i) {
        parameter(i) = 1 - (2.0 * random::draw()) / random::maxDraw;
    }
    learningRate = 0.1;
}

double& QNetwork::parameter(int i) {
    constexpr int firstRow = decltype(hidden1)::rowLength;
    constexpr int secondRow = decltype(hidden2)::rowLength;
    constexpr int firstSize = hidden1Units * firstRow;
    constexpr int secondSize = hidden2Units * secondRow;
    if (i < firstSize) {
        return hidden1.weights[i / firstRow][i % firstRow];
    }
    i -= firstSize;
    if (i < secondSize) {
        return hidden2.weights[i / secondRow][i % secondRow];
    }
    return output.weights[0][i - secondSize];
}

double QNetwork::forwardUpperLayers() {
    forward(hidden2, hidden1.outputs);
    forward(output, hidden2.outputs);
    return output.outputs[0];
}

double QNetwork::evaluate(const double* x) {
    if (const MathPath& path = activeMathPath(); path.vectorUnits) {
        avx2::Columns columns;
        avx2::pack(*this, columns);
        avx2::Scratch scratch;
        const double value = avx2::evaluate(columns, x, scratch, path.exp);
        avx2::writeScratch(scratch, false, *this);
        return value;
    }
    return evaluateScalar(x);
}

// On the vector path a step is a pass of one step; the pass trains by these on the others.
void QNetwork::train(const double* x, double target) {
    if (activeMathPath().vectorUnits) {
        TrainingPass(*this).train(x, target);
        return;
    }
    trainScalar(x, target);
}

void QNetwork::trainTowardsNext(const double* x, const double* next, double discount) {
    if (activeMathPath().vectorUnits) {
        TrainingPass(*this).trainTowardsNext(x, next, discount);
        return;
    }
    const double value = evaluateScalar(next);
    trainScalar(x, discount * value);
}

double QNetwork::evaluateScalar(const double* x) {
    forward(hidden1, x);
    return forwardUpperLayers();
}

void QNetwork::stateSums(const double* x, double* sums) const {
    for (int j = 0; j < hidden1Units; ++j) {
        const double* w = hidden1.weights[j];
        double s = w[networkInputs];
        for (int i = 0; i < stateInputs; ++i) {
            s += w[i] * x[i];
        }
        sums[j] = s;
    }
}

double QNetwork::evaluateFromStateSums(const double* sums, const double* x) {
    for (int j = 0; j < hidden1Units; ++j) {
        const double* w = hidden1.weights[j];
        double s = sums[j];
        for (int i = stateInputs; i < networkInputs; ++i) {
            s += w[i] * x[i];
        }
        hidden1.outputs[j] = sigmoid(s);
    }
    return forwardUpperLayers();
}

void QNetwork::trainScalar(const double* x, double target) {
    const double y = evaluateScalar(x);
    const double* h1 = hidden1.outputs;
    const double* h2 = hidden2.outputs;

    // Every delta and input error comes from the weights as they stand before this step.
    const double e = y - target;
    const double deltaOut = y * (1 - y) * e;
    output.deltas[0] = deltaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        output.inputErrors[j] = deltaOut * output.weights[0][j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        hidden2.deltas[j] = h2[j] * (1 - h2[j]) * output.inputErrors[j];
    }
    for (int k = 0; k < hidden1Units; ++k) {
        double sum = 0;
        for (int j = 0; j < hidden2Units; ++j) {
            sum += hidden2.weights[j][k] * hidden2.deltas[j];
        }
        hidden2.inputErrors[k] = sum;
    }
    for (int k = 0; k < hidden1Units; ++k) {
        hidden1.deltas[k] = h1[k] * (1 - h1[k]) * hidden2.inputErrors[k];
    }

    const double eta = learningRate;
    double* wo = output.weights[0];
    wo[hidden2Units] -= eta * deltaOut;
    for (int j = 0; j < hidden2Units; ++j) {
        wo[j] -= eta * deltaOut * h2[j];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        double* w = hidden2.weights[j];
        const double delta = hidden2.deltas[j];
        w[hidden1Units] -= eta * delta;
        for (int k = 0; k < hidden1Units; ++k) {
            w[k] -= eta * delta * h1[k];
        }
    }
    for (int k = 0; k < hidden1Units; ++k) {
        double* w = hidden1.weights[k];
        const double delta = hidden1.deltas[k];
        w[networkInputs] -= eta * delta;
        for (int i = 0; i < networkInputs; ++i) {
            w[i] -= eta * delta * x[i];
        }
    }
}

bool QNetwork::finite() const {
    for (int i = 0; i < parameterCount; ++i) {
        if (!std::isfinite(parameter(i))) {
            return false;
        }
    }
    return true;
}

} // namespace quorvel
