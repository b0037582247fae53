#pragma once

#include "common/vec2.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class World;

// A field to keep: the obstacles' outlines, the robot's pose and the goal, as a small text
// file, version 1:
//
//   quorvel field 1
//   robot REAR_X REAR_Y FRONT_X FRONT_Y HEADING_X HEADING_Y
//   goal X Y
//   obstacle X Y X Y ...          (one line an obstacle, 3 to 10 vertices, at most 7)
//
// Numbers are written with every bit ("%.17g"), so a field read and written again is the same
// file; blank lines and lines beginning with '#' are passed over.
struct FieldFile {
    Vec2 rear, front, heading;
    Vec2 goal;
    std::vector<std::vector<Vec2>> obstacles;
};

inline constexpr int maxFieldObstacles = 7;

// The World's field as it stands.
FieldFile fieldOf(const World& world);
std::string fieldText(const FieldFile& field);

// A field file read whole, or the first thing wrong with it: "Line 3 of "f.field": ...".
struct FieldRead {
    std::optional<FieldFile> field;
    std::string error;
};
FieldRead readFieldText(const std::string& text, const std::string& name);
FieldRead readFieldFile(const std::string& path);

// Puts the field into the World: its obstacles (the records beyond them as they were), the
// robot's pose exactly, the goal; clears the trail and senses.
void applyField(World& world, const FieldFile& field);

} // namespace quorvel
