#include "training/evaluation_curve.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

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
        points.push_back({i * 10, EpisodeEnd::collision});
    }
    for (int i = 4; i < 8; ++i) {
        points.push_back({i * 10, EpisodeEnd::goal});
    }
    points.push_back({80, EpisodeEnd::missArena});
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
    const auto early = movingShares({{0, EpisodeEnd::goal}, {1, EpisodeEnd::missStepLimit}}, 10);
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

TEST(EvaluationCurve, EndsFromTheLogColumns) {
    EXPECT_EQ(endFromColumns(true, true), EpisodeEnd::goal);
    EXPECT_EQ(endFromColumns(false, true), EpisodeEnd::goal);
    EXPECT_EQ(endFromColumns(false, false), EpisodeEnd::collision);
    EXPECT_EQ(endFromColumns(true, false), EpisodeEnd::missStepLimit);
}

class LogFile : public ::testing::Test {
  protected:
    void SetUp() override {
        file = fs::temp_directory_path() / ("quorvel-log-" + std::to_string(getpid()) + ".dat");
    }
    void TearDown() override { fs::remove(file); }
    void write(const std::string& text) { std::ofstream(file) << text; }
    fs::path file;
};

TEST_F(LogFile, ReadsEveryLine) {
    write("1,1,12,30.000000,1.000000,2.000000, 2.236068\n"
          "0,0,1,100.000000,-3.000000,4.000000, 5.000000\n"
          "1,0,400,900.000000,0.500000,0.500000, 0.707107\n");
    const EvaluationLog log = readEvaluationLog(file.string());
    EXPECT_TRUE(log.error.empty());
    ASSERT_EQ(log.ends.size(), 3u);
    EXPECT_EQ(log.ends[0], EpisodeEnd::goal);
    EXPECT_EQ(log.ends[1], EpisodeEnd::collision);
    EXPECT_EQ(log.ends[2], EpisodeEnd::missStepLimit);
}

TEST_F(LogFile, NamesTheFirstMalformedLine) {
    const char* bad[] = {"1,1,12,30.0,1.0,2.0\n", "1,2,12,30.0,1.0,2.0, 2.2\n",
                         "1,1,401,30.0,1.0,2.0, 2.2\n", "1,1,12,30.0,1.0,2.0, 2.2 extra\n",
                         "garbage\n"};
    for (const char* line : bad) {
        write(std::string("1,1,12,30.000000,1.000000,2.000000, 2.236068\n") + line);
        const EvaluationLog log = readEvaluationLog(file.string());
        EXPECT_EQ(log.badLine, 2) << line;
        EXPECT_TRUE(log.ends.empty());
        EXPECT_EQ(log.error.rfind("Line 2 of \"", 0), 0u) << log.error;
    }
    EXPECT_FALSE(readEvaluationLog((file.string() + ".missing")).error.empty());
}

} // namespace
} // namespace quorvel
