#include "training/trial_drive.h"

#include "training/episodes.h"
#include "world/world.h"

namespace quorvel {

namespace {

Vec2 centreOf(const World& w) {
    return 0.5 * (w.rear + w.front);
}

} // namespace

std::string formatRunNumber(long long run) {
    std::string digits = std::to_string(run < 0 ? -run : run);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), 1, ' ');
    }
    return run < 0 ? "-" + digits : digits;
}

std::string describeDriveEnd(TrialEnd end, int steps) {
    const std::string count = std::to_string(steps) + (steps == 1 ? " step" : " steps");
    switch (end) {
    case TrialEnd::goal:
        return "goal after " + count;
    case TrialEnd::collision:
        return "collision after " + count;
    case TrialEnd::noGoal:
        return "no goal in " + count;
    case TrialEnd::leftFloor:
        return "left the floor after " + count;
    case TrialEnd::driving:
        break;
    }
    return "driving, step " + std::to_string(steps);
}

TrialDrive::TrialDrive(const World& start, std::uint32_t randomState)
    : start_(std::make_unique<World>(start)), world_(std::make_unique<World>(start)),
      randomState_(randomState), sequence_(randomState), startOnObstacle_(start.robotOnObstacle()) {
    start_->trailCount = 0;
    world_->trailCount = 0;
    path_.centres.push_back(centreOf(start));
}

TrialDrive::~TrialDrive() = default;

void TrialDrive::begin(const QNetwork& network, int run) {
    if (begun_ && steps_ > 0) {
        earlier_.push_back(std::move(path_));
        if (static_cast<int>(earlier_.size()) > keptPaths) {
            earlier_.pop_front();
        }
    }
    begun_ = true;
    *world_ = *start_;
    world_->learner.network = network;
    sequence_ = random::Sequence(randomState_);
    end_ = TrialEnd::driving;
    steps_ = 0;
    run_ = run;
    values_ = ActionValues{};
    path_ = TrialPath{{centreOf(*world_)}, TrialEnd::driving, run};
}

bool TrialDrive::step() {
    if (!begun_ || ended()) {
        return false;
    }
    World& w = *world_;
    bool reached = false;
    const bool goOn = playbackStep(w, reached, sequence_);
    // As a playback tick with trails: the pose, coloured by the value of the chosen action.
    w.trailColour.g = w.lastChosenValue;
    w.recordTrailPose();
    values_ = valuesOfLastStep(w.learner);
    ++steps_;
    const Vec2 centre = centreOf(w);
    path_.centres.push_back(centre);
    if (!goOn) {
        end_ = reached ? TrialEnd::goal : TrialEnd::collision;
    } else if (steps_ >= stepLimit) {
        end_ = TrialEnd::noGoal;
    } else if (centre.x < floorLow || centre.x > floorHigh || centre.y < floorLow ||
               centre.y > floorHigh) {
        end_ = TrialEnd::leftFloor;
    }
    path_.end = end_;
    return true;
}

std::string TrialDrive::caption() const {
    std::string text = "run " + formatRunNumber(run_) + ": " + describeDriveEnd(end_, steps_);
    if (startOnObstacle_) {
        text += " (the start is on an obstacle)";
    }
    return text;
}

} // namespace quorvel
