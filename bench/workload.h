#pragma once

#include "common/random.h"
#include "training/hindsight.h"
#include "training/training.h"
#include "world/world.h"

#include <memory>

namespace quorvel::bench {

// The standard workload's field: 7 obstacles of 10 sides, radius 15, after a fresh start.
inline std::unique_ptr<World> standardWorld() {
    random::restart();
    auto world = std::make_unique<World>(10, 10, 0, 0, 0);
    world->generateObstacleField(7, 10, {-50, -50}, {50, 50}, 15);
    return world;
}

// A hindsight learner of the default settings making one update a step, its memory filled by
// its own drives on `world` up to the warm-up: what its updates are timed on.
inline std::unique_ptr<HindsightLearner> warmedHindsightLearner(World& world) {
    const HindsightDefaults d = defaultHindsight();
    HindsightSettings settings = d.settings;
    settings.updatesPerStep = 1;
    auto learner = std::make_unique<HindsightLearner>(settings, d.learningRate, d.discount, 200,
                                                      100000, 1, world.learner.network);
    for (int run = 0; learner->memory().size() < settings.warmUpSteps; ++run) {
        world.placeRandomly(runPlacementMargin, runRedrawSpan);
        learner->runEpisode(world, run);
    }
    return learner;
}

} // namespace quorvel::bench
