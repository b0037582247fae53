#pragma once

// The network's vector kernels of one width, chosen once: the four-lane ones (learn/network_avx2)
// or the eight-lane ones (learn/network_avx512). Both give the same bits.
#include "learn/network_columns.h"
#include "learn/vector_exp.h"

namespace quorvel {

struct NetworkKernels {
    void (*rateActions)(const avx2::RatingWeights& weights, const double* state, double* ratings,
                        ExpKind exp);
    void (*train)(avx2::Columns& columns, const double* x, double target, avx2::Scratch& scratch,
                  ExpKind exp);
    void (*trainWhileRating)(avx2::Columns& columns, const double* x, double target,
                             avx2::Scratch& scratch, const avx2::RatingWeights& weights,
                             const double* state, double* ratings, ExpKind exp);
    void (*trainTowardsNext)(avx2::Columns& columns, const double* x, const double* next,
                             double discount, avx2::Scratch& scratch, ExpKind exp);
    void (*trainTowardsEach)(avx2::Columns& columns, const double (*states)[networkInputs],
                             int last, double discount, avx2::Scratch& scratch, ExpKind exp);
};

// The eight-lane kernels when `wide`, else the four-lane ones.
const NetworkKernels& networkKernels(bool wide);

// Those of this process's path (activeMathPath().wideUnits).
const NetworkKernels& activeKernels();

} // namespace quorvel
