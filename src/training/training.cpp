#include "training/training.h"

#include "training/episodes.h"
#include "training/evaluation_log.h"
#include "world/world.h"

#include <cassert>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

namespace quorvel {

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

TrainingSession::~TrainingSession() = default;

TrainingResult::Status TrainingSession::start() {
    if (settings_.logPath.empty()) {
        return TrainingResult::Status::emptyLogPath;
    }
    if (!logLock_.acquire(settings_.logPath)) {
        lockedPath_ = settings_.logPath;
        return TrainingResult::Status::outputLocked;
    }
    backingUp_ = settings_.runs > 0 && settings_.evaluationFrequency > backupFrequencyThreshold &&
                 !settings_.backupFolder.empty() && backupFolderProblem(settings_).empty();
    if (backingUp_ && !backupLock_.acquire(settings_.backupFolder, true)) {
        lockedPath_ = settings_.backupFolder;
        logLock_.release();
        return TrainingResult::Status::outputLocked;
    }
    if (log_.open(settings_.logPath) != FileWriteStatus::ok) {
        logLock_.release();
        backupLock_.release();
        return TrainingResult::Status::logNotOpened;
    }
    world_.missCount = 0;
    world_.collisionCount = 0;
    world_.goalCount = 0;
    if (settings_.learner == LearnerKind::hindsight) {
        // Its draws come from a sequence of its own, started from where the process's
        // sequence stands before the runs: the same seed, the same training.
        hindsight_ = std::make_unique<HindsightLearner>(
            settings_.hindsight, settings_.learningRate, settings_.discount,
            settings_.annealingNumber, settings_.runs, hindsightSeed(random::state()),
            world_.learner.network);
    }
    clock_gettime(CLOCK_REALTIME_COARSE, &started_); // the clock file times are taken from
    next_ = 0;
    steps_ = 0;
    logComplete_ = true;
    return TrainingResult::Status::completed;
}

TrainingSession::RunReport TrainingSession::runOne() {
    assert(log_.file() != nullptr && "start the session before running it");
    const int i = next_++;
    world_.placeRandomly(runPlacementMargin, runRedrawSpan);
    const int frequency = settings_.evaluationFrequency;
    if (frequency > 0 && i % frequency == 0) {
        bool overwrote = false;
        bool failed = false;
        if (backingUp_) {
            // This training writes each backup once: one younger than the training is another's.
            const std::string path = backupPath(settings_.backupFolder, i);
            struct stat old;
            overwrote =
                stat(path.c_str(), &old) == 0 &&
                (old.st_mtim.tv_sec > started_.tv_sec || (old.st_mtim.tv_sec == started_.tv_sec &&
                                                          old.st_mtim.tv_nsec >= started_.tv_nsec));
            // A backup that cannot be written is counted, and the training goes on.
            failed = !world_.learner.saveWeights(path.c_str());
            if (!failed) {
                ++backups_.written;
            } else if (backups_.failed++ == 0) {
                backups_.firstFailed = path;
            }
        }
        if (settings_.recordPlacements) {
            placements_.push_back({i, world_.placement()});
        }
        const EvaluationRecord record = runEvaluationEpisode(world_);
        steps_ += record.steps;
        const bool written = writeEvaluationLine(log_.file(), record);
        logComplete_ = std::fflush(log_.file()) == 0 && written && logComplete_;
        return {i, true, record.end, overwrote, failed};
    }
    if (hindsight_) {
        const TrainingEpisodeResult result = hindsight_->runEpisode(world_, i);
        steps_ += result.steps;
        return {i, false, result.end, false, false};
    }
    const Exploration x = explorationSchedule(settings_.annealingNumber, i);
    const TrainingEpisodeResult result =
        runTrainingEpisode(world_, x.floor, x.exponent, trainingBaseline, settings_.learningRate,
                           settings_.discount, settings_.qLearn);
    steps_ += result.steps;
    return {i, false, result.end, false, false};
}

TrainingProgress TrainingSession::progress() const {
    return {next_, settings_.runs, world_.goalCount, world_.collisionCount, world_.missCount,
            steps_};
}

TrainingResult TrainingSession::finish(bool cancelled) {
    TrainingResult result;
    if (log_.file() != nullptr) {
        // An incomplete log is not put in place: the one there before is kept.
        logComplete_ = log_.commit(logComplete_) == FileWriteStatus::ok;
    }
    logLock_.release();
    backupLock_.release();
    if (hindsight_) {
        result.updates = hindsight_->updates();
        hindsight_.reset(); // its memory goes as soon as the runs end
    }
    result.status =
        cancelled ? TrainingResult::Status::cancelled : TrainingResult::Status::completed;
    result.counts = progress();
    result.logComplete = logComplete_;
    result.backups = backups_;
    result.placements = std::move(placements_);
    return result;
}

TrainingResult runTraining(World& world, const TrainingSettings& settings,
                           const ProgressCallback& onProgress, const std::atomic<bool>* cancel) {
    TrainingSession session(world, settings);
    TrainingResult result;
    result.status = session.start();
    result.lockedPath = session.lockedPath();
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

const char* const nonFiniteNetworkWarning =
    "The network holds values that are not finite numbers (NaN or infinity), as a network "
    "that diverged does: every rating it gives is not a number, and the training will not "
    "change that. Load other weights to learn anew.";

int backupsDue(const TrainingSettings& settings) {
    return settings.evaluationFrequency > backupFrequencyThreshold && !settings.backupFolder.empty()
               ? expectedEvaluations(settings)
               : 0;
}

std::string aboutBytes(double bytes) {
    const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 4) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, bytes < 10 && unit > 0 ? "about %.1f %s" : "about %.0f %s",
                  bytes, units[unit]);
    return text;
}

std::string earlierBackupsNotice(const TrainingSettings& settings) {
    if (backupsDue(settings) == 0 || !backupFolderProblem(settings).empty()) {
        return {};
    }
    const int earlier = backupsIn(settings.backupFolder);
    if (earlier == 0) {
        return {};
    }
    return "The backup folder \"" + settings.backupFolder + "\" holds " + std::to_string(earlier) +
           (earlier == 1 ? " backup" : " backups") +
           " of earlier trainings; this training's backups replace those of the same runs.";
}

std::string defaultBackupFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return {};
    }
    return std::string(home) + "/nnet_backup";
}

int backupsIn(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        int run = 0;
        char tail[8] = {};
        const std::string name = it->path().filename().string();
        if (std::sscanf(name.c_str(), "nnet_%d_default.nnet%1s", &run, tail) == 1 &&
            name == backupPath("", run).substr(1)) {
            ++count;
        }
    }
    return count;
}

std::string backupPath(const std::string& folder, int run) {
    char name[64];
    std::snprintf(name, sizeof name, "nnet_%d_default.nnet", run);
    return folder + "/" + name;
}

} // namespace quorvel
