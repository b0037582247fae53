#include "watching/trial_drive.h"

#include "common/random.h"
#include "training/episodes.h"
#include "training/training.h"
#include "world/floor.h"
#include "world/world.h"
#include "world/world_state.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <numbers>

namespace quorvel {
namespace {

// A field of two obstacles and a network trained on it for a while, robot and goal placed.
std::unique_ptr<World> trainedWorld(const std::string& log) {
    random::restart();
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(2, 6, {-50, -50}, {50, 50}, 12);
    TrainingSettings settings;
    settings.runs = 3000;
    settings.logPath = log;
    settings.evaluationFrequency = 100;
    settings.learningRate = 0.1;
    settings.discount = 0.9;
    settings.annealingNumber = 200;
    runTraining(*w, settings);
    w->placeRobotAndGoal();
    return w;
}

bool sameBits(Vec2 a, Vec2 b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(TrialDrive, DrivesAsPlaybackOfTheSameNetworkOnATwinAndLeavesTheProcessSequence) {
    testing::TempFolder folder("quorvel-trial");
    auto start = trainedWorld(folder.file("eval.dat"));
    const std::uint32_t state = random::state();
    const std::string startState = testing::worldState(*start);

    TrialDrive trial(*start, 0xC0FFEEu);
    trial.begin(start->learner.network, 3000);
    std::vector<Vec2> rears;
    while (trial.step()) {
        rears.push_back(trial.world().rear);
    }
    EXPECT_EQ(random::state(), state);
    EXPECT_TRUE(testing::worldState(*start) == startState);

    // The twin: playback ticks with trails from the same start and the same random state.
    World twin = *start;
    twin.trailCount = 0;
    random::setState(0xC0FFEEu);
    bool reached = false, goOn = true;
    int steps = 0;
    while (goOn && steps < static_cast<int>(rears.size())) {
        goOn = playbackStep(twin, reached);
        twin.trailColour.g = twin.lastChosenValue;
        twin.recordTrailPose();
        ASSERT_TRUE(sameBits(rears[steps], twin.rear)) << "step " << steps;
        ++steps;
    }
    EXPECT_EQ(trial.steps(), steps);
    EXPECT_EQ(rears.size(), static_cast<std::size_t>(steps));
    EXPECT_GT(steps, 10) << "a trial long enough to tell paths apart";
    ASSERT_TRUE(trial.ended());
    EXPECT_EQ(trial.drive().end(), !goOn ? (reached ? DriveEnd::goal : DriveEnd::collision)
                                   : steps == stepLimit ? DriveEnd::outOfSteps
                                                        : DriveEnd::leftArena);
    EXPECT_TRUE(testing::worldState(trial.world()) == testing::worldState(twin));
    const ActionValues v = trial.lastValues();
    for (int i = 0; i < QLearner::actionCount; ++i) {
        EXPECT_EQ(v.ratings[i], twin.learner.ratings[i]);
    }
    EXPECT_EQ(v.chosen, actionIndex(twin.learner.travel, twin.learner.steering));

    // The next trial starts from the same place and sequence: the same network drives the
    // same path, and the first is kept behind it.
    const TrialPath first = trial.path();
    trial.begin(start->learner.network, 3100);
    while (trial.step()) {
    }
    ASSERT_EQ(trial.earlierPaths().size(), 1u);
    EXPECT_EQ(trial.earlierPaths().back().run, 3000);
    EXPECT_EQ(trial.earlierPaths().back().centres.size(), first.centres.size());
    EXPECT_TRUE(sameBits(trial.path().centres.back(), first.centres.back()));
    for (int i = 0; i < TrialDrive::keptPaths + 3; ++i) {
        trial.begin(start->learner.network, 3200 + i);
        trial.step();
    }
    EXPECT_EQ(static_cast<int>(trial.earlierPaths().size()), TrialDrive::keptPaths);
    EXPECT_EQ(trial.earlierPaths().back().run, 3200 + TrialDrive::keptPaths + 1);
}

TEST(TrialDrive, CaptionsNameTheRunAndTheEndAndAStartOnAnObstacle) {
    EXPECT_EQ(formatRunNumber(800), "800");
    EXPECT_EQ(formatRunNumber(41200), "41 200");
    EXPECT_EQ(formatRunNumber(10000000), "10 000 000");
    EXPECT_EQ(describeDriveEnd(DriveEnd::goal, 87), "goal after 87 steps");
    EXPECT_EQ(describeDriveEnd(DriveEnd::collision, 1), "collision after 1 step");
    EXPECT_EQ(describeDriveEnd(DriveEnd::outOfSteps, 400), "no goal in 400 steps");
    EXPECT_EQ(describeDriveEnd(DriveEnd::leftArena, 12), "left the arena after 12 steps");

    random::restart();
    World w(10, 10, 0, 0, 0);
    // A thin wall through the robot at its start: the first move is refused.
    w.obstacleCount = 1;
    w.obstacles[0].resize(4);
    w.obstacles[0].vertices = {{-0.5, -50}, {0.5, -50}, {0.5, 50}, {-0.5, 50}};
    w.obstacles[0].valid = true;
    w.obstacles[0].updateBox();
    TrialDrive trial(w, 1);
    EXPECT_TRUE(trial.startOnObstacle());
    trial.begin(w.learner.network, 41200);
    EXPECT_EQ(trial.caption(), "run 41 200: driving, step 0 (the start is on an obstacle)");
    EXPECT_TRUE(trial.step());
    EXPECT_FALSE(trial.step());
    EXPECT_EQ(trial.caption(), "run 41 200: collision after 1 step (the start is on an obstacle)");

    w.obstacleCount = 0;
    EXPECT_FALSE(TrialDrive(w, 1).startOnObstacle());
}

// A network that always backs straight: the robot leaves the floor, whichever way it faces,
// once its centre is a body length beyond an edge, and not before.
void backStraight(QNetwork& n) {
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        n.parameter(i) = 0;
    }
    n.hidden1.weights[0][24] = 10; // travel 3 back
    n.hidden1.weights[0][27] = 10; // straight
    n.hidden1.weights[0][29] = -15;
    n.hidden2.weights[0][0] = 10;
    n.hidden2.weights[0][15] = -7.5;
    n.output.weights[0][0] = 4;
    n.output.weights[0][5] = -1;
}

TEST(TrialDrive, EndsWhenTheRobotLeavesTheFloorOnAnySide) {
    random::restart();
    World w(10, 10, 0, 0, 0);
    backStraight(w.learner.network);
    // Facing away from each edge, it backs towards it from the centre: 3 a step.
    const struct {
        double heading; // radians; it drives the other way
        Vec2 towards;
    } sides[] = {{std::numbers::pi, {1, 0}},
                 {0, {-1, 0}},
                 {-std::numbers::pi / 2, {0, 1}},
                 {std::numbers::pi / 2, {0, -1}}};
    for (const auto& side : sides) {
        w.placeAt(0, 0, side.heading);
        w.goal = {500, 500}; // out of reach
        TrialDrive trial(w, 1);
        trial.begin(w.learner.network, 0);
        while (trial.step()) {
        }
        ASSERT_EQ(trial.drive().end(), DriveEnd::leftArena) << side.towards.x << side.towards.y;
        const Vec2 centre = 0.5 * (trial.world().rear + trial.world().front);
        const double along = centre.x * side.towards.x + centre.y * side.towards.y;
        const double edge = side.towards.x + side.towards.y > 0 ? Floor::high : -Floor::low;
        EXPECT_GT(along, edge + Floor::margin);
        EXPECT_LE(along, edge + Floor::margin + 3) << "one step earlier it was still on";
    }
}

// Each trial drives the network it was given at its run, not the start's: with a network
// that backs straight the trial leaves the floor; begun again with the start's own, it
// drives the start's path.
TEST(TrialDrive, DrivesTheNetworkGivenAtItsRun) {
    random::restart();
    World w(10, 10, 0, 0, 0);
    w.placeAt(0, 0, 0);
    w.goal = {500, 500};
    QNetwork straight = w.learner.network;
    backStraight(straight);
    TrialDrive trial(w, 5);
    trial.begin(straight, 120);
    while (trial.step()) {
    }
    EXPECT_EQ(trial.run(), 120);
    EXPECT_EQ(trial.drive().end(), DriveEnd::leftArena);
    EXPECT_EQ(testing::parametersOf(trial.world().learner.network),
              testing::parametersOf(straight));
    const int straightSteps = trial.steps();

    trial.begin(w.learner.network, 240);
    while (trial.step()) {
    }
    World twin = w;
    random::Sequence sequence(5);
    Drive drive(TrialDrive::rules);
    while (drive.step(twin, true, &sequence)) {
    }
    EXPECT_EQ(trial.steps(), drive.steps());
    EXPECT_NE(trial.steps(), straightSteps);
    EXPECT_EQ(trial.world().rear, twin.rear);
    EXPECT_EQ(trial.earlierPaths().back().run, 120);
}

} // namespace
} // namespace quorvel
