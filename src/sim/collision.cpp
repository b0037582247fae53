// The body's collision tests against discs and polygon outlines.
#include "sim/robot_body.h"

#include <cmath>

namespace quorvel {

namespace {
constexpr double clipTolerance = 1e-6;
constexpr double shortestEdge = 1e-6;
} // namespace

bool RobotBody::touchesDisc(Vec2 centre, double radius) const {
    return touchesDiscAt(pose(), centre, radius);
}

bool RobotBody::pointInEndDiscs(Vec2 point) const {
    const double limit = width * width / 4;
    return lengthSquared(point - rear) <= limit || lengthSquared(point - front) <= limit;
}

bool RobotBody::edgeTouches(Vec2 v, Vec2 u, double len) const {
    const double capLimit = width * width / 4;
    for (const Vec2 cap : {front, rear}) {
        const Vec2 toStart = v - cap;
        const double e = dot(toStart, u);
        if (-len <= e && e <= 0 && lengthSquared(toStart) - e * e < capLimit) {
            return true;
        }
    }

    // The straight middle of the body, in the frame at the rear point: clip the edge to the
    // part between the rear line (A = 0) and the front line (A = length), then test that
    // part against the band |b| < width / 2.
    const Vec2 toStart = v - rear;
    double a = dot(toStart, heading);
    double b = dot(toStart, normal);
    const double ua = dot(u, heading);
    const double ub = dot(u, normal);
    double e = len * ua;

    // An edge that stays wholly behind the rear line or wholly beyond the front line never
    // reaches the band; sliding its start to a line it does not reach would test a point
    // that is not on the edge.
    if ((a < 0 && a + e < 0) || (a > length && a + e > length)) {
        return false;
    }
    if (a < clipTolerance) {
        if (ua < clipTolerance) {
            return false;
        }
        b = b - a * ub / ua;
        e = e + a;
        a = 0;
    }
    if (a > length) {
        if (ua > -clipTolerance) {
            return false;
        }
        b = b + (length - a) * ub / ua;
        e = a + e - length;
        a = length;
    }
    const double f = a + e - length;
    if (f > -clipTolerance) {
        e = e - f;
    }
    const double g = f + length;
    if (g < clipTolerance) {
        e = e - g;
    }
    const double bEnd = std::fabs(ua) > clipTolerance ? b + ub * e / ua : b + ub * len;
    const double halfWidth = width / 2;
    return std::fabs(b) < halfWidth || std::fabs(bEnd) < halfWidth || b * bEnd < 0;
}

bool RobotBody::touchesPolygon(const Vec2* vertices, int vertexCount) const {
    for (int k = 0; k < vertexCount; ++k) {
        if (pointInEndDiscs(vertices[k])) {
            return true;
        }
    }
    for (int j = 0; j < vertexCount; ++j) {
        const int k = (j + 1) % vertexCount;
        const Vec2 d = vertices[k] - vertices[j];
        const double len = quorvel::length(d);
        if (len < shortestEdge) {
            continue;
        }
        if (edgeTouches(vertices[j], d / len, len)) {
            return true;
        }
    }
    return false;
}

} // namespace quorvel
