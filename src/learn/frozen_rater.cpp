#include "learn/frozen_rater.h"

#include "learn/network_avx2.h"
#include "learn/network_kernel_set.h"
#include "learn/q_learner.h"

namespace quorvel {

FrozenRater::FrozenRater(QNetwork& network) : network_(&network) {
    if (activeMathPath().vectorUnits) {
        avx2::pack(network, weights_);
        roughBound_ = avx2::roughRatingBound(network);
    }
}

void FrozenRater::rate(double* v, double* ratings) const {
    constexpr int actionCount = QLearner::actionCount;
    if constexpr (literalBuild) {
        for (int i = 0; i < actionCount; ++i) {
            setActionEntries(v, i);
            ratings[i] = network_->evaluate(v);
        }
        return;
    }
    if (const MathPath& path = activeMathPath(); path.vectorUnits) {
        activeKernels().rateActions(weights_, v, ratings, path.exp);
        setActionEntries(v, actionCount - 1);
        return;
    }
    // The state's part of every first-layer sum once, then each action's part.
    double sums[hidden1Units];
    network_->stateSums(v, sums);
    for (int i = 0; i < actionCount; ++i) {
        setActionEntries(v, i);
        ratings[i] = network_->evaluateFromStateSums(sums, v);
    }
}

bool FrozenRater::rateRoughly(double* v, double* ratings) const {
    if (literalBuild || !activeMathPath().vectorUnits) {
        return false;
    }
    avx2::rateRoughly(weights_, v, ratings);
    setActionEntries(v, QLearner::actionCount - 1);
    return true;
}

} // namespace quorvel
