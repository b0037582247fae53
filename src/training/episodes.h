#pragma once

#include "common/random.h"
#include "common/step_limit.h"
#include "common/vec2.h"

#include <optional>
#include <string>

namespace quorvel {

class World;
class QLearner;
class TrainingPass;
class FrozenRater;

// How any drive ended: an episode, a playback, a trial. The goal reached; a move refused (a
// collision); the step limit reached without the goal; or the robot out of the arena (an
// episode's arena bound, or a watched drive's leaving the floor). Episodes count the last two
// as misses.
enum class DriveEnd : unsigned char { goal, collision, outOfSteps, leftArena };

// The end as a person reads it: "goal after 87 steps", "collision after 1 step", "no goal in
// 400 steps", "left the arena after 120 steps".
std::string describeDriveEnd(DriveEnd end, int steps);

// What an evaluation episode reports, and its log line's columns.
struct EvaluationRecord {
    bool moved = true;
    bool reached = false;
    int steps = 0;
    double lastDistanceSquared = 0;
    double startX = 0;
    double startY = 0;
    DriveEnd end = DriveEnd::outOfSteps;
};

// How far the rays reach in an episode's steps.
inline constexpr double episodeSensingRange = 30;

// What one step of an episode did: its move (false: refused and undone), the goal test after
// it, and the squared distance from the robot's front point to the goal at its start, the
// arena bound's measure.
struct EpisodeStep {
    bool moved = true;
    bool reached = false;
    double distanceSquared = 0;
};

// The step's move by the learner's decoded action (travel, steering), with its refusal, and
// the goal test; `goal` is the goal in the robot's frame at the start of the step.
EpisodeStep moveAndTest(World& world, Vec2 goal);

// How an episode ends once `steps` steps were taken, the last as given, under this step limit;
// nothing while it goes on. A step begun beyond the arena bound is the last; the goal wins over
// a collision, a collision over a miss.
std::optional<DriveEnd> episodeEnd(const EpisodeStep& last, int steps, int stepLimit);

// Counts an episode's end in the World's counters (the last two kinds as misses).
void countEnd(World& world, DriveEnd end);

inline constexpr double evaluationFloor = 0;
inline constexpr double evaluationExponent = 20;

// Senses, and rates the six actions in the World's present state on currentInput, as a
// playback step begins; draws nothing and moves nothing.
void rateWhereItStands(World& world);
// The same with the World's network as `rater` laid it out (for many places in a row).
void rateWhereItStands(World& world, const FrozenRater& rater);

// One near-greedy step on currentInput, sensing again afterwards. Returns true when the
// move was made and the goal not reached.
bool playbackStep(World& world, bool& reached);
// The same, drawing its choice from `sequence` rather than the process's sequence.
bool playbackStep(World& world, bool& reached, random::Sequence& sequence);

// A near-greedy episode without learning; counts its end. Its choices draw from `sequence`,
// or from the process's sequence when that is null.
EvaluationRecord runEvaluationEpisode(World& world, random::Sequence* sequence = nullptr);

struct TrainingEpisodeResult {
    DriveEnd end;
    int steps;
};

// An exploring episode followed by the backward sweeps; counts its end. With qLearn, the
// episode's step limit is drawn (5..399) and it learns by the successor sweeps.
TrainingEpisodeResult runTrainingEpisode(World& world, double floor, double exponent,
                                         double baseline, double learningRate, double discount,
                                         bool qLearn);

// Within a pass on the learner's network, begun with the learning rate set (the sweeps of an
// episode share one, so the weights are laid out once):
// trains slots n-1 down to 0 towards baseline + (outcome - baseline) * discount^(n-1-k);
void backupOutcome(TrainingPass& pass, const QLearner& learner, int steps, double discount,
                   double outcome, double baseline);
// trains slot n-1 towards the outcome and every earlier slot towards discount times the
// network's value of the next slot, as the previous step left the weights.
void backupSuccessor(TrainingPass& pass, const QLearner& learner, int steps, double discount,
                     double outcome);

} // namespace quorvel
