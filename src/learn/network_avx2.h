#pragma once

// The network's sums four lanes at a time (AVX2), each sum still taken in its written order
// with a separate multiply and add, so every result has the bits of the scalar code. Only
// called once vectorUnitsUsable() said yes.
#include "learn/network_columns.h"
#include "learn/vector_exp.h"

namespace quorvel::avx2 {

// The six actions' ratings of the state in entries 0..23 of `state`, as QLearner::rateActions
// gives them: the state's part of the first layer's sums once, then each action's part.
void rateActions(const RatingWeights& weights, const double* state, double* ratings, ExpKind exp);

// rateActions' ratings within roughRatingBound of the network the weights were packed from,
// by sigmoids in single precision, for any exp; NaN where a first-layer sum is. The first
// layer's sums are rateActions' own, so its weights and the state may be anything.
void rateRoughly(const RatingWeights& weights, const double* state, double* ratings);
// That distance for a network: infinite (so that it decides nothing) when a weight of the
// upper layers is not finite.
double roughRatingBound(const QNetwork& network);

// The single-precision sigmoid of in[0..7] into out[0..7], within roughSigmoidError of the
// real one: every float was tried, the largest distance is 8.93e-8.
void roughSigmoids(const float* in, float* out);
inline constexpr double roughSigmoidError = 1e-7;

// QNetwork::evaluate, QNetwork::train and QNetwork::trainTowardsNext on the packed weights.
double evaluate(const Columns& columns, const double* x, Scratch& scratch, ExpKind exp);
void train(Columns& columns, const double* x, double target, Scratch& scratch, ExpKind exp);
// train(columns, x, target, ...) and rateActions(weights, state, ratings, ...) at once, for
// weights apart from the columns (a target network's), interleaved for speed.
void trainWhileRating(Columns& columns, const double* x, double target, Scratch& scratch,
                      const RatingWeights& weights, const double* state, double* ratings,
                      ExpKind exp);
void trainTowardsNext(Columns& columns, const double* x, const double* next, double discount,
                      Scratch& scratch, ExpKind exp);

} // namespace quorvel::avx2
