#include "common/random.h"

namespace quorvel::random {

namespace {
std::uint32_t current = initialState;
}

int draw() {
    current = current * 214013u + 2531011u;
    return static_cast<int>((current >> 16) & 0x7FFFu);
}

double unit(double span) {
    return toUnit(draw(), span);
}
double centred(double span) {
    return toCentred(draw(), span);
}

void restart() {
    current = initialState;
}
void setState(std::uint32_t state) {
    current = state;
}
std::uint32_t state() {
    return current;
}

} // namespace quorvel::random
