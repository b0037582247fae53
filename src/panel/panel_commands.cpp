#include "panel/panel_commands.h"

#include "panel/panel_fields.h"
#include "training/episodes.h"
#include "training/evaluation_curve.h"
#include "training/training.h"
#include "world/world.h"

namespace quorvel {

const char* const weightsFilter =
    "Nnet Files (*.nnet)|*.nnet|Data Files (*.dat)|*.dat|Text Files (*.txt)|*.txt|All Files "
    "(*.*)|*.*||";
const char* const evaluationLogFilter =
    "Data Files (*.dat)|*.dat|Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";

namespace {
constexpr int driveDistance = 2;
} // namespace

int steeringFromSlider(const SliderState& s) {
    const double width = s.maximum - s.minimum;
    if (width == 0) {
        return 0;
    }
    return static_cast<int>(((0.5 * width - (s.position - s.minimum)) / width) * 10);
}

PanelCommands::PanelCommands(World& world, PanelPlatform& platform)
    : world_(world), platform_(platform) {}

void PanelCommands::OnViewClicked() {
    platform_.redraw();
}

void PanelCommands::drive(int distance) {
    world_.driveManually(steeringFromSlider(platform_.slider()), distance);
    platform_.redraw();
}

void PanelCommands::OnForwards() {
    drive(driveDistance);
}
void PanelCommands::OnReverse() {
    drive(-driveDistance);
}

void PanelCommands::OnGenerate() {
    GenerateRequest request;
    const Validation v =
        validateGenerate({platform_.fieldText(Field::obstacles), platform_.fieldText(Field::sides),
                          platform_.fieldText(Field::radius)},
                         request);
    if (!showValidation(v)) {
        return;
    }
    generateRequestedField(world_, request);
    platform_.redraw();
}

void PanelCommands::OnPlaceRobotAndGoal() {
    world_.placeRobotAndGoal();
    platform_.redraw();
}

void PanelCommands::OnPlayback() {
    if (!playing_) {
        playing_ = true;
        platform_.startTimer(playbackTimerId, playbackPeriodMs);
    }
}

void PanelCommands::OnStopPlayback() {
    if (playing_) {
        playing_ = false;
        platform_.stopTimer(playbackTimerId);
    }
}

void PanelCommands::OnTimer(int id) {
    if (!playing_ || id != playbackTimerId) {
        return;
    }
    if (!platform_.isChecked(CheckBox::trails)) {
        world_.trailCount = 0;
    }
    bool reached = false;
    const bool goOn = playbackStep(world_, reached);
    world_.trailColour.g = world_.lastChosenValue;
    world_.recordTrailPose();
    platform_.redraw();
    if (!goOn) {
        playing_ = false;
        platform_.stopTimer(playbackTimerId);
        if (reached) {
            platform_.showMessage("Claims to have hit goal\n");
        }
    }
}

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
    world_.annealingNumber = request.annealing;
    const std::string path = platform_.askSavePath(evaluationLogFilter);
    world_.qLearnMode = platform_.isChecked(CheckBox::qLearn);
    if (path.empty()) {
        return; // the user cancelled: no training, no summary
    }

    TrainingSession session(world_, trainingSettings(request, path, defaultBackupFolder()));
    if (session.start() != TrainingResult::Status::completed) {
        platform_.showMessage("Could not create the evaluation log \"" + path +
                              "\"; the training did not start.");
        return;
    }
    if (const std::string problem = backupFolderProblem(session.settings()); !problem.empty()) {
        platform_.showMessage(problem);
    }
    // A running playback waits for the training and goes on afterwards.
    const bool wasPlaying = playing_;
    if (wasPlaying) {
        platform_.stopTimer(playbackTimerId);
    }
    const bool cancelled = platform_.runTraining(session);
    const TrainingResult result = session.finish(cancelled);
    platform_.showMessage(trainingSummary(result.counts));
    if (!result.logComplete) {
        platform_.showMessage("Writing the evaluation log \"" + path +
                              "\" failed; the log is incomplete.");
    }
    if (wasPlaying && playing_) {
        platform_.startTimer(playbackTimerId, playbackPeriodMs);
    }
}

bool PanelCommands::showValidation(const Validation& validation) {
    for (const std::string& m : validation.messages) {
        platform_.showMessage(m);
    }
    return validation.ok;
}

bool PanelCommands::saveTo(const std::string& path) {
    const WeightFileResult saved = world_.learner.saveWeights(path.c_str());
    if (!saved) {
        platform_.showMessage(describeWeightFileResult(saved, path, true));
    }
    return static_cast<bool>(saved);
}

void PanelCommands::OnSaveWeights() {
    const std::string path = platform_.askSavePath(weightsFilter);
    if (!path.empty()) {
        saveTo(path);
    }
}

void PanelCommands::OnLoadWeights() {
    const std::string path = platform_.askOpenPath(weightsFilter);
    if (path.empty()) {
        return;
    }
    const WeightFileResult loaded = world_.learner.loadWeights(path.c_str());
    if (!loaded) {
        platform_.showMessage(describeWeightFileResult(loaded, path, false));
    }
}

void PanelCommands::OnOkClicked() {
    for (;;) {
        const std::string path = platform_.askSavePath(weightsFilter);
        if (path.empty()) {
            break;
        }
        const WeightFileResult saved = world_.learner.saveWeights(path.c_str());
        if (saved) {
            break;
        }
        // Closing now would lose the network without the user knowing.
        if (!platform_.ask(describeWeightFileResult(saved, path, true) +
                               "\n\nChoose another file, or close without saving?",
                           "Choose Another File", "Close Without Saving")) {
            break;
        }
    }
    OnStopPlayback();
    platform_.endDialog(true);
}

void PanelCommands::OnPlotEvaluationLog() {
    const std::string path = platform_.askOpenPath(evaluationLogFilter);
    if (path.empty()) {
        return;
    }
    const EvaluationLog log = readEvaluationLog(path);
    if (!log.error.empty()) {
        platform_.showMessage(log.error);
        return;
    }
    const int window = curveWindow(static_cast<int>(log.points.size()));
    const std::size_t slash = path.find_last_of('/');
    platform_.showEvaluationCurve("Evaluation Log - " +
                                      (slash == std::string::npos ? path : path.substr(slash + 1)),
                                  movingShares(log.points, window), window);
}

void PanelCommands::OnCancelClicked() {
    OnStopPlayback();
    platform_.endDialog(false);
}

} // namespace quorvel
