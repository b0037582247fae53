#pragma once

#include "common/vec2.h"

#include <QPointF>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The World of a job without a window, built as quorvel-train builds it: the seed, the World
// (its network draws first), the weights, the obstacle field.
struct WorldOptions {
    std::string loadWeights;
    std::string obstacles = "7";
    std::string sides = "10";
    std::string radius = "15";
    std::string seed;
};

// quorvel --record: that World, robot and goal placed, and the learned behaviour played back
// off screen into an animated GIF.
struct RecordOptions {
    std::string output;
    WorldOptions world;
    int frames = 400;
    QSize size{640, 320};
    bool trails = true;
};

// quorvel --plot: the learning curves of evaluation logs drawn into a PNG.
struct PlotOptions {
    std::vector<std::string> logs;
    std::string output;
    QSize size{800, 500};
};

// quorvel --value-map: what a network values on each floor square, seen from above, into a PNG.
struct ValueMapOptions {
    std::string output;
    WorldOptions world;
    std::optional<double> headingDegrees; // the robot's own heading when absent
    QSize size{640, 560};
};

// Each returns the program's exit status: 0, 1 when a file could not be read or written or
// nothing could be drawn, 2 for bad input. What went wrong goes to standard error.
int recordPlayback(const RecordOptions& options);
int plotLogs(const PlotOptions& options);
int drawValueMap(const ValueMapOptions& options);

// Where a point of the arena lands in a value-map picture of this size.
QPointF valueMapPixel(Vec2 point, QSize size);

// "WxH" with both between 16 and 4096 pixels.
std::optional<QSize> readSize(const std::string& text);

} // namespace quorvel
