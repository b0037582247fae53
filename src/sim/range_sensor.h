#pragma once

#include "common/bounding_box.h"
#include "common/vec2.h"

#include <vector>

namespace quorvel {

// A fan of range rays leaving the front and rear caps of the body. Rays 0..k-1 fan out
// forwards from the front cap (right to left); ray k + j points exactly opposite to ray j
// and starts on the rear cap, at ray j's origin reflected through the body's centre.
// Local coordinates have their origin at the body's rear point, x along the heading.
class RangeSensor {
  public:
    std::vector<Vec2> localOrigins;
    std::vector<Vec2> localDirections;
    std::vector<Vec2> worldOrigins;
    std::vector<Vec2> worldDirections;
    std::vector<double> ranges;
    int rayCount = 0;
    int raysPerSide = 0;
    double spacing = 0.0;

    // Builds the fan in the body frame for a body of the given length and width. The ranges
    // hold no meaningful value until resetRanges.
    void layout(double length, double width, double spacing, int raysPerSide);

    // Computes the world rays for a body whose rear point is origin: by the vector path where
    // this process has it, else placeInOrder, one ray at a time (the same bits).
    void place(Vec2 origin, Vec2 heading, Vec2 normal);
    // The same for rays `first` onwards.
    void placeInOrder(Vec2 origin, Vec2 heading, Vec2 normal, int first = 0);

    void resetRanges(double value);

    // Shortens every reading to the nearest crossing with the closed outline, if nearer.
    // Outlines of fewer than two vertices are ignored.
    void cast(const Vec2* vertices, int vertexCount);

    // The same readings as cast, for an outline inside `bounds`: rays for which the box lies
    // wholly to one side of the ray's line, behind its origin or beyond its reading (by a
    // margin far above rounding) are not walked.
    void castWithin(const Vec2* vertices, int vertexCount, const BoundingBox& bounds);

  private:
    void castRay(int ray, const Vec2* vertices, int vertexCount);
};

} // namespace quorvel
