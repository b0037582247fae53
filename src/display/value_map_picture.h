#pragma once

#include "common/vec2.h"
#include "watching/value_probe.h"

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

namespace quorvel {

class World;

// What a network values on each floor square, seen from above and drawn without OpenGL: the
// squares in their values' colours, the obstacles' outlines, the goal, the robot turned to
// `heading`, a colour bar and the title.
QImage valueMapPicture(const World& world, const ValueMap& map, Vec2 heading, QSize size,
                       const QString& title);

// Where a point of the arena lands in a value-map picture of this size.
QPointF valueMapPixel(Vec2 point, QSize size);

} // namespace quorvel
