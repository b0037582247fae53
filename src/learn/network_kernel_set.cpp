#include "learn/network_kernel_set.h"

#include "learn/network_avx2.h"
#include "learn/network_avx512.h"

namespace quorvel {

const NetworkKernels& networkKernels(bool wide) {
    static constexpr NetworkKernels four{avx2::rateActions, avx2::train, avx2::trainWhileRating,
                                         avx2::trainTowardsNext, avx2::trainTowardsEach};
    static constexpr NetworkKernels eight{avx512::rateActions, avx512::train,
                                          avx512::trainWhileRating, avx512::trainTowardsNext,
                                          avx512::trainTowardsEach};
    return wide ? eight : four;
}

const NetworkKernels& activeKernels() {
    static const NetworkKernels& kernels = networkKernels(activeMathPath().wideUnits);
    return kernels;
}

} // namespace quorvel
