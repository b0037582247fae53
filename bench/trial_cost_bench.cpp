// What trial drives cost a training shown in its window: one long training whose trials are
// switched on and off in turns, the runs per second of every phase measured, and the medians
// of both kinds compared. Needs a display (scripts/bench.sh starts a virtual one).
#include "app/training_window.h"
#include "common/random.h"
#include "training/training_job.h"
#include "world/world.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace quorvel {
namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One training of the standard workload in the window, phases of `phaseMs` taking turns with
// trials on and off; with `displays`, the value map and the action values too; the trials at
// the pace of driveSpeeds[speed].
void BM_TrialCost(benchmark::State& state) {
    const bool displays = state.range(0) != 0;
    const int speed = static_cast<int>(state.range(1));
    constexpr int phases = 12;
    constexpr qint64 phaseMs = 2500;
    for (auto _ : state) {
        random::restart();
        auto world = std::make_unique<World>(10, 10, 0, 0, 0);
        world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
        world->placeRobotAndGoal();
        TrainingSettings settings;
        settings.runs = 10000000;
        settings.logPath = "/dev/null";
        settings.evaluationFrequency = 100;
        settings.learningRate = 0.1;
        settings.discount = 0.9;
        settings.annealingNumber = 200;
        TrainingJob job(*world, settings);
        job.start();
        TrainingWindow window(job, {}, {displays, displays});
        QComboBox* speeds = window.findChild<QComboBox*>();
        speeds->setCurrentIndex(speed);
        emit speeds->activated(speed); // as a person's choice
        window.show();
        std::vector<double> on, off;
        int phase = 0;
        int runsAtPhase = 0;
        QElapsedTimer clock;
        clock.start();
        QTimer turns;
        turns.setInterval(static_cast<int>(phaseMs));
        QObject::connect(&turns, &QTimer::timeout, [&] {
            const int runs = window.shownProgress().runsDone;
            const double rate = (runs - runsAtPhase) * 1000.0 / clock.restart();
            if (phase > 0) { // the first phase warms up
                (window.trialsBox()->isChecked() ? on : off).push_back(rate);
            }
            runsAtPhase = runs;
            window.trialsBox()->setChecked(!window.trialsBox()->isChecked());
            if (++phase > phases) {
                window.reject(); // cancels the runs; once they have stopped, closes
            }
            if (window.runsEnded()) {
                // The report over the window, then the window.
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    box->accept();
                }
                window.reject();
            }
        });
        turns.start();
        window.exec();
        const double medianOn = median(on), medianOff = median(off);
        state.counters["runs_per_s_trials_on"] = medianOn;
        state.counters["runs_per_s_trials_off"] = medianOff;
        state.counters["cost_percent"] = 100 * (1 - medianOn / medianOff);
    }
}
BENCHMARK(BM_TrialCost)
    ->ArgsProduct({{0, 1}, {0, 2, 3}})
    ->ArgNames({"displays", "speed"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
