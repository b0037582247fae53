#include "cli/trainer_outputs.h"

#include "common/files.h"

namespace quorvel {

std::vector<TrainerFile> trainerFiles(const TrainerOptions& o) {
    return {{"--load-weights", o.world.loadWeights, false},
            {"--log", o.log, true},
            {"--save-weights", o.saveWeights, true},
            {"--save-exact-weights", o.saveExactWeights, true},
            {"--summary-json", o.summaryJson, true},
            {"--reachable-out", o.reachableOut, true},
            {"--save-field", o.saveField, true},
            {"--field", o.world.field, false}};
}

std::string sharedFileProblem(const TrainerOptions& options) {
    const std::vector<TrainerFile> files = trainerFiles(options);
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            const TrainerFile& a = files[i];
            const TrainerFile& b = files[j];
            // Carrying on from the weights or the field a training started from is allowed.
            auto pair = [&](const char* input, const char* output) {
                const std::string x = a.option, y = b.option;
                return (x == input && y == output) || (x == output && y == input);
            };
            const bool continuing =
                pair("--load-weights", "--save-weights") || pair("--field", "--save-field");
            if ((!a.output && !b.output) || a.path.empty() || b.path.empty() || continuing ||
                !sameFile(a.path, b.path)) {
                continue;
            }
            return std::string(a.option) + " and " + b.option + " name the same file \"" + b.path +
                   "\"; nothing was written";
        }
    }
    return {};
}

std::string unwritableOutputProblem(const TrainerOptions& options) {
    for (const TrainerFile& file : trainerFiles(options)) {
        if (!file.output || file.path.empty()) {
            continue;
        }
        if (const std::string problem = writeProblem(file.path); !problem.empty()) {
            return std::string("cannot write ") + file.option + " \"" + file.path +
                   "\": " + problem + "; no training ran";
        }
    }
    return {};
}

} // namespace quorvel
