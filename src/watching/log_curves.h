#pragma once

#include "training/evaluation_log.h"
#include "training/learning_curve.h"

#include <optional>
#include <string>
#include <vector>

// The learning curves of logs on disk, named so that several can be told apart.
namespace quorvel {

// A curve with a name, for showing several side by side.
struct LabelledCurve {
    std::string name;
    std::vector<CurvePoint> points;
    int window = 10;
    // The share of its evaluation placements from which some drive reaches the goal, when
    // that was searched.
    std::optional<double> reachableShare;
};

// The curve of a log's evaluations against their number, over the window for their count,
// named by the file's name.
LabelledCurve logCurve(const std::string& path, const EvaluationLog& log);

// Names for several logs that tell them apart: their file names; when all have one file name
// (a sweep's eval.dat), their folders' names; otherwise as many trailing parts of their paths
// as it takes.
std::vector<std::string> distinctLogNames(const std::vector<std::string>& paths);

// The curves of several logs, named apart; or, at the first log that cannot be read, its error.
struct LogCurves {
    std::vector<LabelledCurve> curves;
    std::string error;
};
LogCurves readLogCurves(const std::vector<std::string>& paths);

} // namespace quorvel
