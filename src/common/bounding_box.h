#pragma once

namespace quorvel {

// An axis-aligned box.
struct BoundingBox {
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
};

// True when the boxes are apart; boxes that only touch are not apart.
constexpr bool boxesApart(const BoundingBox& a, const BoundingBox& b) {
    return a.minX > b.maxX || a.maxX < b.minX || a.minY > b.maxY || a.maxY < b.minY;
}

} // namespace quorvel
