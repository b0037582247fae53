#include "rules/input_rules.h"

#include "common/c_locale.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <tuple>

namespace quorvel {

const char* const learningRateRangeMessage = "Learning rate must be in the range 0.001 to 0.9";
const char* const discountRangeMessage =
    "Reward Discount factor must be in the range 0.001 to 0.999";

const char* const annealingMessage =
    "The Annealing Magic number is related to the number of iterations \t\t\t\t\t  before the "
    "robot stops \"exploring\" and starts using more learning \t\t\t\t\t  (default is 200)";

namespace {

constexpr int maxObstacles = 7;
constexpr int minSides = 3;
constexpr int maxSides = 10;
constexpr double minRadius = 5.0;
constexpr double maxRadius = 25.0;
constexpr double minAnnealing = 50;
constexpr Vec2 fieldLower{-50, -50};
constexpr Vec2 fieldUpper{50, 50};

std::string notValid(const std::string& text, const char* what) {
    return "\"" + text + "\" is not a valid " + what;
}

Validation stop(Validation v, std::string message) {
    v.messages.push_back(std::move(message));
    v.ok = false;
    return v;
}

} // namespace

std::optional<int> readIntField(const std::string& text) {
    // strtoll reads what "%d" reads (blanks, a sign, decimal digits) but saturates where
    // "%d" wraps; the value is then held to the range of int.
    const CNumericLocale cLocale;
    const char* start = text.c_str();
    char* end = nullptr;
    const long long value = std::strtoll(start, &end, 10);
    if (end == start) {
        return std::nullopt;
    }
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

std::optional<double> readNumberField(const std::string& text) {
    const CNumericLocale cLocale;
    double value = 0;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1 || !std::isfinite(value)) {
        return std::nullopt; // "nan", "inf" and numbers beyond a double are not meant
    }
    return value;
}

std::optional<std::uint32_t> readSeed(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long long value = std::stoull(text);
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string seedMessage(const std::string& text) {
    return "\"" + text + "\" is not a valid seed: give a whole number from 0 to 4294967295";
}

Validation validateGenerate(const GenerateFields& fields, GenerateRequest& request) {
    Validation v;
    const auto count = readIntField(fields.count);
    if (!count) {
        return stop(v, notValid(fields.count, "number of obstacles"));
    }
    const auto sides = readIntField(fields.sides);
    if (!sides) {
        return stop(v, notValid(fields.sides, "number of sides per obstacle"));
    }
    const auto radius = readNumberField(fields.radius);
    if (!radius) {
        return stop(v, notValid(fields.radius, "obstacle radius"));
    }
    if (*count < 0 || *count > maxObstacles) {
        return stop(v, "Number of obstacles must be between 0 and 7 (inclusive)");
    }
    if (*sides < minSides || *sides > maxSides) {
        return stop(v, "Sides per obstacle must be between 3 and 10 (inclusive)");
    }
    if (*radius < minRadius || *radius > maxRadius) {
        return stop(v, "Average Obstacle Radius must be between 5.0 and 25.0 (inclusive)");
    }
    request = {*count, *sides, *radius};
    return v;
}

Validation validateTrain(const TrainFields& fields, TrainRequest& request) {
    Validation v;
    const auto runs = readIntField(fields.runs);
    if (!runs) {
        return stop(v, notValid(fields.runs, "number of training runs"));
    }
    if (*runs < 1 || *runs > maxRuns) {
        return stop(v, "Number of training runs must be between 1 and 10000000 (inclusive)");
    }
    const auto frequency = readIntField(fields.evaluationFrequency);
    if (!frequency) {
        return stop(v, notValid(fields.evaluationFrequency, "evaluation frequency"));
    }
    const auto rate = readNumberField(fields.learningRate);
    if (!rate) {
        return stop(v, notValid(fields.learningRate, "learning rate"));
    }
    if (*rate > 0.9 || *rate <= 0.001) {
        v.messages.emplace_back(learningRateRangeMessage);
    }
    const auto discount = readNumberField(fields.discount);
    if (!discount) {
        return stop(v, notValid(fields.discount, "reward discount rate"));
    }
    if (*discount > 0.999 || *discount <= 0.001) {
        v.messages.emplace_back(discountRangeMessage);
    }
    double annealing = defaultAnnealingNumber;
    if (const auto read = readNumberField(fields.annealing)) {
        annealing = *read;
    } else if (!fields.annealing.empty()) {
        v.messages.emplace_back(annealingMessage);
    }
    if (annealing < minAnnealing) {
        v.messages.emplace_back(annealingMessage);
    }
    request = {*runs, *frequency, *rate, *discount, annealing};
    return v;
}

std::string fieldText(double value) {
    const CNumericLocale cLocale;
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

HindsightFields hindsightFields(const HindsightSettings& s) {
    const auto text = fieldText;
    return {text(s.relabels),     goalPickName(s.goalPick),
            text(s.returnSteps),  text(s.memorySteps),
            text(s.syncInterval), text(s.updatesPerStep),
            text(s.warmUpSteps),  explorationName(s.exploration),
            text(s.randomStart),  text(s.randomEnd),
            text(s.randomSpan)};
}

namespace {

// A whole number in [low, high], or the message that says what it must be.
std::optional<int> readBounded(const std::string& text, const char* what, int low, int high,
                               std::string& problem) {
    const std::optional<int> value = readIntField(text);
    if (!value || *value < low || *value > high) {
        problem = "\"" + text + "\" is not a valid " + what + ": give a whole number from " +
                  std::to_string(low) + " to " + std::to_string(high);
        return std::nullopt;
    }
    return value;
}

std::optional<double> readShare(const std::string& text, const char* what, std::string& problem) {
    const std::optional<double> value = readNumberField(text);
    if (!value || *value < 0 || *value > 1) {
        problem = "\"" + text + "\" is not a valid " + what + ": give a number from 0 to 1";
        return std::nullopt;
    }
    return value;
}

} // namespace

Validation validateHindsight(const HindsightFields& f, HindsightSettings& settings) {
    Validation v;
    std::string problem;
    HindsightSettings s;
    const auto relabels =
        readBounded(f.relabels, "number of relabelled goals", 0, maxRelabels, problem);
    if (!relabels) {
        return stop(v, problem);
    }
    s.relabels = *relabels;
    if (f.goalPick != "future" && f.goalPick != "final") {
        return stop(v, notValid(f.goalPick, "way to pick goals: give future or final"));
    }
    s.goalPick = f.goalPick == "final" ? GoalPick::final : GoalPick::future;
    struct Bounded {
        const std::string& text;
        const char* what;
        int low, high;
        int& into;
    };
    for (const Bounded& b : {
             Bounded{f.returnSteps, "number of return steps", 1, stepLimit, s.returnSteps},
             Bounded{f.memory, "replay memory size", minReplayMemory, maxReplayMemory,
                     s.memorySteps},
             Bounded{f.syncInterval, "sync interval", 1, 100000000, s.syncInterval},
             Bounded{f.updatesPerStep, "number of updates a step", 1, maxUpdatesPerStep,
                     s.updatesPerStep},
         }) {
        const auto value = readBounded(b.text, b.what, b.low, b.high, problem);
        if (!value) {
            return stop(v, problem);
        }
        b.into = *value;
    }
    const auto warmUp = readBounded(f.warmUp, "warm-up (states in memory before learning)", 0,
                                    s.memorySteps, problem);
    if (!warmUp) {
        return stop(v, problem + ", the replay memory's size at most");
    }
    s.warmUpSteps = *warmUp;
    if (f.exploration != "random" && f.exploration != "annealed") {
        return stop(v, notValid(f.exploration, "exploration: give random or annealed"));
    }
    s.exploration =
        f.exploration == "annealed" ? HindsightExploration::annealed : HindsightExploration::random;
    for (const auto& [text, what, into] :
         {std::tuple{&f.randomStart, "random-action share at the start", &s.randomStart},
          std::tuple{&f.randomEnd, "random-action share at the end", &s.randomEnd},
          std::tuple{&f.randomSpan, "share of the runs the random actions fall over",
                     &s.randomSpan}}) {
        const auto value = readShare(*text, what, problem);
        if (!value) {
            return stop(v, problem);
        }
        *into = *value;
    }
    settings = s;
    return v;
}

std::optional<LearnerKind> readLearner(const std::string& text) {
    if (text == "online") {
        return LearnerKind::online;
    }
    if (text == "hindsight") {
        return LearnerKind::hindsight;
    }
    return std::nullopt;
}

void generateRequestedField(World& world, const GenerateRequest& request) {
    world.generateObstacleField(request.count, request.sides, fieldLower, fieldUpper,
                                request.radius);
}

TrainingSettings trainingSettings(const TrainRequest& request, bool qLearn,
                                  const std::string& logPath, const std::string& backupFolder) {
    TrainingSettings settings;
    settings.runs = request.runs;
    settings.logPath = logPath;
    settings.evaluationFrequency = request.evaluationFrequency;
    settings.learningRate = request.learningRate;
    settings.discount = request.discount;
    settings.annealingNumber = request.annealing;
    settings.qLearn = qLearn;
    settings.backupFolder = backupFolder;
    return settings;
}

} // namespace quorvel
