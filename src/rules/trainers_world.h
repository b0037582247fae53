#pragma once

#include "rules/field_file.h"
#include "rules/input_rules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class World;

// The options that make the trainer's World, as quorvel-train, quorvel --record and quorvel
// --value-map take them.
struct WorldOptions {
    std::string obstacles;
    std::string sides;
    std::string radius;
    std::string seed;
    std::string loadWeights;
    std::string field; // a field file, in place of the generated field
};
// The default field's options.
WorldOptions defaultWorldOptions();

// The options read by the input rules.
struct WorldPlan {
    GenerateRequest field;
    std::optional<FieldFile> fieldFile; // the field read from a file, when one was given
    std::string fieldPath;
    std::optional<std::uint32_t> seed;
    std::string loadWeights;
};

// Reads and checks the options; the messages to show, in order. False for bad input.
bool planTrainersWorld(const WorldOptions& options, WorldPlan& plan,
                       std::vector<std::string>& messages);

// Builds the program's World by the plan, in the one order every job without a window uses:
// the seed, then the World (its network draws first), then the weights, then the field
// (generated, or read from its file).
// Returns what went wrong with the weights, or nothing.
std::string buildTrainersWorld(const WorldPlan& plan);

} // namespace quorvel
