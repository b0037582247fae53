#pragma once

namespace quorvel {

// The network's shape. An input vector describes a state (the 22 ray readings, the goal's
// closeness and bearing) and then an action (two travel and three steering entries).
inline constexpr int rayInputs = 22;
inline constexpr int stateInputs = rayInputs + 2;
inline constexpr int actionInputs = 5;
inline constexpr int networkInputs = stateInputs + actionInputs;
inline constexpr int hidden1Units = 15;
inline constexpr int hidden2Units = 5;
inline constexpr int networkParameters =
    hidden1Units * (networkInputs + 1) + hidden2Units * (hidden1Units + 1) + (hidden2Units + 1);
static_assert(networkInputs == 29 && networkParameters == 536);

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

// Rates one (state, action) input vector with a sigmoid network of two hidden layers and one
// output unit, and learns from single targets by back-propagation of the squared error.
class QNetwork {
  public:
    static constexpr int inputCount = networkInputs;
    // The leading inputs that describe the state; the rest describe the action.
    static constexpr int stateInputCount = stateInputs;
    static constexpr int parameterCount = networkParameters;

    SigmoidLayer<networkInputs, hidden1Units> hidden1;
    SigmoidLayer<hidden1Units, hidden2Units> hidden2;
    SigmoidLayer<hidden2Units, 1> output;
    double learningRate = 0.1;

    // Every weight and bias drawn from the random source, in storage order: building a network
    // moves the process's random sequence on by 536 draws. Copy one to leave it alone.
    QNetwork();

    // The value of x, and one training step towards target, by this process's MathPath.
    double evaluate(const double* x);
    void train(const double* x, double target);

    // train(x, discount * evaluate(next)): one step of the successor sweep. Both forward
    // passes read the weights as they stand before the step.
    void trainTowardsNext(const double* x, const double* next, double discount);

    // The same in their written form, one value at a time with the C library's exp.
    double evaluateScalar(const double* x);
    void trainScalar(const double* x, double target);

    // The first layer's sums over the state inputs alone (bias first, then the state inputs),
    // so that one state can be rated with several actions without summing it again.
    // evaluateFromStateSums continues each sum over the action inputs in input order, so
    // the result has the same bits as evaluate of the whole vector.
    void stateSums(const double* x, double* sums) const;
    double evaluateFromStateSums(const double* sums, const double* x);

    // Whether every parameter is a finite number: a network that diverged holds NaN or
    // infinities, and every rating it gives is then NaN or fixed.
    bool finite() const;

    // Parameter i (0..535) in storage order: hidden1 rows, hidden2 rows, the output row.
    double& parameter(int i);
    double parameter(int i) const { return const_cast<QNetwork*>(this)->parameter(i); }

  private:
    double forwardUpperLayers();
};

} // namespace quorvel
