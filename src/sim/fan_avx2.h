#pragma once

// Placing and casting the sensor fan four rays at a time (AVX2): every ray takes the same
// operations, in the same order, as RangeSensor::placeInOrder and RangeSensor::cast, so every
// ray and reading has the same bits. Only called once vectorUnitsUsable() said yes.
#include "common/bounding_box.h"
#include "common/vec2.h"

namespace quorvel {

class RangeSensor;

namespace avx2 {

// A closed outline to cast against, with its bounding box.
struct Outline {
    const Vec2* vertices = nullptr;
    int vertexCount = 0;
    BoundingBox box;
};

// Casts the fan against each outline in turn, as cast would. Four neighbouring rays skip an
// outline together when its box lies wholly beside, behind or beyond each of them (by the
// margin castWithin uses), which changes no reading.
void castFan(RangeSensor& fan, const Outline* outlines, int outlineCount);

// RangeSensor::placeInOrder, four rays at a time (the rays left over one at a time).
void placeFan(RangeSensor& fan, Vec2 origin, Vec2 heading, Vec2 normal);

} // namespace avx2
} // namespace quorvel
