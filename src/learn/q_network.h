#pragma once

namespace quorvel {

// A fully connected layer of Units sigmoid units over Inputs inputs. Row j holds unit j's
// weights in input order followed by its bias.
template <int Inputs, int Units> struct SigmoidLayer {
    static constexpr int inputCount = Inputs;
    static constexpr int unitCount = Units;
    static constexpr int rowLength = Inputs + 1;
    static constexpr int biasIndex = Inputs;

    double weights[Units][Inputs + 1] = {};
    double outputs[Units] = {};
    double deltas[Units] = {};
    double inputErrors[Inputs] = {};
};

// Rates one (state, action) input vector with a 29-15-5-1 sigmoid network and learns from
// single targets by back-propagation of the squared error.
class QNetwork {
  public:
    static constexpr int inputCount = 29;
    // The leading inputs that describe the state; the rest describe the action.
    static constexpr int stateInputCount = 24;
    static constexpr int parameterCount = 15 * 30 + 5 * 16 + 6;

    SigmoidLayer<29, 15> hidden1;
    SigmoidLayer<15, 5> hidden2;
    SigmoidLayer<5, 1> output;
    double learningRate = 0.1;

    // Every weight and bias drawn from the random source, in storage order.
    QNetwork();

    double evaluate(const double* x);
    void train(const double* x, double target);

    // The first layer's sums over the state inputs alone (bias first, then inputs 0..23),
    // so that one state can be rated with several actions without summing it again.
    // evaluateFromStateSums continues each sum over the action inputs in input order, so
    // the result has the same bits as evaluate of the whole vector.
    void stateSums(const double* x, double* sums) const;
    double evaluateFromStateSums(const double* sums, const double* x);

    // Parameter i (0..535) in storage order: hidden1 rows, hidden2 rows, the output row.
    double& parameter(int i);
    double parameter(int i) const { return const_cast<QNetwork*>(this)->parameter(i); }

  private:
    double forwardUpperLayers();
};

} // namespace quorvel
