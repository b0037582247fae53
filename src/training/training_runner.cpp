#include "training/training_runner.h"

#include "world/world.h"

namespace quorvel {

TrainingRunner::TrainingRunner(TrainingSession& session, LiveCurve* curve)
    : session_(session), curve_(curve), progress_(session.progress()),
      network_(session.world().learner.network) {}

TrainingRunner::~TrainingRunner() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TrainingRunner::start() {
    thread_ = std::thread([this] { run(); });
}

void TrainingRunner::run() {
    while (!session_.done() && !cancelRequested_.load(std::memory_order_relaxed)) {
        const TrainingSession::RunReport report = session_.runOne();
        const std::lock_guard lock(mutex_);
        progress_ = session_.progress();
        if (report.evaluation && curve_ != nullptr) {
            curve_->add(report.run, report.end);
        }
        if (networkWanted_) {
            network_ = session_.world().learner.network;
            networkRuns_ = progress_.runsDone;
            networkWanted_ = false;
            served_.notify_all();
        }
    }
    const std::lock_guard lock(mutex_);
    cancelled_ = !session_.done();
    stopped_ = true;
    served_.notify_all();
}

bool TrainingRunner::finished() {
    {
        const std::lock_guard lock(mutex_);
        if (!stopped_) {
            return false;
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    return true;
}

TrainingProgress TrainingRunner::progress() const {
    const std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<CurvePoint> TrainingRunner::curvePoints(std::size_t from) const {
    const std::lock_guard lock(mutex_);
    if (curve_ == nullptr || from >= curve_->points().size()) {
        return {};
    }
    return {curve_->points().begin() + static_cast<std::ptrdiff_t>(from), curve_->points().end()};
}

int TrainingRunner::copyNetwork(QNetwork& out) {
    std::unique_lock lock(mutex_);
    if (thread_.joinable() && !stopped_) {
        networkWanted_ = true;
        served_.wait(lock, [this] { return !networkWanted_ || stopped_; });
        if (!networkWanted_) {
            out = network_;
            return networkRuns_;
        }
        networkWanted_ = false;
    }
    // No run is going on: the World's network is at rest.
    out = session_.world().learner.network;
    return session_.progress().runsDone;
}

} // namespace quorvel
