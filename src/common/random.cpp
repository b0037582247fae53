#include "common/random.h"

namespace quorvel::random {

namespace {
Sequence current;
}

int draw() {
    return current.draw();
}

double unit(double span) {
    return toUnit(draw(), span);
}
double centred(double span) {
    return toCentred(draw(), span);
}

void restart() {
    current = Sequence();
}
void setState(std::uint32_t state) {
    current = Sequence(state);
}
std::uint32_t state() {
    return current.state();
}

} // namespace quorvel::random
