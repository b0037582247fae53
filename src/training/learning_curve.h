#pragma once

#include "training/episodes.h"

#include <optional>
#include <string>
#include <vector>

// Learning curves: the shares of goals, collisions and misses over a moving window of
// evaluation runs, sampled so that a chart of any length stays small.
namespace quorvel {

// One evaluation run's place and end.
struct EvaluationPoint {
    int index = 0; // the run index (live) or the line's number (from a log)
    DriveEnd end = DriveEnd::outOfSteps;
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
    std::vector<DriveEnd> recent_; // ring of the last `window` ends
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
    bool add(int index, DriveEnd end);

    const std::vector<CurvePoint>& points() const { return points_; }
    int window() const { return window_; }
    int stride() const { return stride_; }

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
    bool add(int run, DriveEnd end) {
        goals_.push_back(end == DriveEnd::goal);
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

} // namespace quorvel
