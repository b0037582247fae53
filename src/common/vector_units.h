#pragma once

#define QUORVEL_AVX2 __attribute__((target("avx2,fma")))

namespace quorvel {

// Whether this processor (and its operating system) can run the four-lane code: AVX2 and FMA.
bool vectorUnitsUsable();

// Whether a switch of the environment (QUORVEL_SCALAR_EXP, QUORVEL_NO_AVX2) is on: set to "1";
// "0", empty or unset is off.
bool environmentSays(const char* name);

// Whether this process computes with the four-lane code: the vector units are usable, this is
// not the literal build and QUORVEL_NO_AVX2=1 is not in the environment. Decided once.
bool vectorPathOn();

} // namespace quorvel
