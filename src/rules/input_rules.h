#pragma once

#include "training/training.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The input rules: how the panel's fields and the trainer's options are read and validated,
// so that both read numbers and report mistakes alike.
namespace quorvel {

// A field read as the C library's sscanf reads it with "%d" / "%lf": leading blanks skipped,
// trailing text ignored, nothing readable gives no value. Always with a full stop. Two
// departures keep what a person did not mean out: an integer beyond the range of int becomes
// the nearest one (where "%d" would wrap it), and a number that is not finite ("nan", "inf",
// "1e309") is unreadable.
std::optional<int> readIntField(const std::string& text);
std::optional<double> readNumberField(const std::string& text);

// The most runs a training takes.
inline constexpr int maxRuns = 10000000;

// The annealing number an empty field stands for.
inline constexpr double defaultAnnealingNumber = 200;

extern const char* const annealingMessage;
// The warnings of a learning rate or a discount outside its range (the training goes on).
extern const char* const learningRateRangeMessage;
extern const char* const discountRangeMessage;

// A seed for the random sequence: a whole number from 0 to 4294967295, nothing else.
std::optional<std::uint32_t> readSeed(const std::string& text);
// What to say of a seed readSeed refused.
std::string seedMessage(const std::string& text);

// The messages of one validation, in the order they are shown. When `ok` is false the last
// one stopped the command; the others were warnings after which it went on.
struct Validation {
    std::vector<std::string> messages;
    bool ok = true;
};

struct GenerateFields {
    std::string count;
    std::string sides;
    std::string radius;
};

struct GenerateRequest {
    int count = 0;
    int sides = 0;
    double radius = 0;
};

// All three fields are tested for readability before any range.
Validation validateGenerate(const GenerateFields& fields, GenerateRequest& request);

struct TrainFields {
    std::string runs;
    std::string evaluationFrequency;
    std::string learningRate;
    std::string discount;
    std::string annealing;
};

struct TrainRequest {
    int runs = 0;
    int evaluationFrequency = 0;
    double learningRate = 0;
    double discount = 0;
    double annealing = defaultAnnealingNumber;
};

Validation validateTrain(const TrainFields& fields, TrainRequest& request);

// A number as a field or an option shows it ("0.999", "500000"); read back by the input rules
// it is the same number.
std::string fieldText(double value);

// The hindsight learner's settings as text, each as its option reads it.
struct HindsightFields {
    std::string relabels;
    std::string goalPick; // "future" or "final"
    std::string returnSteps;
    std::string memory;
    std::string syncInterval;
    std::string updatesPerStep;
    std::string warmUp;
    std::string exploration; // "random" or "annealed"
    std::string randomStart;
    std::string randomEnd;
    std::string randomSpan;
};
// The fields that read back as these settings.
HindsightFields hindsightFields(const HindsightSettings& settings);

// Every field read and its range tested, in the order above; the first that fails stops.
Validation validateHindsight(const HindsightFields& fields, HindsightSettings& settings);

// "online" or "hindsight".
std::optional<LearnerKind> readLearner(const std::string& text);

// The bounds of the hindsight settings.
inline constexpr int maxRelabels = 16;
inline constexpr int minReplayMemory = 1000;
inline constexpr int maxReplayMemory = 4000000;
inline constexpr int maxUpdatesPerStep = 64;

class World;

// Generates the obstacle field as the Generate command does: in the area from (-50, -50) to
// (50, 50), clear of the robot and the goal where they stand now.
void generateRequestedField(World& world, const GenerateRequest& request);

// The driver's settings for a validated Train request.
TrainingSettings trainingSettings(const TrainRequest& request, bool qLearn,
                                  const std::string& logPath, const std::string& backupFolder);

} // namespace quorvel
