#pragma once

#include "common/step_limit.h"
#include "learn/q_network.h"
#include "learn/weight_file.h"

#include <cmath>

namespace quorvel {

class FrozenRater;

// Turns what the robot senses into network inputs, rates the six actions, chooses one and
// decodes it into travel and steering; keeps one input vector per step of the episode.
//
// Input vector: 0..21 1/(range + 1) per ray; 22 goal closeness 1/(x^2 + y^2 + 1); 23 goal
// bearing atan2(y, x); 24..25 travel one-hot; 26..28 steering one-hot. Action i stands for
// travel 2 * (i mod 2) - 3 and steering (i div 2) - 1.
class QLearner {
  public:
    static constexpr int inputSize = networkInputs;
    static constexpr int rayInputs = quorvel::rayInputs;
    // One slot for every step of an episode.
    static constexpr int historySize = stepLimit;
    static constexpr int actionCount = 6;

    int travel = 0;
    int steering = 0;
    double currentInput[inputSize] = {};
    double history[historySize][inputSize] = {};
    QNetwork network;
    double ratings[actionCount] = {};

    // A negative step index selects currentInput, 0..399 a history slot.
    double* input(int step) { return step < 0 ? currentInput : history[step]; }
    const double* input(int step) const { return step < 0 ? currentInput : history[step]; }

    void encodeRanges(int step, const double* ranges);
    void encodeGoal(int step, double x, double y);
    void rateActions(int step);
    // The same with the network's weights as `rater` took them (the network's own, unchanged).
    void rateActions(int step, const FrozenRater& rater);
    int chooseAction(double floor, double exponent) const;
    // The same with the draw d (0..32767) given instead of taken from the process's sequence.
    int chooseAction(double floor, double exponent, int d) const;
    int greedyAction() const;
    void setAction(int action);
    void recordAction(int step, int action);

    WeightFileResult saveWeights(const char* path) const;
    WeightFileResult loadWeights(const char* path);
};

// Entries of the input vector after the rays.
inline constexpr int goalClosenessEntry = rayInputs;
inline constexpr int goalBearingEntry = rayInputs + 1;
inline constexpr int travelEntry = stateInputs;       // two entries: travel -3, travel -1
inline constexpr int steeringEntry = travelEntry + 2; // three entries: steering -1, 0, +1

// Writes the one-hot of an action into entries 24..28 of an input vector.
void setActionEntries(double* input, int action);

// The encodings QLearner applies, on any input vector: the rays into entries 0..21, the goal
// at (x, y) in the robot's frame into entries 22 and 23.
void encodeRangeInputs(double* input, const double* ranges);
inline void encodeGoalInputs(double* input, double x, double y) {
    input[goalClosenessEntry] = 1 / (x * x + y * y + 1);
    input[goalBearingEntry] = std::atan2(y, x);
}

// The six actions' ratings of the state in entries 0..23 of `input`, as QLearner::rateActions
// gives them by this process's MathPath; leaves action 5's entries in the vector.
void rateAllActions(QNetwork& network, double* input, double* ratings);

} // namespace quorvel
