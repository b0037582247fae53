#include "learn/training_pass.h"

#include "learn/network_kernel_set.h"
#include "learn/q_learner.h"

namespace quorvel {

TrainingPass::TrainingPass(QNetwork& network) : network_(network) {
    if (activeMathPath().vectorUnits) {
        avx2::pack(network, columns_);
    }
}

TrainingPass::~TrainingPass() {
    writeBack();
}

void TrainingPass::train(const double* x, double target) {
    const MathPath& path = activeMathPath();
    if (!path.vectorUnits) {
        network_.train(x, target);
        return;
    }
    activeKernels().train(columns_, x, target, scratch_, path.exp);
    stepped_ = true;
}

void TrainingPass::trainTowardsNext(const double* x, const double* next, double discount) {
    const MathPath& path = activeMathPath();
    if (!path.vectorUnits) {
        network_.trainTowardsNext(x, next, discount);
        return;
    }
    activeKernels().trainTowardsNext(columns_, x, next, discount, scratch_, path.exp);
    stepped_ = true;
}

void TrainingPass::trainTowardsEach(const double (*states)[networkInputs], int last,
                                    double discount) {
    const MathPath& path = activeMathPath();
    if (!path.vectorUnits) {
        for (int k = last - 1; k >= 0; --k) {
            network_.trainTowardsNext(states[k], states[k + 1], discount);
        }
        return;
    }
    if (last > 0) {
        activeKernels().trainTowardsEach(columns_, states, last, discount, scratch_, path.exp);
        stepped_ = true;
    }
}

void TrainingPass::trainWhileRating(const double* x, double target, const FrozenRater& rater,
                                    double* input, double* ratings) {
    const MathPath& path = activeMathPath();
    if (!path.vectorUnits) {
        train(x, target);
        rater.rate(input, ratings);
        return;
    }
    activeKernels().trainWhileRating(columns_, x, target, scratch_, rater.weights_, input, ratings,
                                     path.exp);
    setActionEntries(input, QLearner::actionCount - 1); // as the rater leaves it
    stepped_ = true;
}

void TrainingPass::writeBack() {
    if (!stepped_) {
        return;
    }
    avx2::unpack(columns_, network_);
    avx2::writeScratch(scratch_, true, network_);
    stepped_ = false;
}

} // namespace quorvel
