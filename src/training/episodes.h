#pragma once

#include "common/random.h"

#include <cstdio>

namespace quorvel {

class World;
class QLearner;

enum class EpisodeEnd : unsigned char { goal, collision, missStepLimit, missArena };

// What an evaluation episode reports, and its log line's columns.
struct EvaluationRecord {
    bool moved = true;
    bool reached = false;
    int steps = 0;
    double lastDistanceSquared = 0;
    double startX = 0;
    double startY = 0;
    EpisodeEnd end = EpisodeEnd::missStepLimit;
};

inline constexpr int episodeStepLimit = 400;
inline constexpr double evaluationFloor = 0;
inline constexpr double evaluationExponent = 20;

// Senses, and rates the six actions in the World's present state on currentInput, as a
// playback step begins; draws nothing and moves nothing.
void rateWhereItStands(World& world);

// One near-greedy step on currentInput, sensing again afterwards. Returns true when the
// move was made and the goal not reached.
bool playbackStep(World& world, bool& reached);
// The same, drawing its choice from `sequence` rather than the process's sequence.
bool playbackStep(World& world, bool& reached, random::Sequence& sequence);

// A near-greedy episode without learning; counts its end.
EvaluationRecord runEvaluationEpisode(World& world);

// Writes the record as one evaluation-log line; false when the write failed.
bool writeEvaluationLine(std::FILE* log, const EvaluationRecord& record);

struct TrainingEpisodeResult {
    EpisodeEnd end;
    int steps;
};

// An exploring episode followed by the backward sweeps; counts its end.
TrainingEpisodeResult runTrainingEpisode(World& world, double floor, double exponent,
                                         double baseline, double learningRate, double discount);

// Trains slots n-1 down to 0 towards baseline + (outcome - baseline) * discount^(n-1-k).
void backupOutcome(QLearner& learner, int steps, double learningRate, double discount,
                   double outcome, double baseline);

// Trains slot n-1 towards the outcome and every earlier slot towards discount times the
// network's value of the next slot, as the previous step left the weights.
void backupSuccessor(QLearner& learner, int steps, double learningRate, double discount,
                     double outcome);

} // namespace quorvel
