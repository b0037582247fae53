#pragma once

#include "common/random.h"
#include "training/training.h"

#include <string>
#include <vector>

namespace quorvel {

class World;

// How drives ended, counted.
struct DriveTally {
    int goals = 0;
    int collisions = 0;
    int outOfSteps = 0;
    int leftArena = 0;

    int drives() const { return goals + collisions + outOfSteps + leftArena; }
    double goalShare() const { return drives() > 0 ? static_cast<double>(goals) / drives() : 0; }
    void count(DriveEnd end);
};

// "Of 200 drives from random placements, 84 reached the goal (42%); 70 ended in a collision, 40
// ran out of steps, 6 left the arena."
std::string describeDrives(const DriveTally& tally);

struct NetworkEvaluation {
    DriveTally tally;
    std::vector<EvaluationPlacement> placements; // where each drive started
};

// How often the network reaches the goal, counted instead of guessed: `drives` near-greedy
// drives (as evaluation runs drive, without learning), each from a placement as a training
// run places robot and goal, on the World's field. Everything is drawn from `sequence`, and
// the drives go on a copy: the World and the process's random sequence are untouched.
NetworkEvaluation evaluateNetwork(const World& world, int drives, random::Sequence sequence);

} // namespace quorvel
