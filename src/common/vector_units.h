#pragma once

#define QUORVEL_AVX2 __attribute__((target("avx2,fma")))

namespace quorvel {

// Whether this processor (and its operating system) can run the four-lane code: AVX2 and FMA.
bool vectorUnitsUsable();

} // namespace quorvel
