#include "training/episodes.h"

#include "common/random.h"
#include "learn/choice_avx2.h"
#include "learn/frozen_rater.h"
#include "learn/training_pass.h"
#include "world/floor.h"
#include "world/world.h"

#include <cmath>

namespace quorvel {

namespace {

constexpr int qLearnMinSteps = 5;
constexpr int qLearnStepSpread = 395;

static_assert(QLearner::historySize >= stepLimit, "an episode's steps fit the history");

struct EpisodeRun {
    DriveEnd end = DriveEnd::outOfSteps;
    int steps = 0;
    bool moved = true;
    bool reached = false;
    double lastDistanceSquared = 0;
    double lastRating = 0; // the last step's exact rating of its action
};

// Runs steps until the goal, a refused move, the step limit or the arena bound ends the
// episode. With `record`, each step's action goes into its history slot.
// Each choice draws from `sequence`, or from the process's sequence when that is null.
EpisodeRun runSteps(World& world, double floor, double exponent, int stepLimit, bool record,
                    random::Sequence* sequence = nullptr) {
    QLearner& learner = world.learner;
    // Nothing learns while the episode drives.
    const FrozenRater rater(learner.network);
    EpisodeRun run;
    for (;;) {
        const int k = run.steps;
        world.maxRange = episodeSensingRange;
        world.sense();
        learner.encodeRanges(k, world.sensor.ranges.data());
        const Vec2 g = world.toRobotFrame(world.goal);
        learner.encodeGoal(k, g.x, g.y);
        const int draw = sequence != nullptr ? sequence->draw() : random::draw();
        // Rough ratings where they decide the choice, but not on the step limit's step: it
        // ends the episode, which needs its exact ratings anyway.
        int action = -1;
        double rough[QLearner::actionCount];
        if (k + 1 < stepLimit && rater.rateRoughly(learner.input(k), rough)) {
            action = avx2::chooseWithin(rough, rater.roughBound(), floor, exponent, draw,
                                        random::maxDraw);
        }
        const bool roughlyRated = action >= 0;
        if (!roughlyRated) {
            learner.rateActions(k, rater);
            action = learner.chooseAction(floor, exponent, draw);
        }
        learner.setAction(action);
        if (record) {
            learner.recordAction(k, action);
        }
        const EpisodeStep step = moveAndTest(world, g);
        run.moved = step.moved;
        run.reached = step.reached;
        run.lastDistanceSquared = step.distanceSquared;
        run.steps = k + 1;
        if (const std::optional<DriveEnd> end = episodeEnd(step, run.steps, stepLimit)) {
            run.end = *end;
            if (roughlyRated) {
                // The learner is left with the last step's exact ratings, as without them;
                // the rating leaves action 5's entries, so the slot takes its action's again.
                learner.rateActions(k, rater);
                if (record) {
                    learner.recordAction(k, action);
                }
            }
            run.lastRating = learner.ratings[action];
            return run;
        }
    }
}

} // namespace

void countEnd(World& world, DriveEnd end) {
    switch (end) {
    case DriveEnd::goal:
        ++world.goalCount;
        break;
    case DriveEnd::collision:
        ++world.collisionCount;
        break;
    case DriveEnd::outOfSteps:
    case DriveEnd::leftArena:
        ++world.missCount;
        break;
    }
}

EpisodeStep moveAndTest(World& world, Vec2 goal) {
    EpisodeStep step;
    step.moved = world.moveRobot(world.learner.steering, world.learner.travel);
    step.distanceSquared = goal.x * goal.x + goal.y * goal.y;
    step.reached = world.touchesDisc(world.goal, world.goalRadius);
    return step;
}

std::optional<DriveEnd> episodeEnd(const EpisodeStep& last, int steps, int stepLimit) {
    if (last.distanceSquared >= arenaBound) {
        return last.reached  ? DriveEnd::goal
               : !last.moved ? DriveEnd::collision
                             : DriveEnd::leftArena;
    }
    if (last.reached) {
        return DriveEnd::goal;
    }
    if (!last.moved) {
        return DriveEnd::collision;
    }
    if (steps >= stepLimit) {
        return DriveEnd::outOfSteps;
    }
    return std::nullopt;
}

std::string describeDriveEnd(DriveEnd end, int steps) {
    const std::string count = std::to_string(steps) + (steps == 1 ? " step" : " steps");
    switch (end) {
    case DriveEnd::goal:
        return "goal after " + count;
    case DriveEnd::collision:
        return "collision after " + count;
    case DriveEnd::outOfSteps:
        return "no goal in " + count;
    case DriveEnd::leftArena:
        break;
    }
    return "left the arena after " + count;
}

void rateWhereItStands(World& world) {
    rateWhereItStands(world, FrozenRater(world.learner.network));
}

void rateWhereItStands(World& world, const FrozenRater& rater) {
    QLearner& learner = world.learner;
    world.sense();
    learner.encodeRanges(-1, world.sensor.ranges.data());
    const Vec2 g = world.toRobotFrame(world.goal);
    learner.encodeGoal(-1, g.x, g.y);
    learner.rateActions(-1, rater);
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

EvaluationRecord runEvaluationEpisode(World& world, random::Sequence* sequence) {
    world.learner.travel = 0;
    world.learner.steering = 0;
    EvaluationRecord record;
    const Vec2 start = world.toRobotFrame(world.goal);
    record.startX = start.x;
    record.startY = start.y;
    const EpisodeRun run =
        runSteps(world, evaluationFloor, evaluationExponent, stepLimit, false, sequence);
    countEnd(world, run.end);
    record.moved = run.moved;
    record.reached = run.reached;
    record.steps = run.steps;
    record.lastDistanceSquared = run.lastDistanceSquared;
    record.end = run.end;
    return record;
}

TrainingEpisodeResult runTrainingEpisode(World& world, double floor, double exponent,
                                         double baseline, double learningRate, double discount,
                                         bool qLearn) {
    QLearner& learner = world.learner;
    learner.travel = 0;
    learner.steering = 0;
    const int limit = qLearn ? random::draw() % qLearnStepSpread + qLearnMinSteps : stepLimit;
    const EpisodeRun run = runSteps(world, floor, exponent, limit, true);
    countEnd(world, run.end);

    double outcome = 0;
    switch (run.end) {
    case DriveEnd::goal:
        outcome = 1;
        break;
    case DriveEnd::outOfSteps:
        outcome = run.lastRating;
        break;
    case DriveEnd::collision:
    case DriveEnd::leftArena:
        outcome = 0;
        break;
    }

    const int n = run.steps;
    learner.network.learningRate = learningRate;
    TrainingPass pass(learner.network);
    if (!qLearn) {
        backupOutcome(pass, learner, n, discount, outcome, baseline);
    } else {
        if (run.end == DriveEnd::goal) {
            backupOutcome(pass, learner, n, discount, 1, 0);
        }
        backupSuccessor(pass, learner, n, discount, outcome);
        backupSuccessor(pass, learner, n, discount, outcome);
    }
    return {run.end, n};
}

void backupOutcome(TrainingPass& pass, const QLearner& learner, int steps, double discount,
                   double outcome, double baseline) {
    double e = outcome - baseline;
    pass.train(learner.history[steps - 1], baseline + e);
    for (int k = steps - 2; k >= 0; --k) {
        e = e * discount;
        pass.train(learner.history[k], baseline + e);
    }
}

void backupSuccessor(TrainingPass& pass, const QLearner& learner, int steps, double discount,
                     double outcome) {
    pass.train(learner.history[steps - 1], outcome);
    pass.trainTowardsEach(learner.history, steps - 1, discount);
}

} // namespace quorvel
