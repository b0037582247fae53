#include "rules/input_rules.h"

#include "common/c_locale.h"
#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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
