#include "learn/network_kernel_set.h"

#include "learn/network_avx2.h"
#include "learn/network_avx512.h"

namespace quorvel {

namespace {

// A width's trainTowardsNext for k from last - 1 down to 0, the steps one after another in
// one call.
template <auto step>
void trainTowardsEach(avx2::Columns& columns, const double (*states)[networkInputs], int last,
                      double discount, avx2::Scratch& scratch, ExpKind exp) {
    for (int k = last - 1; k >= 0; --k) {
        step(columns, states[k], states[k + 1], discount, scratch, exp);
    }
}

} // namespace

const NetworkKernels& networkKernels(bool wide) {
    static constexpr NetworkKernels four{avx2::rateActions, avx2::train, avx2::trainWhileRating,
                                         avx2::trainTowardsNext,
                                         trainTowardsEach<avx2::trainTowardsNext>};
    static constexpr NetworkKernels eight{avx512::rateActions, avx512::train,
                                          avx512::trainWhileRating, avx512::trainTowardsNext,
                                          trainTowardsEach<avx512::trainTowardsNext>};
    return wide ? eight : four;
}

const NetworkKernels& activeKernels() {
    static const NetworkKernels& kernels = networkKernels(activeMathPath().wideUnits);
    return kernels;
}

} // namespace quorvel
