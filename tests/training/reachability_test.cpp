#include "training/reachability.h"

#include "common/random.h"
#include "world/world.h"
#include "world/world_state.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvel {
namespace {

std::unique_ptr<World> fieldWorld(int obstacles) {
    random::restart();
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(obstacles, 10, {-50, -50}, {50, 50}, 15);
    return w;
}

TEST(Reachability, AStartThroughAWallReachesNothing) {
    auto w = fieldWorld(0);
    // A wall across the body's middle: every move of every action is refused.
    w->obstacleCount = 1;
    w->obstacles[0].resize(4);
    w->obstacles[0].vertices = {{-0.5, -50}, {0.5, -50}, {0.5, 50}, {-0.5, 50}};
    w->obstacles[0].valid = true;
    w->obstacles[0].updateBox();
    w->goal = {-60, 0};
    const ReachAnswer a = searchReach(*w);
    EXPECT_EQ(a.answer, Reachability::unreachable);
    EXPECT_TRUE(a.actions.empty());
    EXPECT_EQ(a.expanded, 1);
}

// The goal 13.96 behind the rear point: three units straight back bring it within reach (11),
// one unit or a turn do not. The search answers with that one step.
TEST(Reachability, AGoalOneStraightStepAwayIsReachedByThatStep) {
    auto w = fieldWorld(0);
    w->goal = w->rear - 13.96 * w->heading;
    const ReachAnswer a = searchReach(*w);
    EXPECT_EQ(a.answer, Reachability::reachable);
    EXPECT_EQ(a.actions, std::vector<int>{2}); // back 3, straight
    for (int other : {0, 1, 3, 4, 5}) {
        EXPECT_FALSE(driveReachesGoal(*w, {other})) << other;
    }
}

// On a field of obstacles every drive found reaches the goal when it is replayed, and a drive
// cut short does not; the search changes no World and draws no random number. Without
// obstacles, every placement that does not start at the goal is reachable.
TEST(Reachability, FoundDrivesReplayToTheGoalAndAnOpenFieldIsReachableEverywhere) {
    for (const int obstacles : {7, 0}) {
        auto w = fieldWorld(obstacles);
        int reachable = 0;
        for (int i = 0; i < 12; ++i) {
            w->placeRandomly(5, 150);
            const std::string before = testing::worldState(*w);
            const std::uint32_t state = random::state();
            const ReachAnswer a = searchReach(*w);
            EXPECT_TRUE(testing::worldState(*w) == before);
            EXPECT_EQ(random::state(), state);
            if (obstacles == 0) {
                EXPECT_EQ(a.answer, Reachability::reachable) << i;
            }
            if (a.answer == Reachability::reachable) {
                ++reachable;
                ASSERT_FALSE(a.actions.empty());
                EXPECT_LE(a.actions.size(), static_cast<std::size_t>(stepLimit));
                EXPECT_TRUE(driveReachesGoal(*w, a.actions));
                std::vector<int> shorter(a.actions.begin(), a.actions.end() - 1);
                EXPECT_FALSE(driveReachesGoal(*w, shorter));
                EXPECT_FALSE(driveReachesGoal(*w, a.actions, static_cast<int>(shorter.size())));
            }
        }
        EXPECT_GT(reachable, 3) << obstacles;
    }
}

TEST(Reachability, ATinyBudgetAnswersUnknownNeverUnreachable) {
    auto w = fieldWorld(0);
    w->goal = {-70, 70};
    w->placeAt(60, -60, 0.3);
    ReachSearch tiny;
    tiny.budget = 5;
    const ReachAnswer a = searchReach(*w, tiny);
    EXPECT_EQ(a.answer, Reachability::unknown);
    EXPECT_EQ(a.expanded, 5);
    EXPECT_EQ(searchReach(*w).answer, Reachability::reachable);
}

TEST(Reachability, ASampleIsSpreadEvenlyAndTheJobCountsItsAnswers) {
    std::vector<EvaluationPlacement> all(10);
    for (int i = 0; i < 10; ++i) {
        all[static_cast<std::size_t>(i)].run = 100 * i;
    }
    std::vector<int> runs;
    for (const EvaluationPlacement& p : spreadSample(all, 4)) {
        runs.push_back(p.run);
    }
    EXPECT_EQ(runs, (std::vector<int>{0, 200, 500, 700}));
    EXPECT_EQ(spreadSample(all, 0).size(), 10u);
    EXPECT_EQ(spreadSample(all, 11).size(), 10u);

    auto w = fieldWorld(0);
    for (EvaluationPlacement& p : all) {
        w->placeRandomly(5, 150);
        p.placement = w->placement();
    }
    ReachJob job(*w, spreadSample(all, 4));
    job.start();
    testing::waitUntil([&] { return job.finished(); });
    const ReachTally t = job.tally();
    EXPECT_EQ(t.reachable, 4);
    EXPECT_EQ(t.searched(), 4);
    EXPECT_EQ(t.share(), 1);
    EXPECT_EQ(describeTally({3, 1, 1, 0}),
              "Some drive reaches the goal from 3 of 5 evaluation placements (60%); 1 "
              "unreachable, 1 unknown");
}

} // namespace
} // namespace quorvel
