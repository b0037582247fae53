#pragma once

#include "learn/frozen_rater.h"
#include "learn/network_columns.h"
#include "learn/q_network.h"
#include "learn/vector_exp.h"

namespace quorvel {

// Training steps in a row on one network, its weights kept in the kernels' layout between
// them and written back when the pass ends: each step gives the bits QNetwork::train and
// QNetwork::trainTowardsNext give. Takes the learning rate the network has when it begins.
// Nothing else may read or change the network until the pass ends or writes back.
class TrainingPass {
  public:
    explicit TrainingPass(QNetwork& network);
    ~TrainingPass();
    TrainingPass(const TrainingPass&) = delete;
    TrainingPass& operator=(const TrainingPass&) = delete;

    void train(const double* x, double target);
    void trainTowardsNext(const double* x, const double* next, double discount);
    // trainTowardsNext(states[k], states[k + 1], discount) for k from last - 1 down to 0.
    void trainTowardsEach(const double (*states)[networkInputs], int last, double discount);
    // train(x, target) and rater.rate(input, ratings) at once, faster than one after the
    // other; the rater's network must not be this pass's.
    void trainWhileRating(const double* x, double target, const FrozenRater& rater, double* input,
                          double* ratings);

    // The weights, and what the last step left in the layers, written into the network now;
    // the pass may go on afterwards.
    void writeBack();

  private:
    QNetwork& network_;
    bool stepped_ = false;
    avx2::Columns columns_;
    avx2::Scratch scratch_;
};

} // namespace quorvel
