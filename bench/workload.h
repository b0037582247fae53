#pragma once

#include "common/random.h"
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

} // namespace quorvel::bench
