#pragma once

#include "training/episodes.h"

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

std::vector<CurvePoint> movingShares(const std::vector<EvaluationPoint>& points, int window);

struct TrainingSettings;

// The learning curve of a training as it runs, against the run index: the moving shares after
// every evaluation run, keeping every stride-th point so that ten million runs stay light.
class LiveCurve {
  public:
    static constexpr int maxPoints = 2000;

    // An empty curve for a training of these settings.
    explicit LiveCurve(const TrainingSettings& settings);
    LiveCurve() : LiveCurve(0, 0) {}

    // Adds evaluation run `run`; true when that made a point.
    bool add(int run, EpisodeEnd end);

    const std::vector<CurvePoint>& points() const { return points_; }
    int window() const { return window_; }
    int runs() const { return runs_; } // the runs of the training it belongs to

  private:
    LiveCurve(int runs, int expectedEvaluations);

    int runs_;
    int window_;
    int stride_;
    int evaluations_ = 0;
    MovingShares shares_;
    std::vector<CurvePoint> points_;
};

// The end a log line's first two columns give: reached, else not moved, else a miss.
EpisodeEnd endFromColumns(bool moved, bool reached);

// A curve with a name, for showing several side by side.
struct LabelledCurve {
    std::string name;
    std::vector<CurvePoint> points;
    int window = 10;
};

struct EvaluationLog {
    std::vector<EvaluationPoint> points;
    int badLine = 0; // 1-based number of the first malformed line, 0 when all are good
    std::string error;
};

// Reads an evaluation log: every line "%d,%d,%d,%lf,%lf,%lf, %lf" with 0/1 flags and 1..400
// steps. Points are numbered by line, from 1.
EvaluationLog readEvaluationLog(const std::string& path);

// The curve of a log's evaluations against their number, over the window for their count,
// named by the file's name.
LabelledCurve logCurve(const std::string& path, const EvaluationLog& log);

} // namespace quorvel
