#include "rules/field_file.h"

#include "common/c_locale.h"
#include "world/world.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

constexpr const char* header = "quorvel field 1";
constexpr double farthest = 1000; // no coordinate of a field lies farther out
constexpr int minVertices = 3;
constexpr int maxVertices = 10;
constexpr std::size_t longestFile = 1 << 16;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string numbers(std::initializer_list<Vec2> points) {
    std::string text;
    for (const Vec2 p : points) {
        text.append(" ").append(number(p.x)).append(" ").append(number(p.y));
    }
    return text;
}

// The words of a line, split at blanks.
std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// A word that is a finite number, and nothing else, within the field's reach.
std::optional<double> numberOf(const std::string& word) {
    double value = 0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value) ||
        std::fabs(value) > farthest) {
        return std::nullopt;
    }
    return value;
}

} // namespace

FieldFile fieldOf(const World& world) {
    FieldFile f;
    f.rear = world.rear;
    f.front = world.front;
    f.heading = world.heading;
    f.goal = world.goal;
    for (int k = 0; k < world.obstacleCount; ++k) {
        const Obstacle& o = world.obstacles[k];
        f.obstacles.emplace_back(o.vertices.begin(), o.vertices.begin() + o.vertexCount);
    }
    return f;
}

std::string fieldText(const FieldFile& f) {
    const CNumericLocale cLocale;
    std::string text = std::string(header) + "\n";
    text += "robot" + numbers({f.rear, f.front, f.heading}) + "\n";
    text += "goal" + numbers({f.goal}) + "\n";
    for (const std::vector<Vec2>& outline : f.obstacles) {
        text += "obstacle";
        for (const Vec2 v : outline) {
            text += numbers({v});
        }
        text += "\n";
    }
    return text;
}

FieldRead readFieldText(const std::string& text, const std::string& name) {
    FieldRead read;
    FieldFile f;
    bool robot = false, goal = false;
    std::istringstream in(text);
    int number = 0;
    auto fail = [&](const std::string& why) {
        read.error = "Line " + std::to_string(number) + " of \"" + name + "\" " + why;
        return read;
    };
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (number == 1) {
            if (line != header) {
                return fail("is not \"" + std::string(header) +
                            "\": the file is not a field of this program.");
            }
            continue;
        }
        const std::vector<std::string> words = wordsOf(line);
        if (words.empty() || words[0][0] == '#') {
            continue;
        }
        std::vector<double> values;
        for (std::size_t i = 1; i < words.size(); ++i) {
            const std::optional<double> value = numberOf(words[i]);
            if (!value) {
                return fail("holds \"" + words[i].substr(0, 40) +
                            "\", not a number from -1000 to 1000.");
            }
            values.push_back(*value);
        }
        if (words[0] == "robot") {
            if (robot || values.size() != 6) {
                return fail(robot ? "gives the robot a second time."
                                  : "gives the robot as rear x y, front x y, heading x y: "
                                    "six numbers.");
            }
            f.rear = {values[0], values[1]};
            f.front = {values[2], values[3]};
            f.heading = {values[4], values[5]};
            // The heading is a unit vector along the body, which is 10 long.
            const Vec2 along = f.front - f.rear;
            if (std::fabs(length(f.heading) - 1) > 1e-9 || length(along - 10 * f.heading) > 1e-6) {
                return fail("gives no pose of the robot: its heading must be the unit vector "
                            "from its rear to its front, 10 apart.");
            }
            robot = true;
        } else if (words[0] == "goal") {
            if (goal || values.size() != 2) {
                return fail(goal ? "gives the goal a second time."
                                 : "gives the goal as x y: two numbers.");
            }
            f.goal = {values[0], values[1]};
            goal = true;
        } else if (words[0] == "obstacle") {
            const std::size_t vertices = values.size() / 2;
            if (values.size() % 2 != 0 || vertices < minVertices || vertices > maxVertices) {
                return fail("gives an obstacle as x y of each of 3 to 10 vertices.");
            }
            if (static_cast<int>(f.obstacles.size()) == maxFieldObstacles) {
                return fail("gives more than 7 obstacles.");
            }
            std::vector<Vec2>& outline = f.obstacles.emplace_back();
            for (std::size_t i = 0; i < vertices; ++i) {
                outline.push_back({values[2 * i], values[2 * i + 1]});
            }
        } else {
            return fail("begins with \"" + words[0].substr(0, 40) +
                        "\", where robot, goal or obstacle belongs.");
        }
    }
    if (number == 0) {
        read.error = "\"" + name + "\" is empty, not a field of this program.";
        return read;
    }
    if (!robot || !goal) {
        read.error = "\"" + name + "\" gives no " + (robot ? "goal" : "robot") + ".";
        return read;
    }
    read.field = f;
    return read;
}

FieldRead readFieldFile(const std::string& path) {
    FieldRead read;
    // Opened without waiting, so that a FIFO is refused rather than waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > longestFile) {
        const bool regular = fd >= 0 && S_ISREG(info.st_mode);
        if (fd >= 0) {
            close(fd);
        }
        read.error = fd < 0    ? "Could not open \"" + path + "\"."
                     : regular ? "\"" + path + "\" is too large to be a field."
                               : "\"" + path + "\" is not a field: it is not a regular file.";
        return read;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const ssize_t got = ::read(fd, text.data(), text.size());
    close(fd);
    if (got != static_cast<ssize_t>(text.size())) {
        read.error = "Could not read \"" + path + "\".";
        return read;
    }
    return readFieldText(text, path);
}

void applyField(World& world, const FieldFile& f) {
    world.obstacleCount = static_cast<int>(f.obstacles.size());
    for (std::size_t k = 0; k < f.obstacles.size(); ++k) {
        Obstacle& o = world.obstacles[k];
        o.resize(static_cast<int>(f.obstacles[k].size()));
        o.vertices = f.obstacles[k];
        o.valid = true;
        o.updateBox();
    }
    world.goal = f.goal;
    world.restorePlacement({{f.front, f.rear, f.heading, {-f.heading.y, f.heading.x}}, f.goal});
}

} // namespace quorvel
