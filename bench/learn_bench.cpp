#include "learn/frozen_rater.h"
#include "learn/training_pass.h"
#include "learn/vector_exp.h"
#include "workload.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quorvel {
namespace {

void prepareState(World& world) {
    world.placeAt(0, 0, 0.3);
    world.sense();
    world.learner.encodeRanges(0, world.sensor.ranges.data());
    const Vec2 g = world.toRobotFrame(world.goal);
    world.learner.encodeGoal(0, g.x, g.y);
}

// Six network evaluations of one state, the weights laid out once as an episode does.
void BM_RateActions(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    const FrozenRater rater(world->learner.network);
    for (auto _ : state) {
        world->learner.rateActions(0, rater);
        benchmark::DoNotOptimize(world->learner.ratings);
    }
}
BENCHMARK(BM_RateActions);

// The same ratings within their bound, as an episode takes them where they decide the choice.
void BM_RateRoughly(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    const FrozenRater rater(world->learner.network);
    for (auto _ : state) {
        rater.rateRoughly(world->learner.history[0], world->learner.ratings);
        benchmark::DoNotOptimize(world->learner.ratings);
    }
}
BENCHMARK(BM_RateRoughly);

void BM_Evaluate(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->learner.network.evaluate(world->learner.history[0]));
    }
}
BENCHMARK(BM_Evaluate);

// Training steps within one pass, as the backward sweeps take them.
void BM_TrainStep(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    world->learner.network.learningRate = 1e-9; // keep the weights where they are
    TrainingPass pass(world->learner.network);
    for (auto _ : state) {
        pass.train(world->learner.history[0], 0.7);
    }
}
BENCHMARK(BM_TrainStep);

void BM_TrainTowardsNext(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    std::copy(world->learner.history[0], world->learner.history[0] + networkInputs,
              world->learner.history[1]);
    setActionEntries(world->learner.history[1], 3);
    world->learner.network.learningRate = 1e-9;
    TrainingPass pass(world->learner.network);
    for (auto _ : state) {
        pass.trainTowardsNext(world->learner.history[0], world->learner.history[1], 0.9);
    }
}
BENCHMARK(BM_TrainTowardsNext);

// A training step and a rating of another network's together, as the hindsight learner takes
// them: against BM_TrainStep plus BM_RateActions.
void BM_TrainWhileRating(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    QNetwork target = world->learner.network;
    const FrozenRater rater(target);
    world->learner.network.learningRate = 1e-9;
    TrainingPass pass(world->learner.network);
    double input[networkInputs];
    std::copy(world->learner.history[0], world->learner.history[0] + networkInputs, input);
    for (auto _ : state) {
        pass.trainWhileRating(world->learner.history[0], 0.7, rater, input, world->learner.ratings);
        benchmark::DoNotOptimize(world->learner.ratings);
    }
}
BENCHMARK(BM_TrainWhileRating);

void BM_ChooseAction(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    world->learner.rateActions(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->learner.chooseAction(0.3, 14.3));
    }
}
BENCHMARK(BM_ChooseAction);

// exp of 1024 values spread over the sums a network meets, per value: the C library's scalar
// exp against the four-lane replica this process chose.
std::vector<double> expInputs() {
    std::vector<double> in(1024);
    std::uint64_t state = 12345;
    for (double& x : in) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        x = (static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5) * 40;
    }
    return in;
}

void BM_ExpScalar(benchmark::State& state) {
    const std::vector<double> in = expInputs();
    std::vector<double> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); ++i) {
            out[i] = std::exp(in[i]);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
    state.counters["ns_per_value"] =
        benchmark::Counter(static_cast<double>(state.iterations() * in.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExpScalar);

void BM_ExpVector(benchmark::State& state) {
    const ExpKind kind = chosenExp();
    if (kind == ExpKind::scalar) {
        state.SkipWithError("no four-lane exp on this machine");
        return;
    }
    const std::vector<double> in = expInputs();
    std::vector<double> out(in.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < in.size(); i += 4) {
            exp4(kind, &in[i], &out[i]);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
    state.counters["ns_per_value"] =
        benchmark::Counter(static_cast<double>(state.iterations() * in.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExpVector);

} // namespace
} // namespace quorvel
