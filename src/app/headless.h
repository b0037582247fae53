#pragma once

#include "panel/panel_commands.h"
#include "rules/trainers_world.h"

#include <QSize>

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// quorvel --record: that World, robot and goal placed, and the learned behaviour played back
// off screen into an animated GIF.
struct RecordOptions {
    std::string output;
    WorldOptions world = defaultWorldOptions();
    int frames = maxRecordedFrames;
    QSize size{640, 320};
    bool trails = true;
};

// quorvel --plot: the learning curves of evaluation logs drawn into a PNG.
struct PlotOptions {
    std::vector<std::string> logs;
    std::string output;
    QSize size{800, 500};
    // A line at the share of the evaluation placements some drive reaches the goal from (the
    // trainer's --reachable says it), over a single log's curve.
    std::optional<double> reachableShare;
};

// quorvel --value-map: what a network values on each floor square, seen from above, into a PNG.
struct ValueMapOptions {
    std::string output;
    WorldOptions world = defaultWorldOptions();
    std::optional<double> headingDegrees; // the robot's own heading when absent
    QSize size{640, 560};
};

// Each returns the program's exit status: 0, 1 when a file could not be read or written or
// nothing could be drawn, 2 for bad input. What went wrong goes to standard error.
int recordPlayback(const RecordOptions& options);
int plotLogs(const PlotOptions& options);
int drawValueMap(const ValueMapOptions& options);

// "WxH" with both between 16 and 4096 pixels.
std::optional<QSize> readSize(const std::string& text);

} // namespace quorvel
