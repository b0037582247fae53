#include "workload.h"

#include <benchmark/benchmark.h>

namespace quorvel {
namespace {

// One full sensing: 22 rays against 7 obstacles of 10 vertices, from poses among them.
void BM_Sense(benchmark::State& state) {
    auto world = bench::standardWorld();
    world->placeAt(0, 0, 0.3);
    for (auto _ : state) {
        world->sensor.resetRanges(30);
        world->sense();
        benchmark::DoNotOptimize(world->sensor.ranges.data());
    }
}
BENCHMARK(BM_Sense);

// The same casts without skipping obstacles out of reach.
void BM_SenseEveryObstacle(benchmark::State& state) {
    auto world = bench::standardWorld();
    world->placeAt(0, 0, 0.3);
    for (auto _ : state) {
        world->sensor.resetRanges(30);
        for (int k = 0; k < world->obstacleCount; ++k) {
            world->sensor.cast(world->obstacles[k].vertices.data(),
                               world->obstacles[k].vertexCount);
        }
        benchmark::DoNotOptimize(world->sensor.ranges.data());
    }
}
BENCHMARK(BM_SenseEveryObstacle);

// One move with its collision tests, undone when refused, as an episode step makes it.
void BM_MoveRobot(benchmark::State& state) {
    auto world = bench::standardWorld();
    world->placeAt(0, 0, 0.3);
    int steering = -1;
    for (auto _ : state) {
        const bool moved = world->moveRobot(steering, -1);
        benchmark::DoNotOptimize(moved);
        world->moveRobot(steering, 1);
        steering = steering == 1 ? -1 : steering + 1;
    }
}
BENCHMARK(BM_MoveRobot);

} // namespace
} // namespace quorvel
