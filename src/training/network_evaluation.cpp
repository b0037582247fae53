#include "training/network_evaluation.h"

#include "world/world.h"

#include <cstdio>
#include <memory>

namespace quorvel {

void DriveTally::count(DriveEnd end) {
    switch (end) {
    case DriveEnd::goal:
        ++goals;
        break;
    case DriveEnd::collision:
        ++collisions;
        break;
    case DriveEnd::outOfSteps:
        ++outOfSteps;
        break;
    case DriveEnd::leftArena:
        ++leftArena;
        break;
    }
}

std::string describeDrives(const DriveTally& t) {
    char text[224];
    std::snprintf(text, sizeof text,
                  "Of %d drives from random placements, %d reached the goal (%.0f%%); %d ended "
                  "in a collision, %d ran out of steps, %d left the arena.",
                  t.drives(), t.goals, 100 * t.goalShare(), t.collisions, t.outOfSteps,
                  t.leftArena);
    return text;
}

NetworkEvaluation evaluateNetwork(const World& world, int drives, random::Sequence sequence) {
    NetworkEvaluation result;
    auto w = std::make_unique<World>(world);
    for (int i = 0; i < drives; ++i) {
        w->placeRandomly(runPlacementMargin, runRedrawSpan, sequence);
        result.placements.push_back({i, w->placement()});
        result.tally.count(runEvaluationEpisode(*w, &sequence).end);
    }
    return result;
}

} // namespace quorvel
