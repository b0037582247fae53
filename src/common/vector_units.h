#pragma once

#define QUORVEL_AVX2 __attribute__((target("avx2,fma")))
#define QUORVEL_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma")))

namespace quorvel {

// Whether this processor (and its operating system) can run the four-lane code: AVX2 and FMA.
bool vectorUnitsUsable();

// Whether it can also run the eight-lane code: AVX-512 (F, DQ and VL) besides.
bool wideVectorUnitsUsable();

} // namespace quorvel
