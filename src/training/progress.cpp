#include "training/progress.h"

#include <cmath>
#include <cstdio>

namespace quorvel {

ProgressFigures progressFigures(const TrainingProgress& counts, double elapsedSeconds) {
    ProgressFigures f;
    f.counts = counts;
    f.elapsedSeconds = elapsedSeconds;
    if (elapsedSeconds > 0 && counts.runsDone > 0) {
        f.runsPerSecond = counts.runsDone / elapsedSeconds;
        f.remainingSeconds = (counts.runs - counts.runsDone) / f.runsPerSecond;
    }
    return f;
}

std::string formatDuration(double seconds) {
    if (seconds < 0 || !std::isfinite(seconds)) {
        return "--:--";
    }
    const long total = std::lround(seconds);
    const long h = total / 3600;
    const long m = total / 60 % 60;
    const long s = total % 60;
    char text[32];
    if (h > 0) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", m, s);
    }
    return text;
}

std::string formatRunsDone(const ProgressFigures& f) {
    const TrainingProgress& c = f.counts;
    const int percent = c.runs > 0 ? static_cast<int>(100.0 * c.runsDone / c.runs) : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d (%d%%)", c.runsDone, c.runs, percent);
    return text;
}

std::string formatRate(const ProgressFigures& f) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f runs/s", f.runsPerSecond);
    return text;
}

std::string formatProgressLine(const ProgressFigures& f) {
    const TrainingProgress& c = f.counts;
    return "runs " + formatRunsDone(f) + "  " + formatRate(f) + "  goals " +
           std::to_string(c.goals) + "  collisions " + std::to_string(c.collisions) + "  misses " +
           std::to_string(c.misses) + "  elapsed " + formatDuration(f.elapsedSeconds) + "  left " +
           formatDuration(f.remainingSeconds);
}

std::vector<FigureLine> figureLines(const ProgressFigures& f, bool cancelled) {
    const TrainingProgress& c = f.counts;
    return {{"Runs:", cancelled ? "Cancelled after " + std::to_string(c.runsDone) + " of " +
                                      std::to_string(c.runs) + " runs"
                                : formatRunsDone(f)},
            {"Goals:", std::to_string(c.goals)},
            {"Collisions:", std::to_string(c.collisions)},
            {"Misses:", std::to_string(c.misses)},
            {"Speed:", formatRate(f)},
            {"Elapsed:", formatDuration(f.elapsedSeconds)},
            {"Time left:", cancelled ? "" : formatDuration(f.remainingSeconds)}};
}

} // namespace quorvel
