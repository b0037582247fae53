#pragma once

#include "common/random.h"
#include "learn/frozen_rater.h"
#include "learn/q_network.h"
#include "sim/robot_body.h"
#include "training/episodes.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace quorvel {

class World;

// Which learner a training's runs learn with: the on-line learner of the episodes (the
// program's first), or learning from a replay memory with hindsight goals.
enum class LearnerKind : unsigned char { online, hindsight };
const char* learnerName(LearnerKind kind); // "online", "hindsight"

// Where a relabelled goal is taken from: the front point of a random later pose of the same
// drive, or of the drive's last pose.
enum class GoalPick : unsigned char { future, final };
const char* goalPickName(GoalPick pick);

// How a hindsight training episode chooses: a random action with a probability falling from
// randomStart to randomEnd over the first randomSpan of the runs, else the best rated; or the
// on-line learner's annealed choice.
enum class HindsightExploration : unsigned char { random, annealed };
const char* explorationName(HindsightExploration exploration);

struct HindsightSettings {
    int relabels = 0; // relabelled goals for each real one a sample draws
    GoalPick goalPick = GoalPick::future;
    int returnSteps = 0;  // n of the n-step returns
    int memorySteps = 0;  // states the replay memory holds before it overwrites the oldest
    int syncInterval = 0; // updates between two copies of the network into the target network
    int updatesPerStep = 0;
    int warmUpSteps = 0; // states in memory before learning starts
    HindsightExploration exploration = HindsightExploration::random;
    double randomStart = 0;
    double randomEnd = 0;
    double randomSpan = 0; // share of the runs
};

// The hindsight learner's settings the study in docs/learning.md chose, with its learning rate
// and discount (the training's own fields hold those).
struct HindsightDefaults {
    HindsightSettings settings;
    double learningRate = 0;
    double discount = 0;
};
HindsightDefaults defaultHindsight();

// The seed of a hindsight training's own sequence from the process's sequence's state.
std::uint64_t hindsightSeed(std::uint32_t processState);

// One state of a drive in the replay memory: its input vector for the drive's goal (what the
// robot sensed and where the goal lay, encoded), where it stood, the drive's goal, the action
// taken from it (-1: the drive's last state), how the drive ended and how many states later
// its last state is.
struct ReplayState {
    double inputs[stateInputs];
    RobotBody::Pose pose;
    Vec2 goal;
    signed char action = -1;
    DriveEnd end = DriveEnd::outOfSteps;
    short toLast = 0;
};

// Asks for the cache line at p. The compiler's own prefetch is dropped as dead code where
// nothing else around it has an effect; an instruction written out is always kept.
inline void prefetchLine(const char* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*p));
#else
    __builtin_prefetch(p);
#endif
}

// Asks for every cache line of bytes p..p + size - 1 (none when size is 0).
inline void prefetchBytes(const void* p, std::size_t size) {
    if (size == 0) {
        return;
    }
    constexpr std::uintptr_t line = 64;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    for (std::uintptr_t a = start & ~(line - 1); a < start + size; a += line) {
        prefetchLine(reinterpret_cast<const char*>(a));
    }
}

// Puts a state where the robot stands, `goal` its drive's goal, with that goal's inputs: the
// samples that keep the drive's goal, a third of them by default, need not encode it again.
// Returns the goal in the frame of the robot standing there.
Vec2 placeState(ReplayState& s, const RobotBody::Pose& pose, Vec2 goal);

// A ring of states: drives are written whole, one after another, and the oldest states are
// overwritten once it is full. A state's later states in its drive are always still held.
class ReplayMemory {
  public:
    explicit ReplayMemory(int capacity);

    // The state with absolute number i (0 for the first ever written).
    ReplayState& at(std::int64_t i) { return states_[slot(i)]; }
    const ReplayState& at(std::int64_t i) const { return states_[slot(i)]; }

    // Appends a state of the drive under way; endDrive marks the last one written as the
    // drive's last state and tells every state of the drive how it ended.
    ReplayState& append();
    void endDrive(DriveEnd end);

    // Asks the processor to bring states i..i + count - 1 into its caches ahead of use: a
    // large memory is read at random, and each state read waits for main memory otherwise.
    void prefetch(std::int64_t i, int count) const {
        count = static_cast<int>(std::min<std::int64_t>(count, written_ - i));
        if (count <= 0) {
            return;
        }
        const std::size_t s = slot(i); // one slot, then the ring's next ones
        const std::size_t first = std::min<std::size_t>(count, capacity_ - s);
        prefetchBytes(states_.get() + s, first * sizeof(ReplayState));
        prefetchBytes(states_.get(), (count - first) * sizeof(ReplayState));
    }
    // Asks for state i's front point, all a relabelled goal reads of it.
    void prefetchFront(std::int64_t i) const {
        const Vec2& front = states_[slot(i)].pose.front;
        prefetchBytes(&front, sizeof front);
    }

    std::int64_t written() const { return written_; }
    std::int64_t oldest() const { return written_ > capacity_ ? written_ - capacity_ : 0; }
    int size() const { return static_cast<int>(written_ - oldest()); }
    int capacity() const { return capacity_; }

  private:
    // i % capacity for the states held and the next to write, without a division: counted
    // back from the next one's slot.
    std::size_t slot(std::int64_t i) const {
        assert(i <= written_ && written_ - i <= capacity_ && "a state the memory holds");
        const std::int64_t s = writtenSlot_ - (written_ - i);
        return static_cast<std::size_t>(s < 0 ? s + capacity_ : s);
    }

    // In huge pages (common/huge_pages): read at random, a memory of the default size spans
    // far more small pages than the processor keeps translations of.
    struct Free {
        void operator()(ReplayState* p) const { std::free(p); }
    };
    static_assert(std::is_trivially_destructible_v<ReplayState>);
    std::unique_ptr<ReplayState[], Free> states_;
    int capacity_;
    std::int64_t written_ = 0;
    std::int64_t writtenSlot_ = 0; // written_ % capacity_
    std::int64_t driveStart_ = 0;
};

// A goal for state t that its drive reached: the front point of a later state of the drive,
// drawn uniformly (future), or of its last state (final).
Vec2 relabelledGoal(const ReplayMemory& memory, std::int64_t t, GoalPick pick, random::Wide& draws);
// The number of the state whose front point that goal is, drawn the same way.
std::int64_t relabelledState(const ReplayMemory& memory, std::int64_t t, GoalPick pick,
                             random::Wide& draws);

// What a training sample of state t learns: its input vector (the state encoded for `goal`,
// then its action) and its target.
struct ReplaySample {
    double input[networkInputs];
    double target = 0;
    int reachedAfter = -1; // steps after which the goal is reached within n; -1: not
};

// The n-step target of state t towards `goal`: discount^m when the move m steps on (m < n)
// brings the body onto the goal's disc; 0 when the drive ended by a refused move or the arena
// bound first; else discount^k times the target network's best rating k steps on, where k is
// n or the steps to a last state that the step limit cut.
void makeSample(const ReplayMemory& memory, std::int64_t t, Vec2 goal, const RobotBody& body,
                double goalRadius, int returnSteps, double discount, const FrozenRater& target,
                ReplaySample& sample);

// A sample made up to the target network's rating: when its target needs the best rating of
// a later state, `rated` holds that state's input vector (entries 0..23) and the target is
// the factor the best rating is to be multiplied by.
struct BegunSample {
    ReplaySample sample;
    bool waitsForRating = false;
    double rated[networkInputs];
};
void beginSample(const ReplayMemory& memory, std::int64_t t, Vec2 goal, const RobotBody& body,
                 double goalRadius, int returnSteps, double discount, BegunSample& begun);
// The target of a sample that waited, from the six ratings of its `rated`.
void finishSample(BegunSample& begun, const double* ratings);

// The hindsight learner of one training: it drives the training runs' episodes itself (the
// same placements, sensing, moves, ends and step limit as the on-line learner's), stores them,
// and trains the World's network from samples of the memory. Every draw it makes comes from
// its own sequence, started from `seed`; the process's sequence draws only what the session
// draws (placements, and the evaluation runs' choices).
class HindsightLearner {
  public:
    // `annealingNumber` serves the annealed choice; `runs` the random choice's schedule.
    HindsightLearner(const HindsightSettings& settings, double learningRate, double discount,
                     double annealingNumber, int runs, std::uint64_t seed, const QNetwork& network);
    HindsightLearner(const HindsightLearner&) = delete; // its rater points at its target
    HindsightLearner& operator=(const HindsightLearner&) = delete;

    // One training episode from where the robot stands, then its updates.
    TrainingEpisodeResult runEpisode(World& world, int run);

    const ReplayMemory& memory() const { return memory_; }
    const QNetwork& targetNetwork() const { return target_; }
    long long updates() const { return updates_; }

    // `count` updates of `network` from samples of the memory (after the warm-up).
    void update(World& world, int count);

  private:
    int chooseAction(World& world, int run, const ReplayState& state, const FrozenRater& rater);
    // Draws the state and goal of the next sample and begins it.
    void drawSample(const World& world, BegunSample& begun);
    // A state drawn uniformly from the memory, and whether a sample's goal is relabelled.
    std::int64_t anyState(random::Wide& draws) const;
    bool relabels(random::Wide& draws) const;
    // Asks for the states the samples after the next one will most likely read.
    void prefetchAhead() const;

    HindsightSettings settings_;
    double learningRate_;
    double discount_;
    double annealingNumber_;
    int runs_;
    random::Wide draws_;
    ReplayMemory memory_;
    QNetwork target_;
    FrozenRater targetRater_; // target_'s ratings
    long long updates_ = 0;
    // The sample being learnt and the next one, whose target is rated meanwhile.
    BegunSample samples_[2];
};

} // namespace quorvel
