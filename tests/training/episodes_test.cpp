#include "training/episodes.h"

#include "common/random.h"
#include "learn/training_pass.h"
#include "world/world.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace quorvel {
namespace {

std::unique_ptr<World> makeWorld() {
    random::restart();
    return std::make_unique<World>(10, 10, 0, 0, 0);
}

using testing::parametersOf;

// Sweeps in one pass on the learner's network at the learning rate, as an episode takes them.
template <typename Sweeps> void inOnePass(QLearner& l, double learningRate, Sweeps&& sweeps) {
    l.network.learningRate = learningRate;
    TrainingPass pass(l.network);
    sweeps(pass);
}

// A thin wall across the middle of the body at its start-up pose: every move of the agent
// (at most 3 units) still touches it.
void wallThroughTheBody(World& w) {
    w.obstacleCount = 1;
    Obstacle& o = w.obstacles[0];
    o.resize(4);
    o.vertices = {{-0.5, -50}, {0.5, -50}, {0.5, 50}, {-0.5, 50}};
    o.valid = true;
    o.updateBox();
}

// Makes every action that steers +1 rate far above the others, so that a near-greedy choice
// drives the robot round a small circle for ever.
void preferCircling(World& w) {
    QNetwork& n = w.learner.network;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        n.parameter(i) = 0;
    }
    n.hidden1.weights[0][28] = 10; // hidden1 unit 0 fires for steering +1,
    n.hidden2.weights[0][0] = 10;  // hidden2 unit 0 follows it,
    n.hidden2.weights[0][15] = -7.5;
    n.output.weights[0][0] = 4; // and lifts the value
    n.output.weights[0][5] = -1;
}

TEST(TrainingEpisode, RefusedFirstMoveTrainsSlotZeroAloneTowardsZero) {
    for (bool qLearn : {false, true}) {
        auto w = makeWorld();
        wallThroughTheBody(*w);
        QNetwork expected = w->learner.network;
        const DriveEnd end = runTrainingEpisode(*w, 1, 1, 0.6, 0.2, 0.9, qLearn).end;
        EXPECT_EQ(end, DriveEnd::collision);
        EXPECT_EQ(w->collisionCount, 1);
        EXPECT_EQ(w->goalCount + w->missCount, 0);
        expected.learningRate = 0.2;
        expected.train(w->learner.history[0], 0);
        if (qLearn) {
            expected.train(w->learner.history[0], 0);
        }
        EXPECT_EQ(parametersOf(w->learner.network), parametersOf(expected)) << qLearn;
        EXPECT_EQ(w->learner.network.learningRate, 0.2);
    }
}

TEST(TrainingEpisode, BeyondTheArenaBoundOneStepEndsAsMissWithOutcomeZero) {
    auto w = makeWorld();
    w->goal = {300, 0};
    QNetwork expected = w->learner.network;
    EXPECT_EQ(runTrainingEpisode(*w, 0, 20, 0.6, 0.1, 0.9, false).end, DriveEnd::leftArena);
    EXPECT_EQ(w->missCount, 1);
    // The learner holds the last state's ratings, however the choice was decided.
    double last[networkInputs];
    std::copy_n(w->learner.history[0], networkInputs, last);
    double ratings[6];
    rateAllActions(expected, last, ratings);
    for (int a = 0; a < 6; ++a) {
        EXPECT_EQ(w->learner.ratings[a], ratings[a]) << a;
    }
    expected.train(w->learner.history[0], 0.6 + (0 - 0.6));
    EXPECT_EQ(parametersOf(w->learner.network), parametersOf(expected));
}

TEST(TrainingEpisode, RunningOutOfStepsTrainsTheLastSlotTowardsItsOwnRating) {
    auto w = makeWorld();
    preferCircling(*w);
    w->goal = {150, 0};
    const QNetwork before = w->learner.network;
    const TrainingEpisodeResult result = runTrainingEpisode(*w, 0, 20, 0.6, 0.1, 0.9, false);
    EXPECT_EQ(result.end, DriveEnd::outOfSteps);
    EXPECT_EQ(result.steps, 400);
    EXPECT_EQ(w->missCount, 1);

    // The last state's ratings are still there; the last slot records the action taken.
    const double* last = w->learner.history[399];
    const int action = (last[25] == 1 ? 1 : 0) + 2 * (last[27] == 1 ? 1 : last[28] == 1 ? 2 : 0);
    const double m = w->learner.ratings[action];
    auto replay = std::make_unique<QLearner>(w->learner);
    replay->network = before;
    inOnePass(*replay, 0.1, [&](TrainingPass& p) { backupOutcome(p, *replay, 400, 0.9, m, 0.6); });
    EXPECT_EQ(parametersOf(w->learner.network), parametersOf(replay->network));
}

TEST(TrainingEpisode, QLearnStepLimitIsOneDrawInFiveTo399) {
    for (std::uint32_t seed : {1u, 7u, 12345u, 999999u, 31337u}) {
        auto w = makeWorld();
        preferCircling(*w);
        w->goal = {150, 0};
        random::setState(seed);
        const int limit = random::draw() % 395 + 5;
        random::setState(seed);
        EXPECT_EQ(runTrainingEpisode(*w, 0, 20, 0.6, 0.1, 0.9, true).steps, limit);
        EXPECT_EQ(w->missCount, 1);
        EXPECT_GE(limit, 5);
        EXPECT_LE(limit, 399);
        EXPECT_EQ(random::state(), [&] {
            random::setState(seed);
            random::draw();
            for (int i = 0; i < limit; ++i) {
                random::draw(); // one choice per step
            }
            return random::state();
        }());
    }
}

TEST(TrainingEpisode, ArenaBoundOnTheLastAllowedStepEndsWithOutcomeZero) {
    auto w = makeWorld();
    // Make "back up 3, straight" (action 2) the near-certain choice.
    QNetwork& n = w->learner.network;
    for (int i = 0; i < QNetwork::parameterCount; ++i) {
        n.parameter(i) = 0;
    }
    n.hidden1.weights[0][24] = 10;
    n.hidden1.weights[0][27] = 10;
    n.hidden1.weights[0][29] = -15;
    n.hidden2.weights[0][0] = 10;
    n.hidden2.weights[0][15] = -7.5;
    n.output.weights[0][0] = 4;
    n.output.weights[0][5] = -1;
    std::uint32_t seed = 1;
    int limit = 400;
    for (;; ++seed) {
        random::setState(seed);
        limit = random::draw() % 395 + 5;
        if (limit <= 60) {
            break;
        }
    }
    // The goal lies ahead of the front point; each step backs 3 away from it, so the step
    // that starts beyond the arena bound is the last one the limit allows.
    const double start = 212.2 - 3 * (limit - 1);
    w->goal = w->front + start * w->heading;
    const QNetwork before = w->learner.network;
    random::setState(seed);
    const TrainingEpisodeResult result = runTrainingEpisode(*w, 0, 20, 0.6, 0.1, 0.9, true);
    EXPECT_EQ(result.end, DriveEnd::leftArena);
    EXPECT_EQ(result.steps, limit);
    auto replay = std::make_unique<QLearner>(w->learner);
    replay->network = before;
    inOnePass(*replay, 0.1, [&](TrainingPass& p) {
        backupSuccessor(p, *replay, limit, 0.9, 0);
        backupSuccessor(p, *replay, limit, 0.9, 0);
    });
    EXPECT_EQ(parametersOf(w->learner.network), parametersOf(replay->network));
}

TEST(TrainingEpisode, QLearnGoalRunsAnOutcomeSweepThenTwoSuccessorSweeps) {
    auto w = makeWorld();
    w->goal = {-14, 0}; // already within reach of the rear cap: the first move reaches it
    auto replay = std::make_unique<QLearner>(w->learner);
    EXPECT_EQ(runTrainingEpisode(*w, 1, 1, 0.6, 0.3, 0.8, true).end, DriveEnd::goal);
    EXPECT_EQ(w->goalCount, 1);
    std::copy(&w->learner.history[0][0], &w->learner.history[0][0] + 29, &replay->history[0][0]);
    inOnePass(*replay, 0.3, [&](TrainingPass& p) {
        backupOutcome(p, *replay, 1, 0.8, 1, 0);
        backupSuccessor(p, *replay, 1, 0.8, 1);
        backupSuccessor(p, *replay, 1, 0.8, 1);
    });
    EXPECT_EQ(parametersOf(w->learner.network), parametersOf(replay->network));
}

TEST(Backups, OutcomeSweepTrainsFromTheLastSlotBackwards) {
    auto w = makeWorld();
    QLearner& l = w->learner;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 29; ++i) {
            l.history[k][i] = 0.1 * (k + 1) + 0.01 * i;
        }
    }
    QNetwork expected = l.network;
    inOnePass(l, 0.1, [&](TrainingPass& p) { backupOutcome(p, l, 3, 0.5, 1, 0.6); });
    expected.train(l.history[2], 1);
    expected.train(l.history[1], 0.8);
    expected.train(l.history[0], 0.7);
    EXPECT_EQ(parametersOf(l.network), parametersOf(expected));

    // Discount 1 gives every slot the outcome; an outcome equal to the baseline, the baseline.
    QNetwork flat = l.network;
    inOnePass(l, 0.1, [&](TrainingPass& p) { backupOutcome(p, l, 3, 1, 0.3, 0.6); });
    for (int k = 2; k >= 0; --k) {
        flat.train(l.history[k], 0.3);
    }
    EXPECT_EQ(parametersOf(l.network), parametersOf(flat));
}

TEST(Backups, SuccessorSweepUsesTheWeightsThePreviousStepLeft) {
    auto w = makeWorld();
    QLearner& l = w->learner;
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 29; ++i) {
            l.history[k][i] = 0.05 * (k + 1) - 0.02 * i;
        }
    }
    QNetwork expected = l.network;
    QNetwork stale = l.network;
    inOnePass(l, 0.5, [&](TrainingPass& p) { backupSuccessor(p, l, 4, 0.9, 1); });
    expected.learningRate = 0.5;
    expected.train(l.history[3], 1);
    for (int k = 2; k >= 0; --k) {
        const double next = expected.evaluate(l.history[k + 1]);
        expected.train(l.history[k], 0.9 * next);
    }
    EXPECT_EQ(parametersOf(l.network), parametersOf(expected));
    // Targets taken from the weights before the sweep give another network.
    stale.learningRate = 0.5;
    QNetwork frozen = stale;
    stale.train(l.history[3], 1);
    for (int k = 2; k >= 0; --k) {
        stale.train(l.history[k], 0.9 * frozen.evaluate(l.history[k + 1]));
    }
    EXPECT_NE(parametersOf(l.network), parametersOf(stale));
}

TEST(EvaluationEpisode, ReportsMovedAndReachedAsTheDriveEnded) {
    auto w = makeWorld();
    w->goal = {-14, 0};
    const auto before = parametersOf(w->learner.network);
    EvaluationRecord r = runEvaluationEpisode(*w);
    EXPECT_TRUE(r.moved);
    EXPECT_TRUE(r.reached);
    EXPECT_EQ(r.steps, 1);
    EXPECT_EQ(r.startX, -19);
    EXPECT_EQ(r.lastDistanceSquared, 19.0 * 19.0);
    EXPECT_EQ(w->goalCount, 1);
    EXPECT_EQ(parametersOf(w->learner.network), before); // nothing learnt

    auto blocked = makeWorld();
    wallThroughTheBody(*blocked);
    r = runEvaluationEpisode(*blocked);
    EXPECT_FALSE(r.moved);
    EXPECT_FALSE(r.reached);
    EXPECT_EQ(r.steps, 1);
    EXPECT_EQ(blocked->collisionCount, 1);

    // Blocked while the goal already touches the body: the goal wins over the collision.
    blocked->goal = {0, 8};
    r = runEvaluationEpisode(*blocked);
    EXPECT_FALSE(r.moved);
    EXPECT_TRUE(r.reached);
    EXPECT_EQ(r.end, DriveEnd::goal);
    EXPECT_EQ(blocked->goalCount, 1);

    // The goal at (150, 150) from the front point: squared distance exactly 45000, the arena
    // bound, which ends the episode after its first step.
    auto bound = makeWorld();
    bound->goal = {155, 150};
    r = runEvaluationEpisode(*bound);
    EXPECT_EQ(r.lastDistanceSquared, 45000);
    EXPECT_EQ(r.steps, 1);
    EXPECT_EQ(r.end, DriveEnd::leftArena);

    auto circling = makeWorld();
    preferCircling(*circling);
    circling->goal = {150, 0};
    r = runEvaluationEpisode(*circling);
    EXPECT_EQ(r.steps, 400);
    EXPECT_EQ(r.end, DriveEnd::outOfSteps);
    EXPECT_EQ(circling->missCount, 1);
}

TEST(PlaybackStep, OneStepOnTheCurrentInputAndSensesAgain) {
    auto w = makeWorld();
    w->generateObstacleField(3, 6, {-50, -50}, {50, 50}, 10);
    const double slot0 = w->learner.history[0][22];
    const int counts = w->goalCount + w->collisionCount + w->missCount;
    bool reached = true;
    const bool goOn = playbackStep(*w, reached);
    EXPECT_FALSE(reached);
    EXPECT_TRUE(goOn);
    EXPECT_EQ(w->learner.history[0][22], slot0);
    EXPECT_NE(w->learner.currentInput[22], 0);
    EXPECT_EQ(w->goalCount + w->collisionCount + w->missCount, counts);
    const int chosen = (w->learner.travel == -1 ? 1 : 0) + 2 * (w->learner.steering + 1);
    EXPECT_EQ(w->lastChosenValue, w->learner.ratings[chosen]);
    // The rays read the new pose.
    RangeSensor literal = w->sensor;
    literal.resetRanges(30);
    for (int k = 0; k < w->obstacleCount; ++k) {
        literal.cast(w->obstacles[k].vertices.data(), w->obstacles[k].vertexCount);
    }
    EXPECT_EQ(literal.ranges, w->sensor.ranges);

    auto atGoal = makeWorld();
    atGoal->goal = {-14, 0};
    EXPECT_FALSE(playbackStep(*atGoal, reached));
    EXPECT_TRUE(reached);
    auto blocked = makeWorld();
    wallThroughTheBody(*blocked);
    EXPECT_FALSE(playbackStep(*blocked, reached));
    EXPECT_FALSE(reached);
}

} // namespace
} // namespace quorvel
