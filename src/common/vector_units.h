#pragma once

#define QUORVEL_AVX2 __attribute__((target("avx2,fma")))
#define QUORVEL_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx2,fma")))

namespace quorvel {

// Built with QUORVEL_LITERAL: every sum one value at a time in its written form, no skipping,
// the scalar exp. The reference the fast build is measured and checked against.
#ifdef QUORVEL_LITERAL
inline constexpr bool literalBuild = true;
#else
inline constexpr bool literalBuild = false;
#endif

// Whether this processor (and its operating system) can run the four-lane code: AVX2 and FMA.
bool vectorUnitsUsable();

// Whether it can also run the eight-lane code: AVX-512 (F, DQ and VL) besides.
bool wideVectorUnitsUsable();

// Whether a switch of the environment (QUORVEL_SCALAR_EXP, QUORVEL_NO_AVX2, QUORVEL_NO_AVX512) is
// on: set to "1"; "0", empty or unset is off.
bool environmentSays(const char* name);

// Whether this process computes with the four-lane code, the sensor fan as the network: the
// vector units are usable, this is not the literal build and QUORVEL_NO_AVX2=1 is not in the
// environment. Decided once.
bool vectorPathOn();

} // namespace quorvel
