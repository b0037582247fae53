#include "rules/trainers_world.h"

#include "common/random.h"
#include "rules/recommended.h"
#include "world/program_world.h"
#include "world/world.h"

namespace quorvel {

WorldOptions defaultWorldOptions() {
    const GenerateRequest field = defaultField();
    WorldOptions o;
    o.obstacles = fieldText(field.count);
    o.sides = fieldText(field.sides);
    o.radius = fieldText(field.radius);
    return o;
}

bool planTrainersWorld(const WorldOptions& options, WorldPlan& plan,
                       std::vector<std::string>& messages) {
    const Validation v =
        validateGenerate({options.obstacles, options.sides, options.radius}, plan.field);
    messages.insert(messages.end(), v.messages.begin(), v.messages.end());
    if (!v.ok) {
        return false;
    }
    if (!options.seed.empty() && !(plan.seed = readSeed(options.seed))) {
        messages.push_back(seedMessage(options.seed));
        return false;
    }
    plan.loadWeights = options.loadWeights;
    if (!options.field.empty()) {
        FieldRead read = readFieldFile(options.field);
        if (!read.field) {
            messages.push_back(read.error);
            return false;
        }
        plan.fieldFile = std::move(read.field);
        plan.fieldPath = options.field;
        plan.field.count = static_cast<int>(plan.fieldFile->obstacles.size());
    }
    return true;
}

std::string buildTrainersWorld(const WorldPlan& plan) {
    if (plan.seed) {
        random::setState(*plan.seed);
    }
    World& world = programWorld();
    if (!plan.loadWeights.empty()) {
        const WeightFileResult loaded = world.learner.loadWeights(plan.loadWeights.c_str());
        if (!loaded) {
            return describeWeightFileResult(loaded, plan.loadWeights, false);
        }
    }
    if (plan.fieldFile) {
        applyField(world, *plan.fieldFile);
    } else {
        generateRequestedField(world, plan.field);
    }
    return {};
}

} // namespace quorvel
