#pragma once

#include "learn/q_network.h"
#include "training/evaluation_curve.h"
#include "training/training.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

// Runs a started training session on a thread of its own, so that whatever shows it (figures,
// curve, trial drives) costs the runs nothing but a lock between two of them. Between runs the
// runner publishes the counts, adds evaluation runs to the curve and, when asked, copies the
// network. Until finished(), nobody else may touch the session's World or the process's random
// sequence; the runs draw from it exactly as they would on the caller's thread.
class TrainingRunner {
  public:
    // The curve (if any) receives every evaluation run.
    TrainingRunner(TrainingSession& session, LiveCurve* curve);
    // Cancels the runs and waits for the one in progress.
    ~TrainingRunner();
    TrainingRunner(const TrainingRunner&) = delete;
    TrainingRunner& operator=(const TrainingRunner&) = delete;

    void start();
    // Stops after the run in progress.
    void cancel() { cancelRequested_.store(true, std::memory_order_relaxed); }
    // The runs have stopped, all done or cancelled; the thread is gone.
    bool finished();
    // Whether the runs stopped before the last one; meaningful once finished.
    bool cancelled() const { return cancelled_; }

    TrainingProgress progress() const;
    // The curve's points from index `from` on.
    std::vector<CurvePoint> curvePoints(std::size_t from) const;
    // Copies the network as it stands between two runs (waiting for the run in progress) and
    // returns the runs done by then.
    int copyNetwork(QNetwork& out);

  private:
    void run();

    TrainingSession& session_;
    LiveCurve* curve_;
    std::thread thread_;
    std::atomic<bool> cancelRequested_{false};
    mutable std::mutex mutex_;
    std::condition_variable served_;
    // Under the mutex:
    TrainingProgress progress_;
    bool networkWanted_ = false;
    QNetwork network_;
    int networkRuns_ = 0;
    bool stopped_ = false;
    bool cancelled_ = false;
};

} // namespace quorvel
