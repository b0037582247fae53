#include "common/vector_units.h"

#include <cstdlib>
#include <cstring>

namespace quorvel {

bool vectorUnitsUsable() {
    // GCC's checks include the operating system's support for the wider registers.
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool environmentSays(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

bool vectorPathOn() {
#ifdef QUORVEL_LITERAL
    return false;
#else
    static const bool on = !environmentSays("QUORVEL_NO_AVX2") && vectorUnitsUsable();
    return on;
#endif
}

} // namespace quorvel
