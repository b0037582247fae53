#include "training/training.h"

#include "training/episodes.h"
#include "training/evaluation_log.h"
#include "world/world.h"

#include <cassert>
#include <cstdlib>
#include <sys/stat.h>
#include <utility>

namespace quorvel {

namespace {
constexpr double runPlacementMargin = 5;
constexpr double runRedrawSpan = 150;
} // namespace

Exploration explorationSchedule(double annealingNumber, int run) {
    const double denominator = annealingNumber + run;
    const double t = denominator == 0 ? 1 : annealingNumber / denominator;
    return {t, 20 - 19 * t};
}

int expectedEvaluations(const TrainingSettings& settings) {
    const int frequency = settings.evaluationFrequency;
    if (frequency <= 0 || settings.runs <= 0) {
        return 0;
    }
    return (settings.runs - 1) / frequency + 1; // runs 0, F, 2F, ... below the run count
}

TrainingSession::TrainingSession(World& world, TrainingSettings settings)
    : world_(world), settings_(std::move(settings)) {}

TrainingSession::~TrainingSession() {
    if (log_ != nullptr) {
        std::fclose(log_);
    }
}

TrainingResult::Status TrainingSession::start() {
    if (settings_.logPath.empty()) {
        return TrainingResult::Status::emptyLogPath;
    }
    log_ = std::fopen(settings_.logPath.c_str(), "w");
    if (log_ == nullptr) {
        return TrainingResult::Status::logNotOpened;
    }
    world_.missCount = 0;
    world_.collisionCount = 0;
    world_.goalCount = 0;
    clock_gettime(CLOCK_REALTIME_COARSE, &started_); // the clock file times are taken from
    next_ = 0;
    steps_ = 0;
    logComplete_ = true;
    return TrainingResult::Status::completed;
}

TrainingSession::RunReport TrainingSession::runOne() {
    assert(log_ != nullptr && "start the session before running it");
    const int i = next_++;
    world_.placeRandomly(runPlacementMargin, runRedrawSpan);
    const int frequency = settings_.evaluationFrequency;
    if (frequency > 0 && i % frequency == 0) {
        bool overwrote = false;
        if (frequency > backupFrequencyThreshold && !settings_.backupFolder.empty()) {
            // This training writes each backup once: one younger than the training is another's.
            const std::string path = backupPath(settings_.backupFolder, i);
            struct stat old;
            overwrote =
                stat(path.c_str(), &old) == 0 &&
                (old.st_mtim.tv_sec > started_.tv_sec || (old.st_mtim.tv_sec == started_.tv_sec &&
                                                          old.st_mtim.tv_nsec >= started_.tv_nsec));
            // A backup that cannot be written is skipped.
            (void)world_.learner.saveWeights(path.c_str());
        }
        const EvaluationRecord record = runEvaluationEpisode(world_);
        steps_ += record.steps;
        const bool written = writeEvaluationLine(log_, record);
        logComplete_ = std::fflush(log_) == 0 && written && logComplete_;
        return {i, true, record.end, overwrote};
    }
    const Exploration x = explorationSchedule(settings_.annealingNumber, i);
    const TrainingEpisodeResult result =
        runTrainingEpisode(world_, x.floor, x.exponent, trainingBaseline, settings_.learningRate,
                           settings_.discount, settings_.qLearn);
    steps_ += result.steps;
    return {i, false, result.end, false};
}

TrainingProgress TrainingSession::progress() const {
    return {next_, settings_.runs, world_.goalCount, world_.collisionCount, world_.missCount,
            steps_};
}

TrainingResult TrainingSession::finish(bool cancelled) {
    TrainingResult result;
    if (log_ != nullptr) {
        logComplete_ = std::fclose(log_) == 0 && logComplete_;
        log_ = nullptr;
    }
    result.status =
        cancelled ? TrainingResult::Status::cancelled : TrainingResult::Status::completed;
    result.counts = progress();
    result.logComplete = logComplete_;
    return result;
}

TrainingResult runTraining(World& world, const TrainingSettings& settings,
                           const ProgressCallback& onProgress, const std::atomic<bool>* cancel) {
    TrainingSession session(world, settings);
    TrainingResult result;
    result.status = session.start();
    if (result.status != TrainingResult::Status::completed) {
        result.counts = {0, settings.runs, world.goalCount, world.collisionCount, world.missCount,
                         0};
        return result;
    }
    bool cancelled = false;
    while (!session.done()) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            cancelled = true;
            break;
        }
        const TrainingSession::RunReport report = session.runOne();
        if (onProgress) {
            onProgress(session.progress(), report);
        }
    }
    return session.finish(cancelled);
}

std::string trainingSummary(const TrainingProgress& counts) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Ran %d training iterations, hit the goal %d times, hit obstacles %d times, "
                  "missec completely %d times",
                  counts.runsDone, counts.goals, counts.collisions, counts.misses);
    return text;
}

std::string backupFolderProblem(const TrainingSettings& settings) {
    if (settings.evaluationFrequency <= backupFrequencyThreshold || settings.runs <= 0) {
        return {};
    }
    const std::string folder = settings.backupFolder;
    if (folder.empty()) {
        return "Weight backups are due, but there is no backup folder (HOME is not set); the "
               "training goes on without them.";
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        return "The backup folder \"" + folder +
               "\" does not exist; the training goes on without weight backups.";
    }
    if (!S_ISDIR(info.st_mode)) {
        return "The backup folder \"" + folder +
               "\" is not a folder; the training goes on without weight backups.";
    }
    return {};
}

std::string defaultBackupFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return std::string(home) + "/nnet_backup";
}

std::string backupPath(const std::string& folder, int run) {
    char name[64];
    std::snprintf(name, sizeof name, "nnet_%d_default.nnet", run);
    return folder + "/" + name;
}

} // namespace quorvel
