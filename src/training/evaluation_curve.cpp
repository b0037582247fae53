#include "training/evaluation_curve.h"

#include "common/c_locale.h"
#include "training/training.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace quorvel {

namespace {

int slot(EpisodeEnd end) {
    switch (end) {
    case EpisodeEnd::goal:
        return 0;
    case EpisodeEnd::collision:
        return 1;
    case EpisodeEnd::missStepLimit:
    case EpisodeEnd::missArena:
        break;
    }
    return 2;
}

} // namespace

int curveWindow(int evaluations) {
    return std::max(10, static_cast<int>(std::ceil(0.05 * evaluations)));
}

MovingShares::MovingShares(int window)
    : window_(std::max(1, window)), recent_(static_cast<std::size_t>(window_)) {}

CurvePoint MovingShares::add(const EvaluationPoint& point) {
    if (filled_ == window_) {
        --counts_[slot(recent_[next_])];
    } else {
        ++filled_;
    }
    recent_[next_] = point.end;
    ++counts_[slot(point.end)];
    next_ = (next_ + 1) % window_;
    const double n = filled_;
    return {point.index, counts_[0] / n, counts_[1] / n, counts_[2] / n};
}

std::vector<CurvePoint> movingShares(const std::vector<EvaluationPoint>& points, int window) {
    MovingShares shares(window);
    std::vector<CurvePoint> curve;
    curve.reserve(points.size());
    for (const EvaluationPoint& p : points) {
        curve.push_back(shares.add(p));
    }
    return curve;
}

LiveCurve::LiveCurve(const TrainingSettings& settings)
    : LiveCurve(settings.runs, expectedEvaluations(settings)) {}

LiveCurve::LiveCurve(int runs, int expectedEvaluations)
    : runs_(runs), window_(curveWindow(expectedEvaluations)),
      stride_(std::max(1, expectedEvaluations / maxPoints)), shares_(window_) {}

bool LiveCurve::add(int run, EpisodeEnd end) {
    const CurvePoint point = shares_.add({run, end});
    if (evaluations_++ % stride_ != 0) {
        return false;
    }
    points_.push_back(point);
    return true;
}

EpisodeEnd endFromColumns(bool moved, bool reached) {
    return reached ? EpisodeEnd::goal : !moved ? EpisodeEnd::collision : EpisodeEnd::missStepLimit;
}

EvaluationLog readEvaluationLog(const std::string& path) {
    EvaluationLog log;
    std::ifstream in(path);
    if (!in) {
        log.error = "Could not open \"" + path + "\".";
        return log;
    }
    const CNumericLocale cLocale;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        int moved = 0, reached = 0, steps = 0, used = 0;
        double d2 = 0, x = 0, y = 0, d = 0;
        const int read = std::sscanf(line.c_str(), "%d,%d,%d,%lf,%lf,%lf, %lf%n", &moved, &reached,
                                     &steps, &d2, &x, &y, &d, &used);
        const bool whole =
            read == 7 &&
            line.find_first_not_of(" \r", static_cast<std::size_t>(used)) == std::string::npos;
        if (!whole || (moved != 0 && moved != 1) || (reached != 0 && reached != 1) || steps < 1 ||
            steps > episodeStepLimit) {
            log.points.clear();
            log.badLine = number;
            log.error = "Line " + std::to_string(number) + " of \"" + path +
                        "\" is not an evaluation record: \"" + line + "\"";
            return log;
        }
        log.points.push_back({number, endFromColumns(moved != 0, reached != 0)});
    }
    return log;
}

LabelledCurve logCurve(const std::string& path, const EvaluationLog& log) {
    const int window = curveWindow(static_cast<int>(log.points.size()));
    const std::size_t slash = path.find_last_of('/');
    return {slash == std::string::npos ? path : path.substr(slash + 1),
            movingShares(log.points, window), window};
}

} // namespace quorvel
