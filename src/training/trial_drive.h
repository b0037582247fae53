#pragma once

#include "common/random.h"
#include "common/vec2.h"
#include "training/value_probe.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class QNetwork;
class World;

enum class TrialEnd { driving, goal, collision, noGoal, leftFloor };

// Where one trial drove: the robot's centre at the start and after every step.
struct TrialPath {
    std::vector<Vec2> centres;
    TrialEnd end = TrialEnd::driving;
    int run = 0;
};

// Trials of what a training has taught so far. Every trial starts from the same World (robot,
// heading, goal, obstacles) and the same random state, and drives step by step as playback
// drives (the same choice, a trail coloured by the chosen values) until the goal, a refused
// move, the step limit, or the robot's leaving the floor, where nobody could watch it any
// more; so trials differ only by the network they are given. They run on a
// copy of the World with a random sequence of their own: the World they started from and the
// process's random sequence are never touched.
class TrialDrive {
  public:
    static constexpr int stepLimit = 400; // as many as the trail holds
    static constexpr int keptPaths = 8;   // earlier trials kept to be drawn behind the current
    // The drawn floor spans -104..94 on both axes; a robot whose centre is a body length
    // beyond it has left it.
    static constexpr double floorLow = -114;
    static constexpr double floorHigh = 104;

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
    TrialEnd end() const { return end_; }
    bool ended() const { return end_ != TrialEnd::driving; }
    int steps() const { return steps_; }
    int run() const { return run_; }
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
    std::unique_ptr<World> start_;
    std::unique_ptr<World> world_;
    std::uint32_t randomState_;
    random::Sequence sequence_;
    bool startOnObstacle_;
    TrialEnd end_ = TrialEnd::driving;
    int steps_ = 0;
    int run_ = 0;
    bool begun_ = false;
    ActionValues values_;
    TrialPath path_;
    std::deque<TrialPath> earlier_;
};

// A run's number with its thousands apart: "41 200", "1 000 000".
std::string formatRunNumber(long long run);

// How a drive ended, as a person reads it: "goal after 87 steps", "collision after 1 step",
// "no goal in 400 steps", "left the floor after 120 steps".
std::string describeDriveEnd(TrialEnd end, int steps);

} // namespace quorvel
