#pragma once

#include "panel/panel_platform.h"
#include "training/training_report.h"

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <thread>
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
    std::deque<int> askAnswers;          // next answers of questions (-1 = closed unanswered)
    int cancelAfterRuns = -1; // the user cancels the training once this many runs are done

    std::vector<std::string> messages;
    std::vector<std::string> asked;
    std::vector<std::vector<std::string>> askedAnswers;
    std::vector<std::string> notices; // the training windows' lines
    std::vector<TrainingSettings> trainedSettings;
    std::vector<std::string> filters;
    int timersRunning = 0;
    int timerStarts = 0;
    int redraws = 0;
    int trainings = 0;
    int ended = -1; // 1 OK, 0 Cancel

    std::string fieldText(Field f) override { return fields[f]; }
    bool isChecked(CheckBox b) override { return checks[b]; }
    LearnerKind chosenLearner = LearnerKind::online;
    LearnerKind learner() override { return chosenLearner; }
    SliderState slider() override { return sliderState; }
    void setSliderPosition(int position) override { sliderState.position = position; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    int ask(const std::string& text, const std::vector<std::string>& answers) override {
        asked.push_back(text);
        askedAnswers.push_back(answers);
        const int answer = askAnswers.empty() ? -1 : askAnswers.front();
        if (!askAnswers.empty()) {
            askAnswers.pop_front();
        }
        return answer;
    }
    std::vector<std::string> dialogTitles;
    std::string nextPath(const std::string& title, const char* filter) {
        dialogTitles.push_back(title);
        filters.emplace_back(filter);
        if (pathAnswers.empty()) {
            return {};
        }
        std::string p = pathAnswers.front();
        pathAnswers.pop_front();
        return p;
    }
    std::string askOpenPath(const std::string& title, const char* filter) override {
        return nextPath(title, filter);
    }
    std::string askSavePath(const std::string& title, const char* filter,
                            const std::string& proposedName) override {
        proposedNames.push_back(proposedName);
        return nextPath(title, filter);
    }
    std::vector<std::string> proposedNames;
    int timerPeriod = -1;
    void startTimer(int id, int ms) override {
        if (id == 1000) {
            timersRunning = 1; // setting the same timer again replaces it
            ++timerStarts;
            timerPeriod = ms;
        }
    }
    void stopTimer(int id) override {
        if (id == 1000) {
            timersRunning = 0;
        }
    }
    void redraw() override { ++redraws; }
    void showActionValues(const ActionValues& values) override { actionValues.push_back(values); }
    void showCaption(const std::string& text) override { captions.push_back(text); }
    std::vector<ActionValues> actionValues; // every set of values the view was given
    std::vector<std::string> captions;
    // As the Training window: snapshots until the runs end, then the report over it.
    TrainingOutcome runTraining(TrainingJob& job, const std::string& notice) override {
        ++trainings;
        notices.push_back(notice);
        trainedSettings.push_back(job.settings());
        for (;;) {
            const TrainingSnapshot s = job.snapshot();
            if (cancelAfterRuns >= 0 && s.progress.runsDone >= cancelAfterRuns) {
                job.cancel();
            }
            if (s.stopped) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        TrainingOutcome outcome = job.finish();
        for (const std::string& m : reportTraining(outcome).messages()) {
            messages.push_back(m);
        }
        return outcome;
    }
    void endDialog(bool ok) override { ended = ok ? 1 : 0; }
    std::deque<std::optional<int>> numberAnswers; // next answers of askNumber (none: cancel)
    std::optional<int> askNumber(const std::string& title, const std::string&, int proposed, int,
                                 int) override {
        dialogTitles.push_back(title);
        proposedNumbers.push_back(proposed);
        if (numberAnswers.empty()) {
            return std::nullopt;
        }
        const std::optional<int> answer = numberAnswers.front();
        numberAnswers.pop_front();
        return answer;
    }
    std::vector<int> proposedNumbers;
    int stopProgressAt = -1; // the user stops long work once this much is done
    std::vector<std::pair<int, int>> progress;
    bool showProgress(const std::string&, int done, int total) override {
        progress.push_back({done, total});
        return done != stopProgressAt;
    }
    std::vector<std::pair<int, bool>> paces; // every speed and pause shown
    void showPace(int speed, bool paused) override { paces.push_back({speed, paused}); }
    std::string startRecording(const std::string& path) override {
        recordings.push_back(path);
        recordedFrames = 0;
        return recordingProblem;
    }
    void recordFrame() override { ++recordedFrames; }
    std::string finishRecording() override {
        ++finishedRecordings;
        return {};
    }

    std::vector<std::string> recordings;
    std::string recordingProblem; // what startRecording says went wrong
    int recordedFrames = 0;
    int finishedRecordings = 0;
    // One dialog, choosing every path answer up to an empty one.
    std::vector<std::string> askOpenPaths(const std::string& title, const char* filter) override {
        std::vector<std::string> paths;
        for (std::string p = nextPath(title, filter); !p.empty();) {
            paths.push_back(p);
            if (pathAnswers.empty() || pathAnswers.front().empty()) {
                break;
            }
            p = pathAnswers.front();
            pathAnswers.pop_front();
        }
        return paths;
    }
    void showEvaluationCurves(const std::string& title, const std::vector<LabelledCurve>& curves,
                              const std::string& xTitle,
                              const std::vector<FigureLine>& figures) override {
        shownFigures = figures;
        curveTitle = title;
        shownCurves = curves;
        curve = curves.front().points;
        curveWindowShown = curves.front().window;
        curveXTitle = xTitle;
    }
    std::vector<LabelledCurve> shownCurves;
    std::vector<FigureLine> shownFigures;

    std::string curveTitle;
    std::string curveXTitle;
    std::vector<CurvePoint> curve;
    int curveWindowShown = 0;
};

} // namespace quorvel
