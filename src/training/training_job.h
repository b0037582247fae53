#pragma once

#include "learn/q_network.h"
#include "training/learning_curve.h"
#include "training/training.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quorvel {

class World;

// The network as a training had it after some runs.
struct NetworkAtRun {
    QNetwork network;
    int run = 0; // the runs done when it was copied
};

// A training as it stands between two runs, for whoever shows it.
struct TrainingSnapshot {
    TrainingProgress progress;
    double elapsedSeconds = 0;
    // The curve's points made since the previous snapshot.
    std::vector<CurvePoint> newPoints;
    // The network asked for with requestNetwork, once the worker copied it; the last snapshot
    // of a training always holds the network as the training left it.
    std::optional<NetworkAtRun> network;
    // Whether some weight backup has replaced one that another training wrote after this
    // one started; the backups written and failed so far.
    bool backupOverwrote = false;
    BackupCounts backups;
    // The runs have ended (all of them, or cancelled); finish() gives the outcome.
    bool stopped = false;
};

// How a training ended: the driver's result, its whole learning curve and how long it took.
struct TrainingOutcome {
    TrainingSettings settings;
    TrainingResult result;
    LiveCurve curve;
    double elapsedSeconds = 0;
    // From how many of its evaluation placements some drive reaches the goal, once searched.
    std::optional<double> reachableShare;

    bool cancelled() const { return result.status == TrainingResult::Status::cancelled; }
};

// One training and everything it owns: its session on the World, its live curve, its clock
// and the thread its runs go on. Whoever shows it takes snapshots, which never wait for the
// runs: the worker publishes what they show between two runs, under the one lock that guards
// only the snapshot. Until finish(), nobody else may touch the World or the process's random
// sequence; the runs draw from it exactly as they would on the caller's thread, so the bytes
// are those of runTraining.
class TrainingJob {
  public:
    TrainingJob(World& world, TrainingSettings settings);
    // Cancels the runs and waits for the one in progress.
    ~TrainingJob();
    TrainingJob(const TrainingJob&) = delete;
    TrainingJob& operator=(const TrainingJob&) = delete;

    // Keeps a copy of the World as it stands, claims and opens the log and starts the runs.
    // Anything but completed means no run will take place and the World is untouched
    // (outputLocked: lockedPath() names the output another training writes).
    TrainingResult::Status start();
    const std::string& lockedPath() const { return session_.lockedPath(); }
    // The runs stop after the one in progress.
    void cancel() { cancel_.store(true, std::memory_order_relaxed); }
    // Asks for a copy of the network: the worker makes it after the run in progress, and the
    // next snapshot after that holds it.
    void requestNetwork() { networkWanted_.store(true, std::memory_order_relaxed); }
    TrainingSnapshot snapshot();
    // Waits for the runs to stop (at once when a snapshot said they have) and gives the
    // outcome; cancelled when they stopped before the last one.
    TrainingOutcome finish();

    const TrainingSettings& settings() const { return session_.settings(); }
    // The World and the random state as they were when start() was called: where trials
    // start, and what a view shows while the runs change the World.
    const World& startWorld() const { return *start_; }
    std::uint32_t startRandomState() const { return startRandomState_; }

  private:
    void run();
    double secondsSince(std::chrono::steady_clock::time_point t) const;

    World& world_;
    TrainingSession session_;
    TrainingResult::Status startStatus_ = TrainingResult::Status::completed;
    LiveCurve curve_; // the worker's until it has stopped
    std::unique_ptr<World> start_;
    std::uint32_t startRandomState_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> networkWanted_{false};
    bool finished_ = false;
    TrainingResult result_; // once finished

    std::mutex mutex_;
    TrainingSnapshot published_; // under mutex_
    double stoppedAfter_ = 0;    // under mutex_: the seconds the runs took, once stopped
};

} // namespace quorvel
