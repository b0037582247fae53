#pragma once

#include "learn/network_columns.h"
#include "learn/q_network.h"
#include "learn/vector_exp.h"

#include <cmath>

namespace quorvel {

// Rates states with a network's weights as they stand when it is made, laid out once for the
// kernels: for the many ratings between two changes of the weights (an episode's steps, a
// value map, a target network). Gives rateAllActions' bits; the network must not change while
// it rates.
class FrozenRater {
  public:
    explicit FrozenRater(QNetwork& network);

    // The six actions' ratings of the state in entries 0..23 of `input`, written into
    // `ratings`; leaves action 5's entries in `input`.
    void rate(double* input, double* ratings) const;

    // Ratings within roughBound() of rate's, for less, for a choice they decide
    // (avx2::chooseWithin); leaves action 5's entries in `input` as rate does. False, with
    // nothing written, where this process rates without the vector units.
    bool rateRoughly(double* input, double* ratings) const;
    double roughBound() const { return roughBound_; }

  private:
    friend class TrainingPass; // rates beside its steps
    QNetwork* network_;        // rated as it stands by the scalar paths
    avx2::RatingWeights weights_;
    double roughBound_ = HUGE_VAL;
};

} // namespace quorvel
