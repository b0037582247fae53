#pragma once

#include "cli/trainer_options.h"

#include <string>
#include <vector>

namespace quorvel {

// A file the trainer reads or writes, by the option that names it.
struct TrainerFile {
    const char* option;
    std::string path;
    bool output;
};

// The files named by the options, the weights to start from first; the outputs in the order
// they are written.
std::vector<TrainerFile> trainerFiles(const TrainerOptions& options);

// Two options naming one file would have one output overwrite another, or the log overwrite
// the weights it started from (only --save-weights may name the file --load-weights read, and
// --save-field the file --field read).
// What to say about the first such pair, or nothing.
std::string sharedFileProblem(const TrainerOptions& options);

// The first output that cannot be written, said as the trainer says it, or nothing: checked
// before hours of runs could be lost.
std::string unwritableOutputProblem(const TrainerOptions& options);

} // namespace quorvel
