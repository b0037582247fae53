#include "training/hindsight.h"

#include "common/huge_pages.h"
#include "common/same_bits.h"
#include "common/step_limit.h"
#include "learn/q_learner.h"
#include "learn/training_pass.h"
#include "training/training.h"
#include "world/world.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

namespace quorvel {

const char* learnerName(LearnerKind kind) {
    return kind == LearnerKind::hindsight ? "hindsight" : "online";
}

const char* goalPickName(GoalPick pick) {
    return pick == GoalPick::final ? "final" : "future";
}

const char* explorationName(HindsightExploration exploration) {
    return exploration == HindsightExploration::annealed ? "annealed" : "random";
}

HindsightDefaults defaultHindsight() {
    HindsightDefaults d;
    HindsightSettings& s = d.settings;
    s.relabels = 2;
    s.goalPick = GoalPick::future;
    s.returnSteps = 4;
    s.memorySteps = 400000;
    s.syncInterval = 4000;
    s.updatesPerStep = 2;
    s.warmUpSteps = 20000;
    s.exploration = HindsightExploration::random;
    s.randomStart = 1;
    s.randomEnd = 0.05;
    s.randomSpan = 0.3;
    d.learningRate = 0.05;
    d.discount = 0.99;
    return d;
}

std::uint64_t hindsightSeed(std::uint32_t processState) {
    // A fixed tag beside the state, so the two sequences never start alike.
    return (std::uint64_t{0x68696e64u} << 32) | processState;
}

ReplayMemory::ReplayMemory(int capacity)
    : states_(static_cast<ReplayState*>(
          allocateHugePaged(sizeof(ReplayState) * static_cast<std::size_t>(capacity)))),
      capacity_(capacity) {
    assert(capacity > stepLimit && "a memory holds at least one whole drive");
    // Reserved, not filled: the memory's pages are touched only as drives are written.
}

ReplayState& ReplayMemory::append() {
    if (written_ < capacity_) {
        new (&states_[written_]) ReplayState();
    }
    ReplayState& s = at(written_);
    ++written_;
    writtenSlot_ = writtenSlot_ + 1 == capacity_ ? 0 : writtenSlot_ + 1;
    return s;
}

void ReplayMemory::endDrive(DriveEnd end) {
    for (std::int64_t i = driveStart_; i < written_; ++i) {
        ReplayState& s = at(i);
        s.end = end;
        s.toLast = static_cast<short>(written_ - 1 - i);
    }
    at(written_ - 1).action = -1;
    driveStart_ = written_;
}

Vec2 placeState(ReplayState& s, const RobotBody::Pose& pose, Vec2 goal) {
    s.pose = pose;
    s.goal = goal;
    const Vec2 g = RobotBody::toFrameOf(pose, goal);
    encodeGoalInputs(s.inputs, g.x, g.y);
    return g;
}

namespace {

// The state's input vector for `goal`, without its action: as stored for its drive's goal,
// the goal inputs encoded anew for any other.
void encodeState(const ReplayState& s, Vec2 goal, double* input) {
    std::memcpy(input, s.inputs, sizeof s.inputs); // a fixed size: copied inline, no call
    if (!sameBits(goal.x, s.goal.x) || !sameBits(goal.y, s.goal.y)) {
        const Vec2 g = RobotBody::toFrameOf(s.pose, goal);
        encodeGoalInputs(input, g.x, g.y);
    }
}

} // namespace

std::int64_t relabelledState(const ReplayMemory& memory, std::int64_t t, GoalPick pick,
                             random::Wide& draws) {
    const int toLast = memory.at(t).toLast;
    return pick == GoalPick::final ? t + toLast
                                   : t + 1 + draws.below(static_cast<std::uint32_t>(toLast));
}

Vec2 relabelledGoal(const ReplayMemory& memory, std::int64_t t, GoalPick pick,
                    random::Wide& draws) {
    return memory.at(relabelledState(memory, t, pick, draws)).pose.front;
}

void beginSample(const ReplayMemory& memory, std::int64_t t, Vec2 goal, const RobotBody& body,
                 double goalRadius, int returnSteps, double discount, BegunSample& begun) {
    const ReplayState& s = memory.at(t);
    assert(s.action >= 0 && "a sample starts from a state an action was taken from");
    ReplaySample& sample = begun.sample;
    encodeState(s, goal, sample.input);
    setActionEntries(sample.input, s.action);
    sample.reachedAfter = -1;
    begun.waitsForRating = false;
    double scale = 1;
    for (int m = 0; m < returnSteps; ++m) {
        const ReplayState& next = memory.at(t + m + 1);
        if (body.touchesDiscAt(next.pose, goal, goalRadius)) {
            sample.target = scale;
            sample.reachedAfter = m + 1;
            return;
        }
        if (next.action < 0) {
            // The drive's last state: the step limit cut it, or it failed.
            if (next.end == DriveEnd::outOfSteps) {
                sample.target = scale * discount;
                begun.waitsForRating = true;
                encodeState(next, goal, begun.rated);
            } else {
                sample.target = 0;
            }
            return;
        }
        scale *= discount;
    }
    sample.target = scale;
    begun.waitsForRating = true;
    encodeState(memory.at(t + returnSteps), goal, begun.rated);
}

void finishSample(BegunSample& begun, const double* ratings) {
    begun.sample.target *= *std::max_element(ratings, ratings + QLearner::actionCount);
    begun.waitsForRating = false;
}

void makeSample(const ReplayMemory& memory, std::int64_t t, Vec2 goal, const RobotBody& body,
                double goalRadius, int returnSteps, double discount, const FrozenRater& target,
                ReplaySample& sample) {
    BegunSample begun;
    beginSample(memory, t, goal, body, goalRadius, returnSteps, discount, begun);
    if (begun.waitsForRating) {
        double ratings[QLearner::actionCount];
        target.rate(begun.rated, ratings);
        finishSample(begun, ratings);
    }
    sample = begun.sample;
}

HindsightLearner::HindsightLearner(const HindsightSettings& settings, double learningRate,
                                   double discount, double annealingNumber, int runs,
                                   std::uint64_t seed, const QNetwork& network)
    : settings_(settings), learningRate_(learningRate), discount_(discount),
      annealingNumber_(annealingNumber), runs_(runs), draws_(seed), memory_(settings.memorySteps),
      target_(network), targetRater_(target_) {}

int HindsightLearner::chooseAction(World& world, int run, const ReplayState& state,
                                   const FrozenRater& rater) {
    QLearner& learner = world.learner;
    // Rated only when the choice needs the ratings: a random action does not.
    const auto rate = [&] {
        encodeState(state, state.goal, learner.currentInput);
        learner.rateActions(-1, rater);
    };
    if (settings_.exploration == HindsightExploration::random) {
        const double span = settings_.randomSpan * runs_;
        const double progress = span > 0 ? std::min(1.0, run / span) : 1.0;
        const double p =
            settings_.randomStart + (settings_.randomEnd - settings_.randomStart) * progress;
        if (draws_.unit() < p) {
            return static_cast<int>(draws_.below(QLearner::actionCount));
        }
        rate();
        return learner.greedyAction();
    }
    rate();
    const Exploration x = explorationSchedule(annealingNumber_, run);
    return learner.chooseAction(x.floor, x.exponent, draws_.draw15());
}

TrainingEpisodeResult HindsightLearner::runEpisode(World& world, int run) {
    QLearner& learner = world.learner;
    learner.travel = 0;
    learner.steering = 0;
    int steps = 0;
    // The network learns only after the drive.
    const FrozenRater rater(learner.network);
    for (;;) {
        world.maxRange = episodeSensingRange;
        world.sense();
        ReplayState& s = memory_.append();
        encodeRangeInputs(s.inputs, world.sensor.ranges.data());
        const Vec2 g = placeState(s, world.pose(), world.goal);
        const int action = chooseAction(world, run, s, rater);
        s.action = static_cast<signed char>(action);
        learner.setAction(action);
        const EpisodeStep step = moveAndTest(world, g);
        ++steps;
        if (const std::optional<DriveEnd> end = episodeEnd(step, steps, stepLimit)) {
            ReplayState& last = memory_.append();
            placeState(last, world.pose(), world.goal);
            if (*end == DriveEnd::outOfSteps) {
                // Only a drive the step limit cut learns from its last state's ratings.
                world.sense();
                encodeRangeInputs(last.inputs, world.sensor.ranges.data());
            }
            memory_.endDrive(*end);
            countEnd(world, *end);
            update(world, settings_.updatesPerStep * steps);
            return {*end, steps};
        }
    }
}

std::int64_t HindsightLearner::anyState(random::Wide& draws) const {
    return memory_.oldest() + draws.below(static_cast<std::uint32_t>(memory_.size()));
}

bool HindsightLearner::relabels(random::Wide& draws) const {
    return settings_.relabels > 0 &&
           draws.below(static_cast<std::uint32_t>(settings_.relabels) + 1) > 0;
}

void HindsightLearner::drawSample(const World& world, BegunSample& begun) {
    std::int64_t t;
    do {
        t = anyState(draws_);
    } while (memory_.at(t).action < 0);
    Vec2 goal = memory_.at(t).goal;
    if (relabels(draws_)) {
        goal = relabelledGoal(memory_, t, settings_.goalPick, draws_);
    }
    beginSample(memory_, t, goal, world, world.goalRadius, settings_.returnSteps, discount_, begun);
}

void HindsightLearner::prefetchAhead() const {
    // The two samples after the next one most likely start where the next draws point (unless
    // one falls on a drive's last state), read from a copy of the sequence. The first one's
    // states were asked for one update ago, so its relabelled goal's state is found and its
    // front point asked for now; the second one's states are asked for.
    random::Wide peek = draws_;
    const std::int64_t t = anyState(peek);
    if (relabels(peek)) {
        memory_.prefetchFront(relabelledState(memory_, t, settings_.goalPick, peek));
    }
    memory_.prefetch(anyState(peek), settings_.returnSteps + 1);
}

void HindsightLearner::update(World& world, int count) {
    if (memory_.size() < settings_.warmUpSteps) {
        return;
    }
    QNetwork& network = world.learner.network;
    network.learningRate = learningRate_;
    if (count <= 0) {
        return;
    }
    TrainingPass pass(network);
    double ratings[QLearner::actionCount];
    const auto drawRated = [&](BegunSample& begun) {
        drawSample(world, begun);
        if (begun.waitsForRating) {
            targetRater_.rate(begun.rated, ratings);
            finishSample(begun, ratings);
        }
    };
    // Each sample's target is rated while the sample before it is learnt, unless a copy into
    // the target network comes between them. The samples are drawn in the same order as one
    // at a time (the training draws nothing).
    BegunSample* current = &samples_[0];
    BegunSample* next = &samples_[1];
    drawRated(*current);
    for (int u = 0; u < count; ++u) {
        const bool more = u + 1 < count;
        const bool ahead = more && (updates_ + 1) % settings_.syncInterval != 0;
        if (ahead) {
            drawSample(world, *next);
            prefetchAhead();
        }
        const ReplaySample& sample = current->sample;
        if (ahead && next->waitsForRating) {
            pass.trainWhileRating(sample.input, sample.target, targetRater_, next->rated, ratings);
            finishSample(*next, ratings);
        } else {
            pass.train(sample.input, sample.target);
        }
        if (++updates_ % settings_.syncInterval == 0) {
            pass.writeBack();
            target_ = network;
            targetRater_ = FrozenRater(target_);
        }
        if (!more) {
            break;
        }
        if (!ahead) {
            drawRated(*next);
        }
        std::swap(current, next);
    }
}

} // namespace quorvel
