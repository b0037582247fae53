#include "training/evaluation_log.h"

#include "common/c_locale.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

bool writeEvaluationLine(std::FILE* log, const EvaluationRecord& r) {
    const CNumericLocale cLocale;
    const double startDistance = std::sqrt(r.startX * r.startX + r.startY * r.startY);
    return std::fprintf(log, "%d,%d,%d,%lf,%lf,%lf, %lf\n", r.moved ? 1 : 0, r.reached ? 1 : 0,
                        r.steps, r.lastDistanceSquared, r.startX, r.startY, startDistance) >= 0;
}

DriveEnd endFromColumns(bool moved, bool reached) {
    return reached ? DriveEnd::goal : !moved ? DriveEnd::collision : DriveEnd::outOfSteps;
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
bool readRecord(const char* p, const char* end, DriveEnd& out) {
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
        steps > stepLimit) {
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

EvaluationLog readEvaluationLog(const std::string& path, int lineLimit) {
    EvaluationLog log;
    // Opened without waiting, so that a FIFO is refused rather than waited on for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        log.error = "Could not open \"" + path + "\".";
        return log;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        log.error = "\"" + path + "\" is not an evaluation log: it is " +
                    (S_ISDIR(info.st_mode) ? "a folder." : "not a regular file.");
        return log;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::unique_ptr<std::FILE, FileCloser> file(fdopen(fd, "rb"));
    if (file == nullptr) {
        close(fd);
        log.error = "Could not open \"" + path + "\".";
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
            if (++number > lineLimit) {
                return fail("\"" + path + "\" holds more than " + std::to_string(lineLimit) +
                            " lines, more evaluation runs than any training writes.");
            }
            DriveEnd e;
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

} // namespace quorvel
