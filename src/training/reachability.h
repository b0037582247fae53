#pragma once

#include "common/step_limit.h"
#include "training/training.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace quorvel {

class World;

// Whether some drive can reach the goal from a placement: found (and proved by replaying it),
// searched out without finding one, or not known within the search's budget.
enum class Reachability { reachable, unreachable, unknown };

// "reachable", "unreachable", "unknown".
const char* reachabilityName(Reachability answer);

// How the search for a drive to the goal goes, every default written here. It is a weighted
// best-first search over the exact poses the six actions lead to: poses are ordered by the
// steps taken plus `weight` times a lower bound on the steps still needed (the distance to the
// goal's reach over the farthest any point of the body moves in a step), and a pose whose
// centre and heading fall in a cell already reached in as few steps is not searched again.
struct ReachSearch {
    int budget = 100000;   // poses expanded before the answer is unknown
    double weight = 3;     // of the lower bound in the order of search (1 is plain A*)
    double cell = 1;       // poses whose centres share a square of this side...
    int headingCells = 64; // ...and whose headings share one of this many cells of a turn
    int stepLimit = quorvel::stepLimit;
};

struct ReachAnswer {
    Reachability answer = Reachability::unknown;
    std::vector<int> actions; // the drive found, one action a step, when reachable
    int expanded = 0;         // poses expanded
};

// Whether some drive of the six actions reaches the goal from where the World's robot stands,
// under the episode's rules: each move refused on contact (which ends the drive), the goal
// tested after every move, the arena bound, the step limit. The obstacles, the goal and the
// robot's pose are the World's; its network plays no part. A drive found is answered
// reachable only once replaying it (driveReachesGoal) reached the goal. Nothing of the World
// is changed and nothing is drawn from the random sequence.
ReachAnswer searchReach(const World& world, const ReachSearch& search = {});

// Whether these actions, one a step from where the robot stands under the episode's rules,
// end the drive at the goal with the last of them.
bool driveReachesGoal(const World& world, const std::vector<int>& actions, int limit = stepLimit);

// The placements to search: all of them (sample 0 or at least their number), or `sample` of
// them spread evenly over the training, the first among them.
std::vector<EvaluationPlacement> spreadSample(const std::vector<EvaluationPlacement>& placements,
                                              int sample);

// The answers for many placements, counted.
struct ReachTally {
    int reachable = 0;
    int unreachable = 0;
    int unknown = 0;
    double seconds = 0;

    int searched() const { return reachable + unreachable + unknown; }
    // The share of the placements from which a drive was found: a lower bound, since an
    // unknown placement counts as not reached.
    double share() const {
        return searched() > 0 ? static_cast<double>(reachable) / searched() : 0;
    }
};

// "Some drive reaches the goal from 612 of 1000 evaluation placements (61%); 310 unreachable,
// 78 unknown"
std::string describeTally(const ReachTally& tally);

// Searches from each of the placements on one field, on the caller's thread or on one of its
// own; the field (obstacles, goal's radius, the body) is copied from the World given.
class ReachJob {
  public:
    ReachJob(const World& field, std::vector<EvaluationPlacement> placements,
             ReachSearch search = {});
    // Cancels a search on its own thread and waits for the placement in progress.
    ~ReachJob();
    ReachJob(const ReachJob&) = delete;
    ReachJob& operator=(const ReachJob&) = delete;

    // Every placement in turn; `each` (if set) after each, with its index and answer.
    void runHere(const std::function<void(int, const ReachAnswer&)>& each = {});
    // The same on a thread of its own; done() and finished() tell how far it is.
    void start();
    void cancel() { cancel_.store(true, std::memory_order_relaxed); }
    int done() const { return done_.load(std::memory_order_acquire); }
    int total() const { return static_cast<int>(placements_.size()); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Once finished (waiting for its thread): the tally and each placement's answer, in order
    // (fewer when it was cancelled).
    ReachTally tally();
    const std::vector<EvaluationPlacement>& placements() const { return placements_; }
    const std::vector<ReachAnswer>& answers() const { return answers_; }

  private:
    std::unique_ptr<World> field_;
    std::vector<EvaluationPlacement> placements_;
    ReachSearch search_;
    std::vector<ReachAnswer> answers_; // the worker's until finished
    ReachTally tally_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<int> done_{0};
    std::atomic<bool> finished_{false};
};

} // namespace quorvel
