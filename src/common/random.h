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

// A 64-bit sequence (splitmix64) for learners beside the program's first, which must leave
// every sequence above alone and need more than 15 bits a draw.
class Wide {
  public:
    explicit Wide(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform over 0..n-1 (n > 0), by the multiply-shift of the top 32 bits.
    std::uint32_t below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
    }
    // Uniform in [0, 1), 53 bits.
    double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
    // A draw as the program's own sequences give one, 0..32767.
    int draw15() { return static_cast<int>(next() >> 49); }

  private:
    std::uint64_t state_;
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
