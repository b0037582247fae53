#pragma once

#include "common/random.h"
#include "training/episodes.h"

#include <optional>

namespace quorvel {

class World;

// What ends a watched drive besides the goal and a refused move.
struct DriveRules {
    int stepLimit = 0;        // 0: none, as the panel's playback has none
    bool endOffFloor = false; // end once the robot has left the drawn floor
};

// A drive of the network as playback drives it, one step at a time: the panel's playback, a
// recorded playback, a trial drive. Each step is a playback step (the near-greedy choice, the
// move, sensing again), then the pose goes into the trail, coloured by the value of the chosen
// action; the drive ends at the goal, at a refused move, or by its rules.
class Drive {
  public:
    explicit Drive(DriveRules rules = {}) : rules_(rules) {}

    // A new drive from wherever the robot stands.
    void restart() {
        steps_ = 0;
        end_.reset();
    }
    // One step on `world`, its choice drawn from `sequence`, or from the process's sequence
    // when that is null. Without keepTrail the trail holds only the new pose. Returns false,
    // doing nothing, once the drive has ended.
    bool step(World& world, bool keepTrail, random::Sequence* sequence = nullptr);

    int steps() const { return steps_; }
    bool ended() const { return end_.has_value(); }
    // How the drive ended; meaningful once ended().
    DriveEnd end() const { return end_.value_or(DriveEnd::outOfSteps); }
    const DriveRules& rules() const { return rules_; }
    void setRules(const DriveRules& rules) { rules_ = rules; }

  private:
    DriveRules rules_;
    int steps_ = 0;
    std::optional<DriveEnd> end_;
};

} // namespace quorvel
