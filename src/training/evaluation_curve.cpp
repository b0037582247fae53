#include "training/evaluation_curve.h"

#include "training/training.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace quorvel {

namespace {

int slot(EpisodeEnd end) {
    switch (end) {
    case EpisodeEnd::goal:
        return 0;
    case EpisodeEnd::collision:
        return 1;
    case EpisodeEnd::missStepLimit:
    case EpisodeEnd::missArena:
        break;
    }
    return 2;
}

} // namespace

int curveWindow(int evaluations) {
    return std::max(10, static_cast<int>(std::ceil(0.05 * evaluations)));
}

MovingShares::MovingShares(int window)
    : window_(std::max(1, window)), recent_(static_cast<std::size_t>(window_)) {}

CurvePoint MovingShares::add(const EvaluationPoint& point) {
    if (filled_ == window_) {
        --counts_[slot(recent_[next_])];
    } else {
        ++filled_;
    }
    recent_[next_] = point.end;
    ++counts_[slot(point.end)];
    next_ = (next_ + 1) % window_;
    const double n = filled_;
    return {point.index, counts_[0] / n, counts_[1] / n, counts_[2] / n};
}

SampledShares::SampledShares(int expected)
    : expected_(expected), window_(curveWindow(expected)),
      stride_(std::max(1, expected / maxPoints)), shares_(window_) {}

bool SampledShares::add(int index, EpisodeEnd end) {
    const CurvePoint point = shares_.add({index, end});
    const int n = evaluations_++;
    if (n % stride_ != 0 && n != expected_ - 1) {
        return false;
    }
    points_.push_back(point);
    return true;
}

namespace {

// The goals among the last tenth of the evaluation runs (at least one), and how many runs that is.
std::pair<long, std::size_t> lastTenth(const std::vector<bool>& goals) {
    const std::size_t count = (goals.size() + 9) / 10;
    return {static_cast<long>(
                std::count(goals.end() - static_cast<std::ptrdiff_t>(count), goals.end(), true)),
            count};
}

} // namespace

std::optional<double> lastTenthGoalShare(const std::vector<bool>& goals) {
    if (goals.empty()) {
        return std::nullopt;
    }
    const auto [reached, count] = lastTenth(goals);
    return static_cast<double>(reached) / static_cast<double>(count);
}

std::string lastTenthLine(const std::vector<bool>& goals) {
    if (goals.empty()) {
        return "No evaluation runs, so no goal share.";
    }
    const auto [reached, count] = lastTenth(goals);
    char text[128];
    std::snprintf(text, sizeof text,
                  "Goals in the last tenth of the evaluation runs: %ld of %zu (%.0f%%)", reached,
                  count, 100.0 * static_cast<double>(reached) / static_cast<double>(count));
    return text;
}

LiveCurve::LiveCurve(const TrainingSettings& settings)
    : runs_(settings.runs), shares_(expectedEvaluations(settings)) {}

EpisodeEnd endFromColumns(bool moved, bool reached) {
    return reached ? EpisodeEnd::goal : !moved ? EpisodeEnd::collision : EpisodeEnd::missStepLimit;
}

namespace {

constexpr std::size_t quotedLineLimit = 200;
constexpr std::size_t longestLine = 4096; // far longer than any record the trainer writes
constexpr std::size_t readChunk = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skipBlanks(const char*& p, const char* end) {
    while (p < end && isBlank(*p)) {
        ++p;
    }
}

// "%d": blanks, a sign, digits; false when there is none or it does not fit an int.
bool readInt(const char*& p, const char* end, int& value) {
    skipBlanks(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p++ == '-';
    }
    const char* digits = p;
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > 2147483648LL) {
            return false;
        }
    }
    v = negative ? -v : v;
    if (p == digits || v > std::numeric_limits<int>::max()) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// "%lf": blanks, then a number as the C library reads it in the "C" locale (decimal, with an
// exponent, "inf" or "nan"); false when there is none or it does not fit a double.
bool readDouble(const char*& p, const char* end, double& value) {
    skipBlanks(p, end);
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') {
            return false;
        }
    }
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc()) {
        return false;
    }
    p = next;
    return true;
}

bool expect(const char*& p, const char* end, char c) {
    if (p < end && *p == c) {
        ++p;
        return true;
    }
    return false;
}

// One record "%d,%d,%d,%lf,%lf,%lf, %lf", then nothing but blanks and carriage returns.
bool readRecord(const char* p, const char* end, EpisodeEnd& out) {
    int moved = 0, reached = 0, steps = 0;
    double d = 0;
    const bool read = readInt(p, end, moved) && expect(p, end, ',') && readInt(p, end, reached) &&
                      expect(p, end, ',') && readInt(p, end, steps) && expect(p, end, ',') &&
                      readDouble(p, end, d) && expect(p, end, ',') && readDouble(p, end, d) &&
                      expect(p, end, ',') && readDouble(p, end, d) && expect(p, end, ',') &&
                      readDouble(p, end, d);
    if (!read) {
        return false;
    }
    while (p < end && (*p == ' ' || *p == '\r')) {
        ++p;
    }
    if (p != end || (moved != 0 && moved != 1) || (reached != 0 && reached != 1) || steps < 1 ||
        steps > episodeStepLimit) {
        return false;
    }
    out = endFromColumns(moved != 0, reached != 0);
    return true;
}

// A line as a message quotes it: at most 200 characters, control characters escaped.
std::string quoteLine(const char* begin, const char* end) {
    std::string text;
    for (const char* p = begin; p < end && text.size() < quotedLineLimit; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    if (text.size() >= quotedLineLimit) {
        text += "...";
    }
    return text;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

EvaluationLog readEvaluationLog(const std::string& path) {
    EvaluationLog log;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    struct stat info;
    if (file == nullptr || fstat(fileno(file.get()), &info) != 0) {
        log.error = "Could not open \"" + path + "\".";
        return log;
    }
    if (!S_ISREG(info.st_mode)) {
        log.error = "\"" + path + "\" is not an evaluation log: it is " +
                    (S_ISDIR(info.st_mode) ? "a folder." : "not a regular file.");
        return log;
    }
    std::vector<char> buffer(readChunk + longestLine + 1);
    std::size_t held = 0; // bytes of a line begun in the previous chunk
    int number = 0;
    auto fail = [&](const std::string& why) {
        log.ends.clear();
        log.ends.shrink_to_fit();
        log.badLine = number;
        log.error = why;
        return log;
    };
    auto badLine = [&](const char* begin, const char* end) {
        return fail("Line " + std::to_string(number) + " of \"" + path +
                    "\" is not an evaluation record: \"" + quoteLine(begin, end) + "\"");
    };
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + held, 1, readChunk, file.get());
        const bool last = got < readChunk;
        const char* begin = buffer.data();
        const char* end = buffer.data() + held + got;
        for (;;) {
            const char* newline = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
            if (newline == nullptr && !(last && begin < end)) {
                break;
            }
            const char* lineEnd = newline != nullptr ? newline : end;
            if (++number > maxLogLines) {
                return fail("\"" + path + "\" holds more than " + std::to_string(maxLogLines) +
                            " lines, more evaluation runs than any training writes.");
            }
            EpisodeEnd e;
            if (static_cast<std::size_t>(lineEnd - begin) > longestLine ||
                !readRecord(begin, lineEnd, e)) {
                return badLine(begin, lineEnd);
            }
            log.ends.push_back(e);
            begin = newline != nullptr ? newline + 1 : end;
        }
        if (std::ferror(file.get())) {
            return fail("Could not read \"" + path + "\".");
        }
        held = static_cast<std::size_t>(end - begin);
        if (held > longestLine) {
            ++number;
            return badLine(begin, begin + longestLine);
        }
        if (last) {
            return log;
        }
        std::memmove(buffer.data(), begin, held);
    }
}

LabelledCurve logCurve(const std::string& path, const EvaluationLog& log) {
    SampledShares shares(static_cast<int>(log.ends.size()));
    for (std::size_t i = 0; i < log.ends.size(); ++i) {
        shares.add(static_cast<int>(i) + 1, log.ends[i]);
    }
    const std::size_t slash = path.find_last_of('/');
    return {slash == std::string::npos ? path : path.substr(slash + 1), shares.points(),
            shares.window()};
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
