#pragma once

// The network's sums four lanes at a time (AVX2), each sum still taken in its written order
// with a separate multiply and add, so every result has the bits of the scalar code. Only
// called once vectorUnitsUsable() said yes.
#include "learn/vector_exp.h"

namespace quorvel {

class QNetwork;

namespace avx2 {

// The six actions' ratings of the state in entries 0..23 of `state`, as QLearner::rateActions
// gives them: the state's part of the first layer's sums once, then each action's part.
// Leaves the layers' outputs as the pass of action 5 leaves them.
void rateActions(QNetwork& network, const double* state, double* ratings, ExpKind exp);

// QNetwork::evaluate and QNetwork::train.
double evaluate(QNetwork& network, const double* x, ExpKind exp);
void train(QNetwork& network, const double* x, double target, ExpKind exp);
void trainTowardsNext(QNetwork& network, const double* x, const double* next, double discount,
                      ExpKind exp);

} // namespace avx2
} // namespace quorvel
