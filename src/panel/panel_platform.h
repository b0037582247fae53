#pragma once

#include "training/evaluation_curve.h"

#include <string>
#include <vector>

namespace quorvel {

class TrainingSession;
struct TrainingResult;

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
    virtual SliderState slider() = 0;

    // A modal box with only an OK button, titled with the program's name.
    virtual void showMessage(const std::string& text) = 0;
    // A modal question with two answers; true for the first.
    virtual bool ask(const std::string& text, const std::string& yes, const std::string& no) = 0;

    // File dialogs with a filter in the "Description|pattern|...||" form; empty when cancelled.
    virtual std::string askOpenPath(const char* filter) = 0;
    virtual std::string askSavePath(const char* filter) = 0;

    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void redraw() = 0;

    // Runs a started training to its end or until the user cancels it; returns true when
    // it was cancelled.
    virtual bool runTraining(TrainingSession& session) = 0;

    // Shows a learning curve in a window of its own until the user closes it.
    virtual void showEvaluationCurve(const std::string& title,
                                     const std::vector<CurvePoint>& points, int window) = 0;

    // Ends the dialog, as OK (true) or as Cancel.
    virtual void endDialog(bool ok) = 0;
};

} // namespace quorvel
