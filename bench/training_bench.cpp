#include "training/training.h"
#include "workload.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace quorvel {
namespace {

// The standard training workload: evaluation every 100, learning rate 0.1, discount 0.9,
// annealing 200; the first argument 1 turns q-learn on, the second is the number of runs
// (20000 for the ratios; 8000, the size the trainer's default training is measured against).
void BM_Training(benchmark::State& state) {
    const std::string log = "/tmp/quorvel-bench-" + std::to_string(getpid()) + ".dat";
    long long steps = 0;
    long long runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto world = bench::standardWorld();
        TrainingSettings settings;
        settings.runs = static_cast<int>(state.range(1));
        settings.logPath = log;
        settings.evaluationFrequency = 100;
        settings.learningRate = 0.1;
        settings.discount = 0.9;
        settings.annealingNumber = 200;
        settings.qLearn = state.range(0) != 0;
        state.ResumeTiming();
        const TrainingResult result = runTraining(*world, settings);
        steps += result.counts.steps;
        runs += result.counts.runsDone;
    }
    std::remove(log.c_str());
    state.counters["steps_per_s"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
    state.counters["episodes_per_s"] =
        benchmark::Counter(static_cast<double>(runs), benchmark::Counter::kIsRate);
    state.counters["steps_per_run"] = static_cast<double>(steps) / static_cast<double>(runs);
}
BENCHMARK(BM_Training)
    ->Args({0, 20000})
    ->Args({1, 20000})
    ->Args({1, 8000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The hindsight learner's updates alone: a memory filled by its own drives on the standard
// field (the default settings' warm-up), then samples learnt from it, 10000 an iteration.
void BM_HindsightUpdates(benchmark::State& state) {
    auto world = bench::standardWorld();
    const auto learner = bench::warmedHindsightLearner(*world);
    constexpr int batch = 10000;
    for (auto _ : state) {
        learner->update(*world, batch);
    }
    state.counters["updates_per_s"] =
        benchmark::Counter(static_cast<double>(batch) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HindsightUpdates)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole hindsight training of the workload's field with the default settings: its drives,
// their storing and its updates.
void BM_HindsightTraining(benchmark::State& state) {
    const std::string log = "/tmp/quorvel-bench-hindsight-" + std::to_string(getpid()) + ".dat";
    long long steps = 0;
    long long updates = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto world = bench::standardWorld();
        const HindsightDefaults d = defaultHindsight();
        TrainingSettings settings;
        settings.runs = 20000;
        settings.logPath = log;
        settings.evaluationFrequency = 100;
        settings.learningRate = d.learningRate;
        settings.discount = d.discount;
        settings.learner = LearnerKind::hindsight;
        settings.hindsight = d.settings;
        state.ResumeTiming();
        const TrainingResult result = runTraining(*world, settings);
        steps += result.counts.steps;
        updates += result.updates;
    }
    std::remove(log.c_str());
    state.counters["steps_per_s"] =
        benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
    state.counters["updates_per_s"] =
        benchmark::Counter(static_cast<double>(updates), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HindsightTraining)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace quorvel
