#pragma once

#include <cmath>

namespace quorvel {

// A point or vector in the arena plane.
struct Vec2 {
    double x = 0.0;
    double y = 0.0;
};

constexpr Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
constexpr Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
constexpr Vec2 operator-(Vec2 a) {
    return {-a.x, -a.y};
}
constexpr Vec2 operator*(double s, Vec2 a) {
    return {s * a.x, s * a.y};
}
constexpr Vec2 operator*(Vec2 a, double s) {
    return {a.x * s, a.y * s};
}
constexpr Vec2 operator/(Vec2 a, double s) {
    return {a.x / s, a.y / s};
}
constexpr bool operator==(Vec2 a, Vec2 b) {
    return a.x == b.x && a.y == b.y;
}

constexpr double dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
constexpr double lengthSquared(Vec2 a) {
    return a.x * a.x + a.y * a.y;
}
inline double length(Vec2 a) {
    return std::sqrt(a.x * a.x + a.y * a.y);
}

} // namespace quorvel
