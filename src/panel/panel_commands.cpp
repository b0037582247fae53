#include "panel/panel_commands.h"

#include "world/world.h"

#include <algorithm>
#include <cstring>

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

void PanelCommands::OnCancelClicked() {
    if (!mayClose()) {
        return;
    }
    OnStopPlayback();
    platform_.endDialog(false);
}

} // namespace quorvel
