#include "training/learning_curve.h"

#include "training/training.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel {

namespace {

int slot(DriveEnd end) {
    switch (end) {
    case DriveEnd::goal:
        return 0;
    case DriveEnd::collision:
        return 1;
    case DriveEnd::outOfSteps:
    case DriveEnd::leftArena:
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

SampledShares::SampledShares(int expected)
    : expected_(expected), window_(curveWindow(expected)),
      stride_(std::max(1, expected / maxPoints)), shares_(window_) {}

bool SampledShares::add(int index, DriveEnd end) {
    const CurvePoint point = shares_.add({index, end});
    const int n = evaluations_++;
    if (n % stride_ != 0 && n != expected_ - 1) {
        return false;
    }
    points_.push_back(point);
    return true;
}

namespace {

// The goals among the last tenth of the evaluation runs (at least one), and how many runs that is.
std::pair<long, std::size_t> lastTenth(const std::vector<bool>& goals) {
    const std::size_t count = (goals.size() + 9) / 10;
    return {static_cast<long>(
                std::count(goals.end() - static_cast<std::ptrdiff_t>(count), goals.end(), true)),
            count};
}

} // namespace

std::optional<double> lastTenthGoalShare(const std::vector<bool>& goals) {
    if (goals.empty()) {
        return std::nullopt;
    }
    const auto [reached, count] = lastTenth(goals);
    return static_cast<double>(reached) / static_cast<double>(count);
}

std::string lastTenthLine(const std::vector<bool>& goals) {
    if (goals.empty()) {
        return "No evaluation runs, so no goal share.";
    }
    const auto [reached, count] = lastTenth(goals);
    char text[128];
    std::snprintf(text, sizeof text,
                  "Goals in the last tenth of the evaluation runs: %ld of %zu (%.0f%%)", reached,
                  count, 100.0 * static_cast<double>(reached) / static_cast<double>(count));
    return text;
}

LiveCurve::LiveCurve(const TrainingSettings& settings)
    : runs_(settings.runs), shares_(expectedEvaluations(settings)) {}

} // namespace quorvel
