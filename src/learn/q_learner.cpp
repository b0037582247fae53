#include "learn/q_learner.h"

#include "common/random.h"
#include "learn/choice_avx2.h"
#include "learn/frozen_rater.h"
#include "learn/vector_exp.h"

#include <cmath>

namespace quorvel {

void setActionEntries(double* input, int action) {
    for (int i = travelEntry; i < QLearner::inputSize; ++i) {
        input[i] = 0;
    }
    input[travelEntry + action % 2] = 1;
    input[steeringEntry + action / 2] = 1;
}

void encodeRangeInputs(double* v, const double* ranges) {
    for (int k = 0; k < rayInputs; ++k) {
        v[k] = 1 / (ranges[k] + 1);
    }
}

void rateAllActions(QNetwork& network, double* v, double* ratings) {
    FrozenRater(network).rate(v, ratings);
}

void QLearner::encodeRanges(int step, const double* ranges) {
    encodeRangeInputs(input(step), ranges);
}

void QLearner::encodeGoal(int step, double x, double y) {
    encodeGoalInputs(input(step), x, y);
}

void QLearner::rateActions(int step) {
    rateAllActions(network, input(step), ratings);
}

void QLearner::rateActions(int step, const FrozenRater& rater) {
    rater.rate(input(step), ratings);
}

int QLearner::chooseAction(double floor, double exponent) const {
    return chooseAction(floor, exponent, random::draw());
}

int QLearner::chooseAction(double floor, double exponent, int d) const {
    if (activeMathPath().vectorUnits) {
        const int action = avx2::chooseWithoutPow(ratings, floor, exponent, d, random::maxDraw);
        if (action >= 0) {
            return action;
        }
    }
    double cumulative[actionCount];
    double sum = 0;
    for (int i = 0; i < actionCount; ++i) {
        const double weight = std::pow(ratings[i], exponent) + floor;
        sum = i == 0 ? weight : sum + weight;
        cumulative[i] = sum;
    }
    const double r = (d / static_cast<double>(random::maxDraw)) * cumulative[actionCount - 1];
    for (int i = 0; i < actionCount; ++i) {
        if (r < cumulative[i]) {
            return i;
        }
    }
    return greedyAction();
}

int QLearner::greedyAction() const {
    int best = 0;
    double bestValue = ratings[0];
    for (int i = 1; i < actionCount; ++i) {
        if (ratings[i] > bestValue) {
            best = i;
            bestValue = ratings[i];
        }
    }
    return best;
}

void QLearner::setAction(int action) {
    travel = 2 * (action % 2) - 3;
    steering = action / 2 - 1;
}

void QLearner::recordAction(int step, int action) {
    setActionEntries(history[step], action);
}

} // namespace quorvel
