#include "training/drive.h"

#include "world/floor.h"
#include "world/world.h"

namespace quorvel {

static_assert(Trail::capacity >= stepLimit, "the trail holds a whole drive");

bool Drive::step(World& world, bool keepTrail, random::Sequence* sequence) {
    if (ended()) {
        return false;
    }
    if (!keepTrail) {
        world.trailCount = 0;
    }
    bool reached = false;
    const bool goOn = sequence != nullptr ? playbackStep(world, reached, *sequence)
                                          : playbackStep(world, reached);
    world.trailColour.g = world.lastChosenValue;
    world.recordTrailPose();
    ++steps_;
    if (!goOn) {
        end_ = reached ? DriveEnd::goal : DriveEnd::collision;
    } else if (rules_.stepLimit > 0 && steps_ >= rules_.stepLimit) {
        end_ = DriveEnd::outOfSteps;
    } else if (rules_.endOffFloor && Floor::left(0.5 * (world.rear + world.front))) {
        end_ = DriveEnd::leftArena;
    }
    return true;
}

} // namespace quorvel
