#include "watching/trial_drive.h"

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

TrialDrive::TrialDrive(const World& start, std::uint32_t randomState)
    : start_(start), world_(std::make_unique<World>(start)), randomState_(randomState),
      sequence_(randomState), startOnObstacle_(start.robotOnObstacle()) {
    world_->trailCount = 0;
    path_.centres.push_back(centreOf(start));
}

TrialDrive::~TrialDrive() = default;

void TrialDrive::begin(const QNetwork& network, int run) {
    if (begun_ && steps() > 0) {
        earlier_.push_back(std::move(path_));
        if (static_cast<int>(earlier_.size()) > keptPaths) {
            earlier_.pop_front();
        }
    }
    begun_ = true;
    *world_ = start_;
    world_->trailCount = 0;
    world_->learner.network = network;
    sequence_ = random::Sequence(randomState_);
    drive_.restart();
    values_ = ActionValues{};
    path_ = TrialPath{{centreOf(*world_)}, run};
}

bool TrialDrive::step() {
    if (!begun_ || !drive_.step(*world_, true, &sequence_)) {
        return false;
    }
    values_ = valuesOfLastStep(world_->learner);
    path_.centres.push_back(centreOf(*world_));
    return true;
}

std::string TrialDrive::caption() const {
    std::string text = "run " + formatRunNumber(run()) + ": " +
                       (ended() ? describeDriveEnd(drive_.end(), steps())
                                : "driving, step " + std::to_string(steps()));
    if (startOnObstacle_) {
        text += " (the start is on an obstacle)";
    }
    return text;
}

} // namespace quorvel
