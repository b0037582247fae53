#pragma once

#include "panel/panel_fields.h"
#include "panel/panel_platform.h"

namespace quorvel {

class World;

extern const char* const weightsFilter;
extern const char* const evaluationLogFilter;

inline constexpr int playbackTimerId = 1000;
inline constexpr int playbackPeriodMs = 100;

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
    void OnPlaceRobotAndGoal();
    void OnPlayback();
    void OnStopPlayback();
    void OnTimer(int id);
    void OnTrain();
    void OnSaveWeights();
    void OnLoadWeights();
    void OnOkClicked();
    void OnCancelClicked();
    // Opens an evaluation log and shows its learning curve.
    void OnPlotEvaluationLog();

    bool playing() const { return playing_; }

  private:
    void drive(int distance);
    // Shows the validation's messages in order; true when the command may go on.
    bool showValidation(const Validation& validation);
    // Saves to a path the user chose; shows what went wrong and returns false on failure.
    bool saveTo(const std::string& path);

    World& world_;
    PanelPlatform& platform_;
    bool playing_ = false;
};

} // namespace quorvel
