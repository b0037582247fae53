#pragma once

#include "training/episodes.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// One evaluation run's place and end.
struct EvaluationPoint {
    int index = 0; // the run index (live) or the line's number (from a log)
    EpisodeEnd end = EpisodeEnd::missStepLimit;
};

// Shares of goals, collisions and misses over the last `window` evaluations up to one.
struct CurvePoint {
    int index = 0;
    double goals = 0;
    double collisions = 0;
    double misses = 0;
};

// The moving window for a curve of `evaluations` points: 5 % of them, at least 10.
int curveWindow(int evaluations);

// Keeps the running counts of a moving window over evaluation ends, one point at a time.
class MovingShares {
  public:
    explicit MovingShares(int window);
    CurvePoint add(const EvaluationPoint& point);

  private:
    int window_;
    std::vector<EpisodeEnd> recent_; // ring of the last `window` ends
    int next_ = 0;
    int filled_ = 0;
    int counts_[3] = {0, 0, 0};
};

// The moving shares of a curve of `expected` evaluations over the window for that many,
// keeping every stride-th point and the last, so that a curve of any length has at most about
// maxPoints points. The window is 5 % of the evaluations and the stride at most a hundredth of
// it: a share moves by at most 1 % between two points kept, so nothing a person could see on
// a chart is lost. Live training curves and logs on disk are both drawn from it.
class SampledShares {
  public:
    static constexpr int maxPoints = 2000;

    explicit SampledShares(int expected);

    // Adds the next evaluation, at `index` (its run, or its line); true when it made a point.
    bool add(int index, EpisodeEnd end);

    const std::vector<CurvePoint>& points() const { return points_; }
    int window() const { return window_; }

  private:
    int expected_;
    int window_;
    int stride_;
    int evaluations_ = 0;
    MovingShares shares_;
    std::vector<CurvePoint> points_;
};

struct TrainingSettings;

// The learning curve of a training as it runs, against the run index.
class LiveCurve {
  public:
    // An empty curve for a training of these settings.
    explicit LiveCurve(const TrainingSettings& settings);
    LiveCurve() : runs_(0), shares_(0) {}

    // Adds evaluation run `run`; true when that made a point.
    bool add(int run, EpisodeEnd end) {
        goals_.push_back(end == EpisodeEnd::goal);
        return shares_.add(run, end);
    }

    const std::vector<CurvePoint>& points() const { return shares_.points(); }
    int window() const { return shares_.window(); }
    int runs() const { return runs_; } // the runs of the training it belongs to
    // Whether each evaluation run so far reached the goal.
    const std::vector<bool>& goals() const { return goals_; }

  private:
    int runs_;
    SampledShares shares_;
    std::vector<bool> goals_;
};

// The goal share of the last tenth of the evaluation runs (at least one); none without any.
std::optional<double> lastTenthGoalShare(const std::vector<bool>& goals);

// That share as a line for a person: "Goals in the last tenth of the evaluation runs: 24 of
// 200 (12%)", or that there were no evaluation runs.
std::string lastTenthLine(const std::vector<bool>& goals);

// The end a log line's first two columns give: reached, else not moved, else a miss.
EpisodeEnd endFromColumns(bool moved, bool reached);

// A curve with a name, for showing several side by side.
struct LabelledCurve {
    std::string name;
    std::vector<CurvePoint> points;
    int window = 10;
};

struct EvaluationLog {
    std::vector<EpisodeEnd> ends; // the end of the evaluation run on each line, in order
    int badLine = 0;              // 1-based number of the first malformed line, 0 when all are good
    std::string error;
};

// The most lines a log can hold: a training of at most 10000000 runs evaluates each at most once.
inline constexpr int maxLogLines = 10000000;

// Reads an evaluation log: every line "%d,%d,%d,%lf,%lf,%lf, %lf" (as sscanf reads it) with
// 0/1 flags, 1..400 steps and every number within its type's range. A bad line is quoted at
// most 200 characters long with its control characters escaped. A log that is not a regular
// file, or holds more lines than any training writes, is refused without reading it all.
EvaluationLog readEvaluationLog(const std::string& path);

// The curve of a log's evaluations against their number, over the window for their count,
// named by the file's name.
LabelledCurve logCurve(const std::string& path, const EvaluationLog& log);

// Names for several logs that tell them apart: their file names; when all have one file name
// (a sweep's eval.dat), their folders' names; otherwise as many trailing parts of their paths
// as it takes.
std::vector<std::string> distinctLogNames(const std::vector<std::string>& paths);

// The curves of several logs, named apart; or, at the first log that cannot be read, its error.
struct LogCurves {
    std::vector<LabelledCurve> curves;
    std::string error;
};
LogCurves readLogCurves(const std::vector<std::string>& paths);

} // namespace quorvel
