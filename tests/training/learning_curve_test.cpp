#include "training/learning_curve.h"
#include "training/training.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

std::vector<CurvePoint> movingShares(const std::vector<EvaluationPoint>& points, int window) {
    MovingShares shares(window);
    std::vector<CurvePoint> curve;
    for (const EvaluationPoint& p : points) {
        curve.push_back(shares.add(p));
    }
    return curve;
}

TEST(EvaluationCurve, WindowIsFivePercentWithAMinimumOfTen) {
    EXPECT_EQ(curveWindow(0), 10);
    EXPECT_EQ(curveWindow(100), 10);
    EXPECT_EQ(curveWindow(201), 11);
    EXPECT_EQ(curveWindow(100000), 5000);
}

TEST(EvaluationCurve, SharesOverTheRecentWindow) {
    std::vector<EvaluationPoint> points;
    // 4 collisions, then goals: with a window of 4 the goals' share climbs to 1.
    for (int i = 0; i < 4; ++i) {
        points.push_back({i * 10, DriveEnd::collision});
    }
    for (int i = 4; i < 8; ++i) {
        points.push_back({i * 10, DriveEnd::goal});
    }
    points.push_back({80, DriveEnd::leftArena});
    const auto curve = movingShares(points, 4);
    ASSERT_EQ(curve.size(), 9u);
    EXPECT_EQ(curve[0].index, 0);
    EXPECT_EQ(curve[0].collisions, 1);
    EXPECT_EQ(curve[4].goals, 0.25);
    EXPECT_EQ(curve[4].collisions, 0.75);
    EXPECT_EQ(curve[7].goals, 1);
    EXPECT_EQ(curve[8].goals, 0.75);
    EXPECT_EQ(curve[8].misses, 0.25);
    EXPECT_EQ(curve[8].index, 80);
    for (const CurvePoint& p : curve) {
        EXPECT_DOUBLE_EQ(p.goals + p.collisions + p.misses, 1);
    }
    // Before the window fills, the share is over the points so far.
    const auto early = movingShares({{0, DriveEnd::goal}, {1, DriveEnd::outOfSteps}}, 10);
    EXPECT_EQ(early[1].goals, 0.5);
}

TEST(EvaluationCurve, TheLastTenthOfFewEvaluationsIsAtLeastOne) {
    EXPECT_FALSE(lastTenthGoalShare({}).has_value());
    EXPECT_EQ(lastTenthGoalShare({true}), 1);
    EXPECT_EQ(lastTenthGoalShare({true, false}), 0); // the last one
    EXPECT_EQ(lastTenthGoalShare(std::vector<bool>(10, true)), 1);
    std::vector<bool> eleven(11, false);
    eleven[9] = eleven[10] = true;
    EXPECT_EQ(lastTenthGoalShare(eleven), 1); // two: the last two
    eleven[9] = false;
    EXPECT_EQ(lastTenthGoalShare(eleven), 0.5);
    std::vector<bool> hundred(100, false);
    hundred[89] = true; // just before the last ten
    hundred[95] = true;
    EXPECT_EQ(lastTenthGoalShare(hundred), 0.1);
}

// A sampled curve keeps every stride-th point and always the last, whose share is that of the
// whole window; live curves of trainings are such curves over their evaluation runs.
TEST(EvaluationCurve, ASampledCurveKeepsEveryStridethPointAndTheLast) {
    for (const int expected : {7, 4000, 4001, 10001}) {
        SampledShares shares(expected);
        const int stride = std::max(1, expected / SampledShares::maxPoints);
        EXPECT_EQ(shares.stride(), stride);
        int made = 0;
        for (int i = 0; i < expected; ++i) {
            const bool point = shares.add(i * 3, i % 3 == 0 ? DriveEnd::goal : DriveEnd::collision);
            EXPECT_EQ(point, i % stride == 0 || i == expected - 1) << expected << " at " << i;
            made += point;
        }
        ASSERT_EQ(static_cast<int>(shares.points().size()), made);
        EXPECT_LE(made, SampledShares::maxPoints + 1);
        const CurvePoint last = shares.points().back();
        EXPECT_EQ(last.index, (expected - 1) * 3) << expected;
        // The last window of `window` evaluations: every third is a goal.
        const int window = std::min(expected, shares.window());
        int goals = 0;
        for (int i = expected - window; i < expected; ++i) {
            goals += i % 3 == 0;
        }
        EXPECT_DOUBLE_EQ(last.goals, static_cast<double>(goals) / window) << expected;
    }
    TrainingSettings settings;
    settings.runs = 2500;
    settings.evaluationFrequency = 1;
    LiveCurve live(settings);
    for (int run = 0; run < settings.runs; ++run) {
        live.add(run, run == 2499 ? DriveEnd::goal : DriveEnd::outOfSteps);
    }
    EXPECT_EQ(live.points().back().index, 2499);
    EXPECT_EQ(live.goals().size(), 2500u);
    EXPECT_TRUE(live.goals().back());
}

} // namespace
} // namespace quorvel
