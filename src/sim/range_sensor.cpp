#include "sim/range_sensor.h"

#include "common/vector_units.h"
#include "sim/fan_avx2.h"

#include <cmath>

namespace quorvel {

void RangeSensor::layout(double length, double width, double c, int k) {
    spacing = c;
    rayCount = 2 * k;
    raysPerSide = k;
    localDirections.assign(static_cast<std::size_t>(rayCount), Vec2{});
    localOrigins.assign(static_cast<std::size_t>(rayCount), Vec2{});
    const double halfWidth = width / 2;
    for (int j = 0; j < k; ++j) {
        const double theta = j * c - (k - 1) * c / 2;
        const double cosTheta = std::cos(theta);
        const double sinTheta = std::sin(theta);
        localDirections[j] = {cosTheta, sinTheta};
        localOrigins[j] = {length + halfWidth * cosTheta, halfWidth * sinTheta};
        localDirections[k + j] = -localDirections[j];
        localOrigins[k + j] = {length - localOrigins[j].x, -localOrigins[j].y};
    }
    worldOrigins.assign(static_cast<std::size_t>(rayCount), Vec2{});
    worldDirections.assign(static_cast<std::size_t>(rayCount), Vec2{});
    ranges.assign(static_cast<std::size_t>(rayCount), 0.0);
}

void RangeSensor::place(Vec2 o, Vec2 h, Vec2 n) {
    if (vectorPathOn()) {
        avx2::placeFan(*this, o, h, n);
        return;
    }
    placeInOrder(o, h, n);
}

void RangeSensor::placeInOrder(Vec2 o, Vec2 h, Vec2 n, int first) {
    for (int i = first; i < rayCount; ++i) {
        const Vec2 p = localOrigins[i];
        const Vec2 d = localDirections[i];
        worldOrigins[i] = o + p.x * h + p.y * n;
        worldDirections[i] = d.x * h + d.y * n;
    }
}

void RangeSensor::resetRanges(double value) {
    for (int i = 0; i < rayCount; ++i) {
        ranges[i] = value;
    }
}

void RangeSensor::cast(const Vec2* vertices, int vertexCount) {
    if (vertexCount < 2) {
        return;
    }
    for (int i = 0; i < rayCount; ++i) {
        castRay(i, vertices, vertexCount);
    }
}

void RangeSensor::castWithin(const Vec2* vertices, int vertexCount, const BoundingBox& bounds) {
    if (vertexCount < 2) {
        return;
    }
    // Rounding in the projections is many orders of magnitude below this.
    constexpr double margin = 1e-6;
    for (int i = 0; i < rayCount; ++i) {
        const Vec2 o = worldOrigins[i];
        const double dx = worldDirections[i].x;
        const double dy = worldDirections[i].y;
        // The box's extreme offsets across the ray (s = p.x dy - p.y dx) and distances along
        // it (t = p.x dx + p.y dy), taken at the corners that give them.
        const double loX = bounds.minX - o.x, hiX = bounds.maxX - o.x;
        const double loY = bounds.minY - o.y, hiY = bounds.maxY - o.y;
        const double sMax = (dy > 0 ? hiX : loX) * dy - (dx > 0 ? loY : hiY) * dx;
        const double sMin = (dy > 0 ? loX : hiX) * dy - (dx > 0 ? hiY : loY) * dx;
        const double tMax = (dx > 0 ? hiX : loX) * dx + (dy > 0 ? hiY : loY) * dy;
        const double tMin = (dx > 0 ? loX : hiX) * dx + (dy > 0 ? loY : hiY) * dy;
        if (sMin > margin || sMax < -margin || tMax < -margin || tMin > ranges[i] + margin) {
            continue;
        }
        castRay(i, vertices, vertexCount);
    }
}

void RangeSensor::castRay(int i, const Vec2* vertices, int vertexCount) {
    const Vec2 origin = worldOrigins[i];
    const double dx = worldDirections[i].x;
    const double dy = worldDirections[i].y;
    double range = ranges[i];

    // Walk the closed outline starting with the edge from the last vertex to the first; each
    // vertex is projected once and carried over as the next edge's start.
    Vec2 p = vertices[vertexCount - 1] - origin;
    double ta = p.x * dx + p.y * dy;
    double sa = p.x * dy - p.y * dx;
    for (int k = 0; k < vertexCount; ++k) {
        p = vertices[k] - origin;
        const double tb = p.x * dx + p.y * dy;
        const double sb = p.x * dy - p.y * dx;
        if (sa * sb < 0) {
            const double hit = ta + (std::fabs(sa) / (std::fabs(sa) + std::fabs(sb))) * (tb - ta);
            if (hit >= 0 && hit < range) {
                range = hit;
            }
        } else if (sa == 0 && ta >= 0 && ta < range) {
            range = ta;
        }
        ta = tb;
        sa = sb;
    }
    ranges[i] = range;
}

} // namespace quorvel
