#pragma once

#include <cstdint>

// The process-wide random sequence. Every draw of the program (placement, obstacle
// generation, network initialisation, action choice, episode lengths) comes from here, in
// the orders the program defines, so every start of the program draws the same numbers.
//
// The generator is the classic 32-bit linear congruential one of C runtimes:
// state = state * 214013 + 2531011 (mod 2^32), draw = (state >> 16) & 0x7FFF.
namespace quorvel::random {

inline constexpr int maxDraw = 32767;
inline constexpr std::uint32_t initialState = 1;

// One such sequence with a state of its own, for work that must leave the process's sequence
// where it is (a trial drive beside a training). It draws what the process's sequence would
// draw from the same state.
class Sequence {
  public:
    explicit Sequence(std::uint32_t state = initialState) : state_(state) {}
    int draw() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }
    std::uint32_t state() const { return state_; }

  private:
    std::uint32_t state_;
};

// One integer, uniform over 0..32767.
int draw();

// A draw r as r / 32767 * span, in [0, span].
double unit(double span);

// A draw r as (r / 32767 - 0.5) * span, in [-span/2, span/2].
double centred(double span);

// The conversions themselves, for callers that hold a draw already.
constexpr double toUnit(int r, double span) {
    return r / static_cast<double>(maxDraw) * span;
}
constexpr double toCentred(int r, double span) {
    return (r / static_cast<double>(maxDraw) - 0.5) * span;
}

// Restarting and setting the sequence: for tests and for the trainer's --seed option only.
void restart();
void setState(std::uint32_t state);
std::uint32_t state();

} // namespace quorvel::random
