#pragma once

#include "training/progress.h"
#include "training/training_job.h"
#include "watching/log_curves.h"
#include "watching/value_probe.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The panel's controls, by the ids of the dialog layout.
enum class Field {
    obstacles = 1007,
    sides = 1008,
    radius = 1010,
    runs = 1014,
    evaluationFrequency = 1016,
    learningRate = 1020,
    discount = 1022,
    annealing = 1023,
};

enum class CheckBox {
    qLearn = 1021,
    trails = 1024,
};

struct SliderState {
    int minimum = 0;
    int maximum = 100;
    int position = 0;
};

// What the panel's commands need of the window system. The dialog implements it with Qt;
// tests implement it with a script.
class PanelPlatform {
  public:
    virtual ~PanelPlatform() = default;

    virtual std::string fieldText(Field field) = 0;
    virtual bool isChecked(CheckBox box) = 0;
    // The learner chosen for the next training.
    virtual LearnerKind learner() = 0;
    virtual SliderState slider() = 0;
    virtual void setSliderPosition(int position) = 0;

    // A modal box with only an OK button, titled with the program's name.
    virtual void showMessage(const std::string& text) = 0;
    // A modal question titled with the program's name; returns the index of the answer
    // chosen, or -1 when the question was closed without one.
    virtual int ask(const std::string& text, const std::vector<std::string>& answers) = 0;

    // File dialogs with a title and a filter in the "Description|pattern|...||" form; the
    // path chosen, empty when cancelled. The save dialog proposes a name, and gives a typed
    // name without an extension the one of the filter chosen.
    virtual std::string askOpenPath(const std::string& title, const char* filter) = 0;
    virtual std::string askSavePath(const std::string& title, const char* filter,
                                    const std::string& proposedName) = 0;
    // The open dialog, choosing any number of files; empty when cancelled.
    virtual std::vector<std::string> askOpenPaths(const std::string& title, const char* filter) = 0;

    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void redraw() = 0;
    // What the view writes over its picture until told otherwise: the six actions' values
    // behind the robot's last step (or where it stands), and a line about the drive ("goal
    // after 87 steps"; empty: none). The view shows the values only while the user asks it to.
    virtual void showActionValues(const ActionValues& values) = 0;
    virtual void showCaption(const std::string& text) = 0;

    // Shows a started training in a window of its own until its runs end, all of them or
    // cancelled by the user; then shows its report over the window (reportTraining) and
    // returns the outcome once the user has closed it. `notice` is a line about the training
    // for the user to see (a backup folder that is missing), or empty.
    virtual TrainingOutcome runTraining(TrainingJob& job, const std::string& notice) = 0;

    // Shows learning curves in a window of its own until the user closes it: one curve with
    // its shares of goals, collisions and misses, several with a goal share each, and the
    // figures given beside them. xTitle names what the points are counted in.
    virtual void showEvaluationCurves(const std::string& title,
                                      const std::vector<LabelledCurve>& curves,
                                      const std::string& xTitle,
                                      const std::vector<FigureLine>& figures) = 0;

    // Recording the view into an animated GIF, one picture a playback tick: starting one at
    // path, adding the view's picture as it is now, and finishing it. Starting and finishing
    // return what went wrong, or nothing.
    virtual std::string startRecording(const std::string& path) = 0;
    virtual void recordFrame() = 0;
    virtual std::string finishRecording() = 0;

    // Asks for a whole number from minimum to maximum, offering `proposed`; none when
    // cancelled.
    virtual std::optional<int> askNumber(const std::string& title, const std::string& label,
                                         int proposed, int minimum, int maximum) = 0;
    // Shows how far long work is (`done` of `total`), until done reaches total; false once the
    // user asked to stop it.
    virtual bool showProgress(const std::string& text, int done, int total) = 0;
    // Shows the pace of playback: the speed (of driveSpeeds) and whether it is paused.
    virtual void showPace(int speed, bool paused) = 0;

    // Ends the dialog, as OK (true) or as Cancel.
    virtual void endDialog(bool ok) = 0;
};

} // namespace quorvel
