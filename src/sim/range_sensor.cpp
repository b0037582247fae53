#include "sim/range_sensor.h"

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
    for (int i = 0; i < rayCount; ++i) {
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
        const Vec2 origin = worldOrigins[i];
        const double dx = worldDirections[i].x;
        const double dy = worldDirections[i].y;
        double range = ranges[i];

        // Walk the closed outline starting with the edge from the last vertex to the first;
        // each vertex is projected once and carried over as the next edge's start.
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
}

} // namespace quorvel
