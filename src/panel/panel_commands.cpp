#include "panel/panel_commands.h"

#include "panel/panel_fields.h"
#include "training/episodes.h"
#include "training/evaluation_curve.h"
#include "training/training.h"
#include "training/trial_drive.h"
#include "world/world.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace quorvel {

const char* const weightsFilter =
    "Nnet Files (*.nnet)|*.nnet|Data Files (*.dat)|*.dat|Text Files (*.txt)|*.txt|All Files "
    "(*.*)|*.*||";
const char* const evaluationLogFilter =
    "Data Files (*.dat)|*.dat|Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";
const char* const gifFilter = "Animated GIF (*.gif)|*.gif||";
const char* const unsavedNetworkQuestion =
    "The network has changed since its weights were last saved or loaded. Save them before "
    "closing?";
const char* const unsavedBeforeLoadQuestion =
    "The network has changed since its weights were last saved or loaded. Save them before "
    "loading others?";
const char* const noClearPlaceMessage =
    "No place clear of the obstacles was found in 1000 tries; the robot or the goal is on an "
    "obstacle.";

namespace {
constexpr int driveDistance = 2;
constexpr int maxPlacements = 1000;
} // namespace

int steeringFromSlider(const SliderState& s) {
    const double width = s.maximum - s.minimum;
    if (width == 0) {
        return 0;
    }
    return static_cast<int>(((0.5 * width - (s.position - s.minimum)) / width) * 10);
}

PanelCommands::PanelCommands(World& world, PanelPlatform& platform)
    : world_(world), platform_(platform) {
    rememberSavedNetwork();
}

void PanelCommands::rememberSavedNetwork() {
    const QNetwork& network = world_.learner.network;
    savedNetwork_.resize(QNetwork::parameterCount);
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        savedNetwork_[i] = network.parameter(i);
    }
}

bool PanelCommands::networkUnsaved() const {
    const QNetwork& network = world_.learner.network;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        const double now = network.parameter(i);
        if (std::memcmp(&now, &savedNetwork_[i], sizeof now) != 0) {
            return true;
        }
    }
    return false;
}

void PanelCommands::OnViewClicked() {
    platform_.redraw();
}

void PanelCommands::showChangedWorld() {
    platform_.showActionValues(probe_.here(world_));
    platform_.showCaption({});
    platform_.redraw();
}

void PanelCommands::drive(int distance) {
    world_.driveManually(steeringFromSlider(platform_.slider()), distance);
    showChangedWorld();
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
    showChangedWorld();
}

void PanelCommands::OnSteerBy(int positions) {
    const SliderState s = platform_.slider();
    platform_.setSliderPosition(std::clamp(s.position + positions, s.minimum, s.maximum));
}

void PanelCommands::OnSteerStraight() {
    const SliderState s = platform_.slider();
    platform_.setSliderPosition(s.minimum + (s.maximum - s.minimum) / 2);
}

void PanelCommands::OnPlaceRobotAndGoal() {
    // Again, with the draws a further press would make, until the robot can drive and the goal
    // can be reached.
    const bool clear = world_.placeRobotAndGoalClear(maxPlacements);
    showChangedWorld();
    if (!clear) {
        platform_.showMessage(noClearPlaceMessage);
    }
}

void PanelCommands::OnPlayback() {
    if (!playing_) {
        playing_ = true;
        playbackSteps_ = 0;
        platform_.startTimer(playbackTimerId, playbackPeriodMs);
    }
}

void PanelCommands::OnStopPlayback() {
    stopPlayback("playback stopped after " + std::to_string(playbackSteps_) +
                 (playbackSteps_ == 1 ? " step" : " steps"));
}

void PanelCommands::stopPlayback(const std::string& caption) {
    if (playing_) {
        playing_ = false;
        platform_.stopTimer(playbackTimerId);
        platform_.showCaption(caption);
        platform_.redraw();
    }
    endRecording();
}

void PanelCommands::OnRecordPlayback(int frameLimit) {
    const std::string path = platform_.askSavePath("Record Playback", gifFilter, "playback.gif");
    if (path.empty()) {
        return;
    }
    OnStopPlayback(); // a playback or recording in progress ends first
    if (const std::string problem = platform_.startRecording(path); !problem.empty()) {
        platform_.showMessage(problem);
        return;
    }
    recording_ = true;
    recordedFrames_ = 0;
    frameLimit_ = std::clamp(frameLimit, 1, maxRecordedFrames);
    OnPlayback();
}

void PanelCommands::endRecording() {
    if (!recording_) {
        return;
    }
    recording_ = false;
    if (const std::string problem = platform_.finishRecording(); !problem.empty()) {
        platform_.showMessage(problem);
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
    ++playbackSteps_;
    platform_.showActionValues(valuesOfLastStep(world_.learner));
    platform_.showCaption(
        goOn ? "playback, step " + std::to_string(playbackSteps_)
             : describeDriveEnd(reached ? TrialEnd::goal : TrialEnd::collision, playbackSteps_));
    platform_.redraw();
    if (recording_) {
        platform_.recordFrame();
        ++recordedFrames_;
    }
    if (!goOn) {
        playing_ = false;
        platform_.stopTimer(playbackTimerId);
        endRecording();
        if (reached) {
            platform_.showMessage("Claims to have hit goal\n");
        }
    } else if (recording_ && recordedFrames_ >= frameLimit_) {
        stopPlayback(describeDriveEnd(TrialEnd::noGoal, playbackSteps_));
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
    const std::string path =
        platform_.askSavePath("Save Evaluation Log", evaluationLogFilter, "eval.dat");
    world_.qLearnMode = platform_.isChecked(CheckBox::qLearn);
    if (path.empty()) {
        return; // the user cancelled: no training, no summary
    }

    const TrainingSettings settings = trainingSettings(request, path, defaultBackupFolder());
    const std::string notice = prepareBackupFolder(settings);
    TrainingSession session(world_, settings);
    if (session.start() != TrainingResult::Status::completed) {
        platform_.showMessage("Could not create the evaluation log \"" + path +
                              "\"; the training did not start.");
        return;
    }
    // A running playback waits for the training and goes on afterwards.
    const bool wasPlaying = playing_;
    if (wasPlaying) {
        platform_.stopTimer(playbackTimerId);
    }
    lastCurve_.emplace(settings);
    TrainingWatch watch;
    watch.notice = notice;
    watch.curve = &*lastCurve_;
    const auto started = std::chrono::steady_clock::now();
    watch.finish = [&](bool cancelled) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const TrainingResult result = session.finish(cancelled);
        lastFigures_ = figureLines(progressFigures(result.counts, elapsed), cancelled);
        // The summary as it always read, and how well the last evaluation runs did.
        std::vector<std::string> messages{trainingSummary(result.counts) + "\n" +
                                          lastTenthLine(lastCurve_->goals())};
        if (!result.logComplete) {
            messages.push_back("Writing the evaluation log \"" + path +
                               "\" failed; the log is incomplete.");
        }
        return messages;
    };
    platform_.runTraining(session, watch);
    showChangedWorld(); // the robot is where the last run left it
    if (wasPlaying && playing_) {
        platform_.startTimer(playbackTimerId, playbackPeriodMs);
    }
}

std::string PanelCommands::prepareBackupFolder(const TrainingSettings& settings) {
    const std::string& folder = settings.backupFolder;
    std::error_code error;
    if (backupFolderProblem(settings).empty() || folder.empty() ||
        std::filesystem::exists(folder, error)) {
        return backupFolderProblem(settings);
    }
    const int answer = platform_.ask(
        "The backup folder \"" + folder +
            "\" does not exist. Create it, so that the weights are backed up before each "
            "evaluation run?",
        {"Create Folder", "Train Without Backups"});
    if (answer == 0 && !std::filesystem::create_directories(folder, error)) {
        platform_.showMessage("Could not create the backup folder \"" + folder +
                              "\": " + error.message() + ".");
    }
    return backupFolderProblem(settings);
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
        return false;
    }
    rememberSavedNetwork();
    return true;
}

bool PanelCommands::mayClose() {
    return mayReplaceNetwork(unsavedNetworkQuestion, "Close Without Saving", "Keep Open");
}

bool PanelCommands::mayReplaceNetwork(const char* question, const char* withoutSaving,
                                      const char* keep) {
    while (networkUnsaved()) {
        const int answer = platform_.ask(question, {"Save...", withoutSaving, keep});
        if (answer == 1) {
            return true;
        }
        if (answer != 0) {
            return false; // kept, or the question closed without an answer
        }
        const std::string path = askWeightsPath();
        if (!path.empty()) {
            saveTo(path); // once saved, the network is no longer unsaved
        }
    }
    return true;
}

std::string PanelCommands::askWeightsPath() {
    return platform_.askSavePath("Save Neural Net Weights", weightsFilter, "quorvel.nnet");
}

void PanelCommands::OnSaveWeights() {
    const std::string path = askWeightsPath();
    if (!path.empty()) {
        saveTo(path);
    }
}

void PanelCommands::OnLoadWeights() {
    if (!mayReplaceNetwork(unsavedBeforeLoadQuestion, "Load Without Saving", "Cancel")) {
        return;
    }
    const std::string path = platform_.askOpenPath("Load Neural Net Weights", weightsFilter);
    if (path.empty()) {
        return;
    }
    const WeightFileResult loaded = world_.learner.loadWeights(path.c_str());
    if (!loaded) {
        platform_.showMessage(describeWeightFileResult(loaded, path, false));
        return;
    }
    rememberSavedNetwork();
    showChangedWorld(); // the values the view shows are the new network's
}

void PanelCommands::OnOkClicked() {
    for (;;) {
        const std::string path = askWeightsPath();
        if (path.empty()) {
            if (!mayClose()) {
                return;
            }
            break;
        }
        const WeightFileResult saved = world_.learner.saveWeights(path.c_str());
        if (saved) {
            rememberSavedNetwork();
            break;
        }
        // Closing now would lose the network without the user knowing.
        if (platform_.ask(describeWeightFileResult(saved, path, true) +
                              "\n\nChoose another file, or close without saving?",
                          {"Choose Another File", "Close Without Saving"}) != 0) {
            break;
        }
    }
    OnStopPlayback();
    platform_.endDialog(true);
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
    platform_.showEvaluationCurves("Last Learning Curve",
                                   {{"last training", lastCurve_->points(), lastCurve_->window()}},
                                   runAxisTitle, lastFigures_);
}

void PanelCommands::OnCancelClicked() {
    if (!mayClose()) {
        return;
    }
    OnStopPlayback();
    platform_.endDialog(false);
}

} // namespace quorvel
