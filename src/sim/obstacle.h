#pragma once

#include "common/bounding_box.h"
#include "common/vec2.h"

#include <vector>

namespace quorvel {

// One random star-shaped polygon obstacle and its bounding box.
class Obstacle {
  public:
    // Centre draws allowed in one generate call before it gives up. With the areas the
    // program uses, a free centre is found within a handful of draws.
    static constexpr int maxCentreDraws = 100000;

    std::vector<Vec2> vertices;
    int vertexCount = 0;
    bool valid = false;
    BoundingBox box;

    // Changes the number of vertices; the outline is no longer valid unless n is unchanged.
    void resize(int n);
    void updateBox();

    // Draws a centre in the area between the corners (again while the square of half-side
    // 1.5 radius about it overlaps a present keep-out box), then the phase and the distance
    // of every vertex. Returns false, leaving the record invalid, when no free centre was
    // found within maxCentreDraws.
    bool generate(Vec2 cornerA, Vec2 cornerB, double radius, const BoundingBox* keepOut1,
                  const BoundingBox* keepOut2);
};

// Whether the point lies inside the closed outline (by the even-odd rule).
bool pointInPolygon(Vec2 point, const Vec2* vertices, int vertexCount);

// Whether the disc touches the closed outline or lies inside it.
bool discTouchesPolygon(Vec2 centre, double radius, const Vec2* vertices, int vertexCount);

} // namespace quorvel
