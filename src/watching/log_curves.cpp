#include "watching/log_curves.h"

#include <algorithm>
#include <functional>

namespace quorvel {

LabelledCurve logCurve(const std::string& path, const EvaluationLog& log) {
    SampledShares shares(static_cast<int>(log.ends.size()));
    for (std::size_t i = 0; i < log.ends.size(); ++i) {
        shares.add(static_cast<int>(i) + 1, log.ends[i]);
    }
    const std::size_t slash = path.find_last_of('/');
    return {slash == std::string::npos ? path : path.substr(slash + 1), shares.points(),
            shares.window(), std::nullopt};
}

namespace {

// The last `parts` parts of a path ("a/b/c", 2: "b/c"), or all of it.
std::string lastParts(const std::string& path, int parts) {
    std::size_t at = path.size();
    for (int i = 0; i < parts; ++i) {
        const std::size_t slash = at == 0 ? std::string::npos : path.find_last_of('/', at - 1);
        if (slash == std::string::npos) {
            return path;
        }
        at = slash;
    }
    return path.substr(at + 1);
}

bool allDistinct(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end();
}

} // namespace

std::vector<std::string> distinctLogNames(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        names.push_back(lastParts(path, 1));
    }
    if (allDistinct(names)) {
        return names;
    }
    if (std::adjacent_find(names.begin(), names.end(), std::not_equal_to<>()) == names.end()) {
        // One file name for all: their folders tell them apart, if anything does.
        std::vector<std::string> folders;
        for (const std::string& path : paths) {
            const std::string two = lastParts(path, 2);
            const std::size_t slash = two.find('/');
            folders.push_back(slash == std::string::npos ? two : two.substr(0, slash));
        }
        if (allDistinct(folders)) {
            return folders;
        }
    }
    for (int parts = 2; parts < 64; ++parts) {
        names.clear();
        for (const std::string& path : paths) {
            names.push_back(lastParts(path, parts));
        }
        if (allDistinct(names)) {
            break;
        }
    }
    return names;
}

LogCurves readLogCurves(const std::vector<std::string>& paths) {
    LogCurves result;
    for (const std::string& path : paths) {
        const EvaluationLog log = readEvaluationLog(path);
        if (!log.error.empty()) {
            return {{}, log.error};
        }
        result.curves.push_back(logCurve(path, log));
    }
    const std::vector<std::string> names = distinctLogNames(paths);
    for (std::size_t i = 0; i < names.size(); ++i) {
        result.curves[i].name = names[i];
    }
    return result;
}

} // namespace quorvel
