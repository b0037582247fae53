#pragma once

#include "training/training.h"

#include <string>
#include <vector>

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

// One figure as a window shows it: "Goals:", "1234".
struct FigureLine {
    std::string label;
    std::string text;
};

// The figures of a training in the order a window shows them: Runs, Goals, Collisions,
// Misses, Speed, Elapsed, Time left. Once cancelled, the runs read "Cancelled after N of M
// runs" and no time is left to show.
std::vector<FigureLine> figureLines(const ProgressFigures& figures, bool cancelled = false);

} // namespace quorvel
