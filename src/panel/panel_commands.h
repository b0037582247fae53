#pragma once

#include "common/step_limit.h"
#include "panel/panel_platform.h"
#include "rules/input_rules.h"
#include "training/drive.h"
#include "watching/value_probe.h"

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class World;

extern const char* const weightsFilter;
extern const char* const evaluationLogFilter;
extern const char* const unsavedNetworkQuestion;
extern const char* const unsavedBeforeLoadQuestion;
extern const char* const noClearPlaceMessage;
extern const char* const gifFilter;
extern const char* const fieldFilter;

inline constexpr int playbackTimerId = 1000;
inline constexpr int playbackPeriodMs = 100;

// How fast a watched drive (playback, trial drives) goes: so many steps a tick of so many
// milliseconds. The first is the pace the program always had; the last takes a step whenever
// the last picture has been drawn.
struct DriveSpeed {
    const char* name;
    int stepsPerTick;
    int periodMs;
};
inline constexpr DriveSpeed driveSpeeds[] = {
    {"1x", 1, playbackPeriodMs},
    {"4x", 4, playbackPeriodMs},
    {"16x", 16, playbackPeriodMs},
    {"as fast as drawn", 1, 0},
};
inline constexpr int driveSpeedCount = static_cast<int>(std::size(driveSpeeds));

// Drives the panel's Evaluate Network makes unless told otherwise.
inline constexpr int evaluatedDrives = 200;
// A recording holds a whole playback of the longest drive.
inline constexpr int maxRecordedFrames = stepLimit;

// What a learning curve's points are counted in: the runs of a training, or the evaluation
// runs of a log, which does not record how many runs lay between them.
inline constexpr const char* runAxisTitle = "run";
inline constexpr const char* evaluationAxisTitle = "evaluation run (line of the log)";

// The steering index for a slider position: ((width / 2 - (position - minimum)) / width) * 10,
// truncated towards zero.
int steeringFromSlider(const SliderState& slider);

// The commands behind the panel's buttons and its playback timer.
class PanelCommands {
  public:
    PanelCommands(World& world, PanelPlatform& platform);

    void OnViewClicked();
    void OnForwards();
    void OnReverse();
    void OnGenerate();
    // Places robot and goal at random, again (as a further press would) until neither is on
    // an obstacle, at most 1000 times; says so when none of them was clear.
    void OnPlaceRobotAndGoal();
    void OnPlayback();
    void OnStopPlayback();
    void OnTimer(int id);
    void OnTrain();
    void OnSaveWeights();
    // Asks first when the network has changed since it was last saved or loaded.
    void OnLoadWeights();
    void OnOkClicked();
    void OnCancelClicked();
    // Opens an evaluation log and shows its learning curve.
    void OnPlotEvaluationLog();
    // Shows the learning curve of the last training again.
    void OnShowLastLearningCurve();
    // Asks for a file, then plays back as OnPlayback does while each tick's picture goes into
    // an animated GIF there, until playback stops or frameLimit pictures were taken.
    void OnRecordPlayback(int frameLimit = maxRecordedFrames);

    // The steering keys: the slider moved by some positions, or back to its middle.
    void OnSteerBy(int positions);
    void OnSteerStraight();

    // The pace of playback: pausing and going on (a paused playback keeps its place), one
    // step at a time (starting a paused playback when none runs), and the speed.
    void OnPause();
    void OnStep();
    void OnFaster();
    void OnSlower();
    void setSpeed(int index);
    int speed() const { return speed_; }
    bool paused() const { return paused_; }

    // The robot put with its centre at a place of the floor, facing `towards` when given (else
    // as it faced), or the goal put there; refused with a message when it would touch an
    // obstacle.
    void OnPlaceRobotAt(Vec2 centre, std::optional<Vec2> towards);
    void OnPlaceGoalAt(Vec2 centre);

    // Fields to keep: the obstacles, the robot and the goal written to a file and read back.
    void OnSaveField();
    void OnLoadField();
    // Counting instead of guessing: the network's drives from random placements on this
    // field, and from how many of those placements some drive reaches the goal.
    void OnEvaluateNetwork();

    bool playing() const { return playing_; }
    bool recording() const { return recording_; }
    // Whether the network differs from the one last saved or loaded (or the one the program
    // started with): closing now would lose it.
    bool networkUnsaved() const;

  private:
    void drive(int distance);
    // After a command changed the World: the values where the robot stands, no drive caption,
    // a new picture.
    void showChangedWorld();
    void stopPlayback(const std::string& caption);
    // One step of the playback, shown (and recorded).
    void playbackStepShown();
    void restartTimer();
    // Shows the validation's messages in order; true when the command may go on.
    bool showValidation(const Validation& validation);
    // Saves to a path the user chose; shows what went wrong and returns false on failure.
    bool saveTo(const std::string& path);
    // Before the dialog closes: asks about an unsaved network until it is saved or the user
    // decides; true when the dialog may close.
    bool mayClose();
    // The same before anything replaces the network: "Save...", then the answers to go on
    // without saving and to keep it; true when it may be replaced.
    bool mayReplaceNetwork(const char* question, const char* withoutSaving, const char* keep);
    std::string askWeightsPath();
    // Offers to create a missing backup folder; returns the line the training window shows
    // about the backups, if any.
    std::string prepareBackupFolder(const TrainingSettings& settings);
    void rememberSavedNetwork();
    // Finishes a recording in progress, saying what went wrong.
    void endRecording();

    World& world_;
    PanelPlatform& platform_;
    bool playing_ = false;
    bool paused_ = false;
    int speed_ = 0;  // of driveSpeeds
    Drive playback_; // the playback in progress or last ended
    ValueProbe probe_;
    std::vector<double> savedNetwork_; // the parameters as last saved or loaded
    std::optional<LiveCurve> lastCurve_;
    std::vector<FigureLine> lastFigures_;      // the last training's figures at its end
    std::optional<double> lastReachableShare_; // ... and its reachable share, if searched
    bool recording_ = false;
};

} // namespace quorvel
