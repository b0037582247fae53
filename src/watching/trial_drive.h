#pragma once

#include "common/random.h"
#include "common/vec2.h"
#include "training/drive.h"
#include "watching/value_probe.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class QNetwork;
class World;

// Where one trial drove: the robot's centre at the start and after every step, and the run at
// which its network was taken.
struct TrialPath {
    std::vector<Vec2> centres;
    int run = 0;
};

// Trials of what a training has taught so far. Every trial starts from the same World (robot,
// heading, goal, obstacles) and the same random state, and drives as playback drives, with a
// trail, until the goal, a refused move, the step limit, or the robot's leaving the floor,
// where nobody could watch it any more; so trials differ only by the network they are given.
// They drive a copy of the start with a random sequence of their own: the start and the
// process's random sequence are never touched.
class TrialDrive {
  public:
    static constexpr int keptPaths = 8; // earlier trials kept to be drawn behind the current
    static constexpr DriveRules rules{stepLimit, true};

    // `start` must outlive the trial drive.
    TrialDrive(const World& start, std::uint32_t randomState);
    ~TrialDrive();
    TrialDrive(const TrialDrive&) = delete;
    TrialDrive& operator=(const TrialDrive&) = delete;

    // Starts a trial from the start with this network, taken after `run` runs.
    void begin(const QNetwork& network, int run);
    // One step of the trial; false, doing nothing, once it has ended.
    bool step();

    // The trial's World: the start until the first step.
    const World& world() const { return *world_; }
    const Drive& drive() const { return drive_; }
    bool ended() const { return drive_.ended(); }
    int steps() const { return drive_.steps(); }
    int run() const { return path_.run; }
    // The ratings and choice of the last step.
    const ActionValues& lastValues() const { return values_; }
    // Whether the robot's body touches an obstacle at the start: every trial is a collision.
    bool startOnObstacle() const { return startOnObstacle_; }
    // "run 41 200: goal after 87 steps", "run 800: driving, step 12", ...
    std::string caption() const;
    // The current trial's path, and the paths of the trials before it, oldest first.
    const TrialPath& path() const { return path_; }
    const std::deque<TrialPath>& earlierPaths() const { return earlier_; }

  private:
    const World& start_;
    std::unique_ptr<World> world_;
    std::uint32_t randomState_;
    random::Sequence sequence_;
    bool startOnObstacle_;
    bool begun_ = false;
    Drive drive_{rules};
    ActionValues values_;
    TrialPath path_;
    std::deque<TrialPath> earlier_;
};

// A run's number with its thousands apart: "41 200", "1 000 000".
std::string formatRunNumber(long long run);

} // namespace quorvel
