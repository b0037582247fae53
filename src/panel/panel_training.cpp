#include "panel/panel_commands.h"

#include "training/progress.h"
#include "training/training.h"
#include "world/world.h"

#include <filesystem>

// The panel's training, and the learning curves it shows.
namespace quorvel {

void PanelCommands::OnTrain() {
    TrainRequest request;
    const Validation v = validateTrain(
        {platform_.fieldText(Field::runs), platform_.fieldText(Field::evaluationFrequency),
         platform_.fieldText(Field::learningRate), platform_.fieldText(Field::discount),
         platform_.fieldText(Field::annealing)},
        request);
    if (!showValidation(v)) {
        return;
    }
    const std::string path =
        platform_.askSavePath("Save Evaluation Log", evaluationLogFilter, "eval.dat");
    if (path.empty()) {
        return; // the user cancelled: no training, no summary
    }

    TrainingSettings settings = trainingSettings(request, platform_.isChecked(CheckBox::qLearn),
                                                 path, defaultBackupFolder());
    settings.recordPlacements = true;       // the window may search them afterwards
    settings.learner = platform_.learner(); // with the hindsight learner's own defaults
    if (!world_.learner.network.finite()) {
        platform_.showMessage(nonFiniteNetworkWarning);
    }
    const std::string notice = prepareBackupFolder(settings);
    const World::Placement before = world_.placement();
    TrainingJob job(world_, settings);
    switch (job.start()) {
    case TrainingResult::Status::completed:
        break;
    case TrainingResult::Status::outputLocked:
        platform_.showMessage("Another training writes \"" + job.lockedPath() +
                              "\"; the training did not start.");
        return;
    default:
        platform_.showMessage("Could not create the evaluation log \"" + path +
                              "\"; the training did not start.");
        return;
    }
    // A running playback waits for the training and goes on afterwards.
    const bool wasPlaying = playing_;
    if (wasPlaying) {
        platform_.stopTimer(playbackTimerId);
    }
    const TrainingOutcome outcome = platform_.runTraining(job, notice);
    lastCurve_ = outcome.curve;
    lastReachableShare_ = outcome.reachableShare;
    lastFigures_ = figureLines(progressFigures(outcome.result.counts, outcome.elapsedSeconds),
                               outcome.cancelled());
    // The runs placed robot and goal again and again; they go back where the user put them.
    world_.restorePlacement(before);
    showChangedWorld();
    if (wasPlaying && playing_ && !paused_) {
        restartTimer(); // at the pace it had
    }
}

std::string PanelCommands::prepareBackupFolder(const TrainingSettings& settings) {
    const std::string& folder = settings.backupFolder;
    std::error_code error;
    if (backupFolderProblem(settings).empty() || folder.empty() ||
        std::filesystem::exists(folder, error)) {
        const std::string problem = backupFolderProblem(settings);
        return problem.empty() ? earlierBackupsNotice(settings) : problem;
    }
    const int due = backupsDue(settings);
    const double bytes =
        static_cast<double>(due) * static_cast<double>(weightFileBytes(world_.learner.network));
    const int answer = platform_.ask(
        "The backup folder \"" + folder +
            "\" does not exist. Create it, so that the weights are backed up before each "
            "evaluation run? This training writes " +
            std::to_string(due) + (due == 1 ? " backup" : " backups") + " there, " +
            aboutBytes(bytes) + ".",
        {"Create Folder", "Train Without Backups"});
    if (answer == 0 && !std::filesystem::create_directories(folder, error)) {
        platform_.showMessage("Could not create the backup folder \"" + folder +
                              "\": " + error.message() + ".");
    }
    return backupFolderProblem(settings);
}

void PanelCommands::OnPlotEvaluationLog() {
    const std::vector<std::string> paths =
        platform_.askOpenPaths("Plot Evaluation Log", evaluationLogFilter);
    if (paths.empty()) {
        return;
    }
    const LogCurves read = readLogCurves(paths);
    if (!read.error.empty()) {
        platform_.showMessage(read.error);
        return;
    }
    const std::vector<LabelledCurve>& curves = read.curves;
    const std::string title = curves.size() == 1
                                  ? "Evaluation Log - " + curves[0].name
                                  : "Evaluation Logs - " + std::to_string(curves.size()) + " logs";
    platform_.showEvaluationCurves(title, curves, evaluationAxisTitle, {});
}

void PanelCommands::OnShowLastLearningCurve() {
    if (!lastCurve_) {
        platform_.showMessage("No training has run yet.");
        return;
    }
    platform_.showEvaluationCurves(
        "Last Learning Curve",
        {{"last training", lastCurve_->points(), lastCurve_->window(), lastReachableShare_}},
        runAxisTitle, lastFigures_);
}

} // namespace quorvel
