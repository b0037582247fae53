#include "workload.h"

#include <benchmark/benchmark.h>

namespace quorvel {
namespace {

void prepareState(World& world) {
    world.placeAt(0, 0, 0.3);
    world.sense();
    world.learner.encodeRanges(0, world.sensor.ranges.data());
    const Vec2 g = world.toRobotFrame(world.goal);
    world.learner.encodeGoal(0, g.x, g.y);
}

// Six network evaluations of one state.
void BM_RateActions(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    for (auto _ : state) {
        world->learner.rateActions(0);
        benchmark::DoNotOptimize(world->learner.ratings);
    }
}
BENCHMARK(BM_RateActions);

void BM_Evaluate(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->learner.network.evaluate(world->learner.history[0]));
    }
}
BENCHMARK(BM_Evaluate);

void BM_TrainStep(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    world->learner.network.learningRate = 1e-9; // keep the weights where they are
    for (auto _ : state) {
        world->learner.network.train(world->learner.history[0], 0.7);
    }
}
BENCHMARK(BM_TrainStep);

void BM_ChooseAction(benchmark::State& state) {
    auto world = bench::standardWorld();
    prepareState(*world);
    world->learner.rateActions(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(world->learner.chooseAction(0.3, 14.3));
    }
}
BENCHMARK(BM_ChooseAction);

} // namespace
} // namespace quorvel
