#include "world/program_world.h"

#include "world/world.h"

namespace quorvel {

World& programWorld() {
    static World world(10, 10, 0, 0, 0);
    return world;
}

} // namespace quorvel
