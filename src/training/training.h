#pragma once

#include "common/files.h"
#include "training/episodes.h"
#include "training/hindsight.h"
#include "world/world.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

// Everything a training is asked to do. The values a person should try first are written in
// one place above this layer (recommendedTraining); these are only the fields.
struct TrainingSettings {
    int runs = 0;
    std::string logPath;
    int evaluationFrequency = 0; // 0 or negative: every run is a training run
    double learningRate = 0;
    double discount = 0;
    // The runs until exploring is halfway to exploiting (the schedule's A).
    double annealingNumber = 0;
    // Episodes of random length learning from the next step's value, rather than whole
    // episodes learning from their outcome.
    bool qLearn = false;
    // Folder of the weight backups written before evaluation runs when the frequency
    // exceeds 20; empty: no backups.
    std::string backupFolder;
    // Keep where each evaluation run placed robot and goal (to search them afterwards).
    bool recordPlacements = false;
    // The learner of the training runs. The hindsight learner uses the learning rate and the
    // discount above, the annealing number with its annealed choice, and not qLearn.
    LearnerKind learner = LearnerKind::online;
    HindsightSettings hindsight = defaultHindsight().settings;
};

inline constexpr double trainingBaseline = 0.6;
// A run places robot and goal at least goalRadius + 5 apart along each axis, drawing the goal
// again over the whole span of 150 while they are nearer.
inline constexpr double runPlacementMargin = 5;
inline constexpr double runRedrawSpan = 150;
inline constexpr int backupFrequencyThreshold = 20;

// The exploration parameters of training run i with annealing number a.
struct Exploration {
    double floor;
    double exponent;
};
Exploration explorationSchedule(double annealingNumber, int run);

// How many evaluation runs a training of these settings holds: the multiples of the frequency
// below the number of runs (none for a frequency of 0 or below).
int expectedEvaluations(const TrainingSettings& settings);

// Counts so far, reported after every run.
struct TrainingProgress {
    int runsDone = 0;
    int runs = 0;
    int goals = 0;
    int collisions = 0;
    int misses = 0;
    long long steps = 0; // agent steps of all runs so far
};

// Where an evaluation run placed robot and goal.
struct EvaluationPlacement {
    int run = 0;
    World::Placement placement;
};

// The weight backups a training wrote, and those that could not be written.
struct BackupCounts {
    int written = 0;
    int failed = 0;
    std::string firstFailed; // the path of the first that could not be written
};

struct TrainingResult {
    enum class Status { completed, cancelled, emptyLogPath, logNotOpened, outputLocked };
    Status status = Status::completed;
    TrainingProgress counts;
    // False when a log line could not be written: the log was then not put in place, and a
    // log there before is as it was.
    bool logComplete = true;
    BackupCounts backups;
    std::string lockedPath; // with outputLocked: the output another training writes
    std::vector<EvaluationPlacement> placements; // with recordPlacements
    long long updates = 0; // the hindsight learner's updates (none by the on-line learner)
    bool ranRuns() const { return status == Status::completed || status == Status::cancelled; }
};

// A training that runs one run at a time, so a caller can interleave it with other work.
// The World must not be touched by anyone else between start and finish.
class TrainingSession {
  public:
    TrainingSession(World& world, TrainingSettings settings);
    ~TrainingSession();
    TrainingSession(const TrainingSession&) = delete;
    TrainingSession& operator=(const TrainingSession&) = delete;

    // Claims the log and the backup folder (another training writing either: outputLocked),
    // opens the log beside its name, and clears the counters. Anything but completed means no
    // run will take place and the counters are untouched.
    TrainingResult::Status start();
    // With outputLocked: the output that another training writes.
    const std::string& lockedPath() const { return lockedPath_; }
    bool done() const { return next_ >= settings_.runs; }
    struct RunReport {
        int run = 0;
        bool evaluation = false;
        DriveEnd end = DriveEnd::outOfSteps;
        // The run's weight backup replaced one that another training wrote after this one
        // started (two trainings share a backup folder).
        bool backupOverwrote = false;
        bool backupFailed = false; // the run's weight backup could not be written
    };
    // Places robot and goal and runs one evaluation or training episode.
    RunReport runOne();
    const TrainingSettings& settings() const { return settings_; }
    const World& world() const { return world_; }
    TrainingProgress progress() const;
    const BackupCounts& backups() const { return backups_; }
    // Puts the log in place, whole (completed or cancelled, it keeps what was learnt);
    // `cancelled` says whether the runs stopped before the last one.
    TrainingResult finish(bool cancelled);

  private:
    World& world_;
    TrainingSettings settings_;
    OutputLock logLock_;
    OutputLock backupLock_;
    std::string lockedPath_;
    AtomicFile log_;
    bool backingUp_ = false; // backups are due and their folder was there at the start
    BackupCounts backups_;
    std::vector<EvaluationPlacement> placements_;
    std::unique_ptr<HindsightLearner> hindsight_;
    struct timespec started_ = {}; // when start() opened the log, on the file system's clock
    int next_ = 0;
    long long steps_ = 0;
    bool logComplete_ = true;
};

using ProgressCallback =
    std::function<void(const TrainingProgress&, const TrainingSession::RunReport&)>;

// The whole training in one call. onProgress (if set) is called after every run, with the
// counts so far and what that run was; the training stops after the run in progress once
// *cancel (if set) becomes true.
TrainingResult runTraining(World& world, const TrainingSettings& settings,
                           const ProgressCallback& onProgress = {},
                           const std::atomic<bool>* cancel = nullptr);

// "Ran %d training iterations, ..." with the runs actually done and the counts.
std::string trainingSummary(const TrainingProgress& counts);

// When the settings call for weight backups (an evaluation frequency above 20) but their
// folder is missing or is not a folder: a sentence saying so, and that the training goes on
// without them. Empty when backups can be written or none are due.
std::string backupFolderProblem(const TrainingSettings& settings);

// When backups are due into a folder that holds backups of earlier trainings: a sentence
// saying how many, and that this training's replace those of the same runs. Empty otherwise.
std::string earlierBackupsNotice(const TrainingSettings& settings);

// How many weight backups a training of these settings writes (one before each evaluation
// run, when the frequency exceeds 20), and "about 40 MB" for that many of `fileBytes` each.
int backupsDue(const TrainingSettings& settings);
std::string aboutBytes(double bytes);

// Said before a training from a network that holds values that are not finite.
extern const char* const nonFiniteNetworkWarning;

// The default backup folder: nnet_backup in the user's home folder (empty without HOME).
std::string defaultBackupFolder();

// The backup file of run i in folder.
std::string backupPath(const std::string& folder, int run);

// How many backup files (nnet_<run>_default.nnet) the folder holds.
int backupsIn(const std::string& folder);

} // namespace quorvel
