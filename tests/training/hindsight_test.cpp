#include "training/hindsight.h"

#include "common/random.h"
#include "learn/q_learner.h"
#include "training/training.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvel {
namespace {

using testing::parametersOf;

HindsightSettings smallSettings() {
    HindsightSettings s = defaultHindsight().settings;
    s.memorySteps = 2000; // wraps within a few dozen drives
    s.warmUpSteps = 500;
    s.syncInterval = 300;
    s.randomSpan = 0.5;
    return s;
}

class Hindsight : public ::testing::Test {
  protected:
    void SetUp() override {
        random::restart();
        world = std::make_unique<World>(10, 10, 0, 0, 0);
        world->generateObstacleField(3, 8, {-50, -50}, {50, 50}, 12);
    }
    std::unique_ptr<World> world;
};

// Writes one drive of straight moves from where the robot stands into `memory`, ended as
// given; returns the number of its first state.
std::int64_t driveStraight(World& world, ReplayMemory& memory, int moves, DriveEnd end) {
    const std::int64_t first = memory.written();
    for (int k = 0; k <= moves; ++k) {
        world.sense();
        ReplayState& s = memory.append();
        encodeRangeInputs(s.inputs, world.sensor.ranges.data());
        placeState(s, world.pose(), world.goal);
        s.action = 2; // straight ahead, travel -3
        if (k < moves) {
            world.move(0, 3);
        }
    }
    memory.endDrive(end);
    return first;
}

TEST_F(Hindsight, ATrainingIsItsSeedsAndDrawsOnlyPlacementsFromTheProcess) {
    TrainingSettings settings;
    settings.runs = 400;
    settings.learningRate = 0.05;
    settings.discount = 0.98;
    settings.learner = LearnerKind::hindsight;
    settings.hindsight = smallSettings();
    testing::TempFolder folder{"quorvel-hindsight"};
    settings.logPath = (folder.path() / "eval.dat").string();

    const World start = *world;
    const std::uint32_t state = random::state();
    const TrainingResult first = runTraining(*world, settings);
    ASSERT_EQ(first.status, TrainingResult::Status::completed);
    EXPECT_GT(first.updates, 0);
    const auto learnt = parametersOf(world->learner.network);
    EXPECT_NE(learnt, parametersOf(start.learner.network));
    EXPECT_TRUE(world->learner.network.finite());

    // Without evaluation runs, the process's sequence drew the placements and nothing else.
    World placements = start;
    random::setState(state);
    for (int i = 0; i < settings.runs; ++i) {
        placements.placeRandomly(runPlacementMargin, runRedrawSpan);
    }
    const std::uint32_t afterPlacements = random::state();

    *world = start;
    random::setState(state);
    const TrainingResult again = runTraining(*world, settings);
    EXPECT_EQ(random::state(), afterPlacements);
    EXPECT_EQ(parametersOf(world->learner.network), learnt);
    EXPECT_EQ(again.updates, first.updates);
    EXPECT_EQ(again.counts.goals, first.counts.goals);
    EXPECT_EQ(again.counts.collisions, first.counts.collisions);
}

TEST_F(Hindsight, TheMemoryWrapsAndKeepsEachStatesLaterStates) {
    ReplayMemory memory(1000);
    for (int drive = 0; drive < 4; ++drive) {
        driveStraight(*world, memory, 299, DriveEnd::outOfSteps);
    }
    EXPECT_EQ(memory.written(), 1200);
    EXPECT_EQ(memory.size(), 1000);
    EXPECT_EQ(memory.oldest(), 200);
    // Every held state's drive goes on to its last state, also across the ring's end.
    for (std::int64_t i = memory.oldest(); i < memory.written(); ++i) {
        const ReplayState& s = memory.at(i);
        ASSERT_EQ(i % 300 + s.toLast, 299) << i;
        ASSERT_EQ(memory.at(i + s.toLast).action, -1) << i;
    }
}

TEST_F(Hindsight, ARelabelledGoalIsEncodedWhereTheRobotWasAndPaysWhereItIsReached) {
    world->obstacleCount = 0;
    world->placeAt(0, 0, 0);
    ReplayMemory memory(1000);
    const std::int64_t t = driveStraight(*world, memory, 30, DriveEnd::outOfSteps);
    QNetwork target = world->learner.network;
    const FrozenRater rater(target);
    const double discount = 0.9;
    const ReplayState& later = memory.at(t + 20);
    const Vec2 goal = later.pose.front;

    ReplaySample sample;
    makeSample(memory, t + 2, goal, *world, world->goalRadius, 30, discount, rater, sample);
    // The goal inputs are those of the robot standing at state t + 2, the goal at that place.
    World standing = *world;
    standing.setPose(memory.at(t + 2).pose);
    const Vec2 g = standing.toRobotFrame(goal);
    EXPECT_EQ(sample.input[goalClosenessEntry], 1 / (g.x * g.x + g.y * g.y + 1));
    EXPECT_EQ(sample.input[goalBearingEntry], std::atan2(g.y, g.x));
    EXPECT_GT(g.x, 50);                          // ahead of the robot, not where it stands
    EXPECT_EQ(sample.input[travelEntry + 0], 1); // action 2: travel -3, straight
    EXPECT_EQ(sample.input[steeringEntry + 1], 1);
    // The reward sits at the first move that brings the body onto the goal's disc.
    int first = 0;
    while (!world->touchesDiscAt(memory.at(t + 2 + first + 1).pose, goal, world->goalRadius)) {
        ++first;
    }
    EXPECT_LT(first, 18); // before the place itself: the body reaches the disc's edge first
    EXPECT_EQ(sample.reachedAfter, first + 1);
    EXPECT_DOUBLE_EQ(sample.target, std::pow(discount, first));

    // Fewer return steps than that: the target network's best rating, discounted.
    makeSample(memory, t + 2, goal, *world, world->goalRadius, 3, discount, rater, sample);
    EXPECT_EQ(sample.reachedAfter, -1);
    double v[networkInputs];
    double ratings[QLearner::actionCount];
    std::copy(memory.at(t + 5).inputs, memory.at(t + 5).inputs + rayInputs, v);
    const Vec2 g5 = RobotBody::toFrameOf(memory.at(t + 5).pose, goal);
    encodeGoalInputs(v, g5.x, g5.y);
    rateAllActions(target, v, ratings);
    EXPECT_EQ(sample.target,
              discount * discount * discount * *std::max_element(ratings, ratings + 6));

    // A drive that ended in a collision or beyond the arena's bound pays nothing for its real goal;
    // one the step limit cut is rated at its last state.
    world->goal = {500, 500};
    for (const DriveEnd failed : {DriveEnd::collision, DriveEnd::leftArena}) {
        const std::int64_t ended = driveStraight(*world, memory, 5, failed);
        makeSample(memory, ended + 3, world->goal, *world, world->goalRadius, 8, discount, rater,
                   sample);
        EXPECT_EQ(sample.target, 0);
    }
    const std::int64_t cut = driveStraight(*world, memory, 5, DriveEnd::outOfSteps);
    makeSample(memory, cut + 3, world->goal, *world, world->goalRadius, 8, discount, rater, sample);
    EXPECT_GT(sample.target, 0);
}

TEST_F(Hindsight, RelabelledGoalsArePlacesTheRobotsFrontReachedLaterInTheDrive) {
    world->obstacleCount = 0;
    ReplayMemory memory(1000);
    const std::int64_t first = driveStraight(*world, memory, 10, DriveEnd::outOfSteps);
    driveStraight(*world, memory, 10, DriveEnd::outOfSteps); // the next drive goes on from there
    random::Wide draws(7);
    std::vector<int> picked(11, 0);
    for (int i = 0; i < 2000; ++i) {
        const Vec2 goal = relabelledGoal(memory, first + 4, GoalPick::future, draws);
        int j = 5;
        while (j <= 10 && !(memory.at(first + j).pose.front == goal)) {
            ++j;
        }
        ASSERT_LE(j, 10) << "not a later front point of the drive";
        ++picked[static_cast<std::size_t>(j)];
    }
    for (int j = 5; j <= 10; ++j) {
        EXPECT_GT(picked[static_cast<std::size_t>(j)], 250) << j; // about a sixth each
    }
    EXPECT_EQ(relabelledGoal(memory, first + 4, GoalPick::final, draws),
              memory.at(first + 10).pose.front);
}

TEST_F(Hindsight, TheTargetNetworkChangesOnlyAtASync) {
    HindsightSettings s = smallSettings();
    s.warmUpSteps = 0;
    s.syncInterval = 7;
    const QNetwork initial = world->learner.network;
    HindsightLearner learner(s, 0.05, 0.98, 200, 100, 12345, world->learner.network);
    world->placeRandomly(runPlacementMargin, runRedrawSpan);
    learner.runEpisode(*world, 0);
    learner.update(*world, static_cast<int>(7 - learner.updates() % 7) + 14);
    ASSERT_EQ(learner.updates() % 7, 0);
    const auto synced = parametersOf(world->learner.network);
    EXPECT_EQ(parametersOf(learner.targetNetwork()), synced);
    learner.update(*world, 6);
    EXPECT_NE(parametersOf(world->learner.network), synced);
    EXPECT_EQ(parametersOf(learner.targetNetwork()), synced);
    learner.update(*world, 1);
    EXPECT_EQ(parametersOf(learner.targetNetwork()), parametersOf(world->learner.network));
    EXPECT_NE(parametersOf(learner.targetNetwork()), parametersOf(initial));
}

} // namespace
} // namespace quorvel
