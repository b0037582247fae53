#include "common/vector_units.h"

namespace quorvel {

bool vectorUnitsUsable() {
    // GCC's checks include the operating system's support for the wider registers.
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool wideVectorUnitsUsable() {
    return vectorUnitsUsable() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}

} // namespace quorvel
