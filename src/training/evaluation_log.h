#pragma once

#include "training/episodes.h"

#include <cstdio>
#include <string>
#include <vector>

// The evaluation log: one line an evaluation run, "%d,%d,%d,%lf,%lf,%lf, %lf" (moved, reached,
// steps, the last step's squared goal distance, the goal's start in the robot's frame and its
// distance), no header.
namespace quorvel {

// Writes the record as one log line; false when the write failed.
bool writeEvaluationLine(std::FILE* log, const EvaluationRecord& record);

// The end a line's first two columns give: reached, else not moved, else out of steps.
DriveEnd endFromColumns(bool moved, bool reached);

struct EvaluationLog {
    std::vector<DriveEnd> ends; // the end of the evaluation run on each line, in order
    int badLine = 0;            // 1-based number of the first malformed line, 0 when all are good
    std::string error;
};

// The most lines a log can hold: a training of at most 10000000 runs evaluates each at most once.
inline constexpr int maxLogLines = 10000000;

// Reads an evaluation log: every line "%d,%d,%d,%lf,%lf,%lf, %lf" (as sscanf reads it) with
// 0/1 flags, 1..400 steps and every number within its type's range. A bad line is quoted at
// most 200 characters long with its control characters escaped. A log that is not a regular
// file (a link to one is), or holds more than `lineLimit` lines, is refused without reading it
// all.
EvaluationLog readEvaluationLog(const std::string& path, int lineLimit = maxLogLines);

} // namespace quorvel
