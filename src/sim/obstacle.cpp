#include "sim/obstacle.h"

#include "common/random.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace quorvel {

namespace {

// Strict: a square that only touches the box does not overlap it.
bool squareOverlaps(double cx, double cy, double a, const BoundingBox* box) {
    return box != nullptr && cx + a > box->minX && cy + a > box->minY && cx - a < box->maxX &&
           cy - a < box->maxY;
}

} // namespace

void Obstacle::resize(int n) {
    assert(n >= 0 && "a vertex count cannot be negative");
    n = std::max(n, 0);
    if (n == vertexCount) {
        return;
    }
    vertices.assign(static_cast<std::size_t>(n), Vec2{});
    vertexCount = n;
    valid = false;
}

void Obstacle::updateBox() {
    if (vertexCount < 1) {
        return;
    }
    box = {vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
    for (int i = 1; i < vertexCount; ++i) {
        const Vec2 v = vertices[i];
        if (v.x < box.minX) {
            box.minX = v.x;
        }
        if (v.y < box.minY) {
            box.minY = v.y;
        }
        if (v.x > box.maxX) {
            box.maxX = v.x;
        }
        if (v.y > box.maxY) {
            box.maxY = v.y;
        }
    }
}

bool Obstacle::generate(Vec2 cornerA, Vec2 cornerB, double radius, const BoundingBox* keepOut1,
                        const BoundingBox* keepOut2) {
    const double reach = 1.5 * radius;
    double cx = 0;
    double cy = 0;
    int draws = 0;
    do {
        if (draws == maxCentreDraws) {
            valid = false;
            return false;
        }
        ++draws;
        cx = cornerA.x + random::unit(1) * (cornerB.x - cornerA.x);
        cy = cornerA.y + random::unit(1) * (cornerB.y - cornerA.y);
    } while (squareOverlaps(cx, cy, reach, keepOut1) || squareOverlaps(cx, cy, reach, keepOut2));

    const double step = 2 * std::numbers::pi / vertexCount;
    const double phase = random::unit(1) * 2 * std::numbers::pi;
    for (int i = 0; i < vertexCount; ++i) {
        const double distance = (random::unit(1) + 0.5) * radius;
        const double angle = phase + i * step;
        vertices[i] = {cx + distance * std::cos(angle), cy + distance * std::sin(angle)};
    }
    valid = true;
    updateBox();
    return true;
}

bool pointInPolygon(Vec2 p, const Vec2* vertices, int n) {
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const Vec2 a = vertices[i];
        const Vec2 b = vertices[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
            inside = !inside;
        }
    }
    return inside;
}

bool discTouchesPolygon(Vec2 centre, double radius, const Vec2* vertices, int n) {
    if (pointInPolygon(centre, vertices, n)) {
        return true;
    }
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const Vec2 a = vertices[j];
        const Vec2 edge = vertices[i] - a;
        const double edgeSquared = lengthSquared(edge);
        // The edge's point nearest the centre.
        const double t =
            edgeSquared > 0 ? std::clamp(dot(centre - a, edge) / edgeSquared, 0.0, 1.0) : 0.0;
        if (lengthSquared(centre - (a + t * edge)) < radius * radius) {
            return true;
        }
    }
    return false;
}

} // namespace quorvel
