#include "common/vector_units.h"

#include <cstdlib>
#include <cstring>

namespace quorvel {

bool vectorUnitsUsable() {
    // GCC's checks include the operating system's support for the wider registers.
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool wideVectorUnitsUsable() {
    return vectorUnitsUsable() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
}

bool environmentSays(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

bool vectorPathOn() {
    static const bool on =
        !literalBuild && !environmentSays("QUORVEL_NO_AVX2") && vectorUnitsUsable();
    return on;
}

} // namespace quorvel
