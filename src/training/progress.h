#pragma once

#include "training/training.h"

#include <string>

namespace quorvel {

// The figures a person watching a training sees, wherever it is shown.
struct ProgressFigures {
    TrainingProgress counts;
    double elapsedSeconds = 0;
    double runsPerSecond = 0;
    double remainingSeconds = -1; // negative until a rate is known
};

ProgressFigures progressFigures(const TrainingProgress& counts, double elapsedSeconds);

// "1:05:09", "4:03" or "0:07"; "--:--" for a negative duration.
std::string formatDuration(double seconds);

// "500/2000 (25%)" and "50 runs/s": the pieces every progress display shows.
std::string formatRunsDone(const ProgressFigures& figures);
std::string formatRate(const ProgressFigures& figures);

// One line: "runs 1200/20000 (6%)  3400 runs/s  goals 12  collisions 800  misses 388  left 0:05".
std::string formatProgressLine(const ProgressFigures& figures);

} // namespace quorvel
