#pragma once

#include <bit>
#include <cstdint>

namespace quorvel {

// Whether two doubles are the same bits: -0 and +0 differ, a NaN equals its own pattern.
inline bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

} // namespace quorvel
