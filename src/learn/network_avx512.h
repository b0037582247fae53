#pragma once

// learn/network_avx2's training steps and ratings eight lanes at a time (AVX-512), on the same
// layouts: every lane computes what a lane of the four-lane kernels computes, so every result
// has the bits of the scalar code. Only called once wideVectorUnitsUsable() said yes.
#include "learn/network_columns.h"
#include "learn/vector_exp.h"

namespace quorvel::avx512 {

void rateActions(const avx2::RatingWeights& weights, const double* state, double* ratings,
                 ExpKind exp);
void train(avx2::Columns& columns, const double* x, double target, avx2::Scratch& scratch,
           ExpKind exp);
void trainWhileRating(avx2::Columns& columns, const double* x, double target,
                      avx2::Scratch& scratch, const avx2::RatingWeights& weights,
                      const double* state, double* ratings, ExpKind exp);
void trainTowardsNext(avx2::Columns& columns, const double* x, const double* next, double discount,
                      avx2::Scratch& scratch, ExpKind exp);

} // namespace quorvel::avx512
