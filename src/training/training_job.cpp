#include "training/training_job.h"

#include "common/random.h"
#include "world/world.h"

#include <utility>

namespace quorvel {

TrainingJob::TrainingJob(World& world, TrainingSettings settings)
    : world_(world), session_(world, std::move(settings)), curve_(session_.settings()) {}

TrainingJob::~TrainingJob() {
    cancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

double TrainingJob::secondsSince(std::chrono::steady_clock::time_point t) const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

TrainingResult::Status TrainingJob::start() {
    start_ = std::make_unique<World>(world_);
    startRandomState_ = random::state();
    startStatus_ = session_.start();
    published_.progress = session_.progress();
    if (startStatus_ != TrainingResult::Status::completed) {
        published_.stopped = true;
        return startStatus_;
    }
    started_ = std::chrono::steady_clock::now();
    worker_ = std::thread([this] { run(); });
    return startStatus_;
}

void TrainingJob::run() {
    while (!session_.done() && !cancel_.load(std::memory_order_relaxed)) {
        const TrainingSession::RunReport report = session_.runOne();
        const bool newPoint = report.evaluation && curve_.add(report.run, report.end);
        const bool wanted = networkWanted_.exchange(false, std::memory_order_relaxed);
        const std::lock_guard lock(mutex_);
        published_.progress = session_.progress();
        if (newPoint) {
            published_.newPoints.push_back(curve_.points().back());
        }
        if (wanted) {
            published_.network = NetworkAtRun{world_.learner.network, published_.progress.runsDone};
        }
        published_.backupOverwrote = published_.backupOverwrote || report.backupOverwrote;
        if (report.backupFailed || (report.evaluation && session_.backups().written > 0)) {
            published_.backups = session_.backups();
        }
    }
    const std::lock_guard lock(mutex_);
    published_.network = NetworkAtRun{world_.learner.network, session_.progress().runsDone};
    stoppedAfter_ = secondsSince(started_);
    published_.stopped = true;
}

TrainingSnapshot TrainingJob::snapshot() {
    TrainingSnapshot taken;
    const std::lock_guard lock(mutex_);
    taken.progress = published_.progress;
    taken.elapsedSeconds = published_.stopped ? stoppedAfter_ : secondsSince(started_);
    taken.newPoints.swap(published_.newPoints);
    taken.network.swap(published_.network);
    taken.backupOverwrote = published_.backupOverwrote;
    taken.backups = published_.backups;
    taken.stopped = published_.stopped;
    return taken;
}

TrainingOutcome TrainingJob::finish() {
    TrainingOutcome outcome;
    outcome.settings = session_.settings();
    if (startStatus_ != TrainingResult::Status::completed || start_ == nullptr) {
        outcome.result.status = startStatus_;
        outcome.result.counts = session_.progress();
        outcome.result.lockedPath = session_.lockedPath();
        return outcome;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    if (!finished_) {
        finished_ = true;
        result_ = session_.finish(!session_.done());
    }
    outcome.result = result_;
    outcome.curve = curve_;
    outcome.elapsedSeconds = stoppedAfter_;
    return outcome;
}

} // namespace quorvel
