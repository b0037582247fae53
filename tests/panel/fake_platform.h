#pragma once

#include "panel/panel_platform.h"
#include "training/training.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace quorvel {

// A scripted window system: fields and answers are set beforehand, everything the panel
// shows or starts is recorded.
class FakePlatform : public PanelPlatform {
  public:
    std::map<Field, std::string> fields;
    std::map<CheckBox, bool> checks;
    SliderState sliderState;
    std::deque<std::string> pathAnswers; // next answers of the file dialogs ("" = cancel)
    std::deque<bool> askAnswers;
    int cancelAfterRuns = -1; // the user cancels the training after this many runs

    std::vector<std::string> messages;
    std::vector<std::string> asked;
    std::vector<std::string> filters;
    int timersRunning = 0;
    int timerStarts = 0;
    int redraws = 0;
    int trainings = 0;
    int ended = -1; // 1 OK, 0 Cancel

    std::string fieldText(Field f) override { return fields[f]; }
    bool isChecked(CheckBox b) override { return checks[b]; }
    SliderState slider() override { return sliderState; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool ask(const std::string& text, const std::string&, const std::string&) override {
        asked.push_back(text);
        bool answer = askAnswers.empty() ? false : askAnswers.front();
        if (!askAnswers.empty()) {
            askAnswers.pop_front();
        }
        return answer;
    }
    std::string nextPath(const char* filter) {
        filters.emplace_back(filter);
        if (pathAnswers.empty()) {
            return {};
        }
        std::string p = pathAnswers.front();
        pathAnswers.pop_front();
        return p;
    }
    std::string askOpenPath(const char* filter) override { return nextPath(filter); }
    std::string askSavePath(const char* filter) override { return nextPath(filter); }
    void startTimer(int id, int ms) override {
        if (id == 1000 && ms == 100) {
            timersRunning = 1; // setting the same timer again replaces it
            ++timerStarts;
        }
    }
    void stopTimer(int id) override {
        if (id == 1000) {
            timersRunning = 0;
        }
    }
    void redraw() override { ++redraws; }
    bool runTraining(TrainingSession& session) override {
        ++trainings;
        int runs = 0;
        while (!session.done()) {
            if (runs == cancelAfterRuns) {
                return true;
            }
            session.runOne();
            ++runs;
        }
        return false;
    }
    void endDialog(bool ok) override { ended = ok ? 1 : 0; }
    void showEvaluationCurve(const std::string& title, const std::vector<CurvePoint>& points,
                             int window) override {
        curveTitle = title;
        curve = points;
        curveWindowShown = window;
    }

    std::string curveTitle;
    std::vector<CurvePoint> curve;
    int curveWindowShown = 0;
};

} // namespace quorvel
