#include "training/episodes.h"

#include "common/c_locale.h"
#include "common/random.h"
#include "world/world.h"

#include <cmath>

namespace quorvel {

namespace {

constexpr double sensingRange = 30;
constexpr int qLearnMinSteps = 5;
constexpr int qLearnStepSpread = 395;

struct EpisodeRun {
    EpisodeEnd end = EpisodeEnd::missStepLimit;
    int steps = 0;
    bool moved = true;
    bool reached = false;
    double lastDistanceSquared = 0;
    double lastRating = 0;
};

// Runs steps until the goal, a refused move, the step limit or the arena bound ends the
// episode. With `record`, each step's action goes into its history slot.
EpisodeRun runSteps(World& world, double floor, double exponent, int stepLimit, bool record) {
    QLearner& learner = world.learner;
    EpisodeRun run;
    for (;;) {
        if (run.reached) {
            run.end = EpisodeEnd::goal;
            return run;
        }
        if (!run.moved) {
            run.end = EpisodeEnd::collision;
            return run;
        }
        if (run.steps >= stepLimit) {
            run.end = EpisodeEnd::missStepLimit;
            return run;
        }
        const int k = run.steps;
        world.maxRange = sensingRange;
        world.sense();
        learner.encodeRanges(k, world.sensor.ranges.data());
        const Vec2 g = world.toRobotFrame(world.goal);
        learner.encodeGoal(k, g.x, g.y);
        learner.rateActions(k);
        const int action = learner.chooseAction(floor, exponent);
        learner.setAction(action);
        if (record) {
            learner.recordAction(k, action);
            run.lastRating = learner.ratings[action];
        }
        run.moved = world.moveRobot(learner.steering, learner.travel);
        run.lastDistanceSquared = g.x * g.x + g.y * g.y;
        run.reached = world.touchesDisc(world.goal, world.goalRadius);
        run.steps = k + 1;
        if (run.lastDistanceSquared >= World::arenaBound) {
            run.end = run.reached  ? EpisodeEnd::goal
                      : !run.moved ? EpisodeEnd::collision
                                   : EpisodeEnd::missArena;
            return run;
        }
    }
}

void countEnd(World& world, EpisodeEnd end) {
    switch (end) {
    case EpisodeEnd::goal:
        ++world.goalCount;
        break;
    case EpisodeEnd::collision:
        ++world.collisionCount;
        break;
    case EpisodeEnd::missStepLimit:
    case EpisodeEnd::missArena:
        ++world.missCount;
        break;
    }
}

} // namespace

void rateWhereItStands(World& world) {
    QLearner& learner = world.learner;
    world.sense();
    learner.encodeRanges(-1, world.sensor.ranges.data());
    const Vec2 g = world.toRobotFrame(world.goal);
    learner.encodeGoal(-1, g.x, g.y);
    learner.rateActions(-1);
}

namespace {

// The playback step with the choice's draw taken from `draw`.
template <typename Draw> bool playbackStepDrawing(World& world, bool& reached, Draw&& draw) {
    QLearner& learner = world.learner;
    rateWhereItStands(world);
    const int action = learner.chooseAction(evaluationFloor, evaluationExponent, draw());
    world.lastChosenValue = learner.ratings[action];
    learner.setAction(action);
    const bool moved = world.moveRobot(learner.steering, learner.travel);
    reached = world.touchesDisc(world.goal, world.goalRadius);
    world.sense();
    return moved && !reached;
}

} // namespace

bool playbackStep(World& world, bool& reached) {
    return playbackStepDrawing(world, reached, [] { return random::draw(); });
}

bool playbackStep(World& world, bool& reached, random::Sequence& sequence) {
    return playbackStepDrawing(world, reached, [&sequence] { return sequence.draw(); });
}

EvaluationRecord runEvaluationEpisode(World& world) {
    world.learner.travel = 0;
    world.learner.steering = 0;
    EvaluationRecord record;
    const Vec2 start = world.toRobotFrame(world.goal);
    record.startX = start.x;
    record.startY = start.y;
    const EpisodeRun run =
        runSteps(world, evaluationFloor, evaluationExponent, episodeStepLimit, false);
    countEnd(world, run.end);
    record.moved = run.moved;
    record.reached = run.reached;
    record.steps = run.steps;
    record.lastDistanceSquared = run.lastDistanceSquared;
    record.end = run.end;
    return record;
}

bool writeEvaluationLine(std::FILE* log, const EvaluationRecord& r) {
    const CNumericLocale cLocale;
    const double startDistance = std::sqrt(r.startX * r.startX + r.startY * r.startY);
    return std::fprintf(log, "%d,%d,%d,%lf,%lf,%lf, %lf\n", r.moved ? 1 : 0, r.reached ? 1 : 0,
                        r.steps, r.lastDistanceSquared, r.startX, r.startY, startDistance) >= 0;
}

TrainingEpisodeResult runTrainingEpisode(World& world, double floor, double exponent,
                                         double baseline, double learningRate, double discount) {
    QLearner& learner = world.learner;
    learner.travel = 0;
    learner.steering = 0;
    const int stepLimit =
        world.qLearnMode ? random::draw() % qLearnStepSpread + qLearnMinSteps : episodeStepLimit;
    const EpisodeRun run = runSteps(world, floor, exponent, stepLimit, true);
    countEnd(world, run.end);

    double outcome = 0;
    switch (run.end) {
    case EpisodeEnd::goal:
        outcome = 1;
        break;
    case EpisodeEnd::missStepLimit:
        outcome = run.lastRating;
        break;
    case EpisodeEnd::collision:
    case EpisodeEnd::missArena:
        outcome = 0;
        break;
    }

    const int n = run.steps;
    if (!world.qLearnMode) {
        backupOutcome(learner, n, learningRate, discount, outcome, baseline);
    } else {
        if (run.end == EpisodeEnd::goal) {
            backupOutcome(learner, n, learningRate, discount, 1, 0);
        }
        backupSuccessor(learner, n, learningRate, discount, outcome);
        backupSuccessor(learner, n, learningRate, discount, outcome);
    }
    return {run.end, n};
}

void backupOutcome(QLearner& learner, int steps, double learningRate, double discount,
                   double outcome, double baseline) {
    QNetwork& network = learner.network;
    network.learningRate = learningRate;
    double e = outcome - baseline;
    network.train(learner.history[steps - 1], baseline + e);
    for (int k = steps - 2; k >= 0; --k) {
        e = e * discount;
        network.train(learner.history[k], baseline + e);
    }
}

void backupSuccessor(QLearner& learner, int steps, double learningRate, double discount,
                     double outcome) {
    QNetwork& network = learner.network;
    network.learningRate = learningRate;
    network.train(learner.history[steps - 1], outcome);
    for (int k = steps - 2; k >= 0; --k) {
        network.trainTowardsNext(learner.history[k], learner.history[k + 1], discount);
    }
}

} // namespace quorvel
