#pragma once

// The weighted random choice among the six actions without the C library's pow wherever that
// cannot change the choice. Only called once vectorUnitsUsable() said yes.
namespace quorvel::avx2 {

// The ranges the powers' error bound below was shown for.
inline constexpr double lowestRating = 0x1p-20;
inline constexpr double highestExponent = 50;

// x[i]^e for i = 0..5, x[i] in [lowestRating, 1], e in [0, highestExponent], within a relative
// error of 1e-5 of it (the analysis gives 1.6e-6: ln x to 3.1e-8 by four terms of the atanh
// series, exp to 7.4e-9 by seven Taylor terms around a multiple of ln 2).
void approximatePowers(const double* x, double e, double* powers);

// The action QLearner::chooseAction(floor, exponent, draw) gives for every set of ratings
// within `bound` of `ratings`, decided from those powers at each rating's extremes: where the
// draw's point lies farther than 1e-4 of the largest total from each cumulative weight at its
// every extreme. The powers' error moves each cumulative weight and the point by 2.1e-5 of the
// total at most, so pow's own sums fall on the same side of it. -1 when the point is that
// close, when a rating less the bound falls below lowestRating, when the bound moves a power by
// more than a sixteenth, or when the floor (finite, not negative) or the exponent lies outside
// those ranges: then the exact ratings and pow decide.
int chooseWithin(const double* ratings, double bound, double floor, double exponent, int draw,
                 int maxDraw);

// The same for exact ratings: the choice without the C library's pow wherever that cannot
// change it.
inline int chooseWithoutPow(const double* ratings, double floor, double exponent, int draw,
                            int maxDraw) {
    return chooseWithin(ratings, 0, floor, exponent, draw, maxDraw);
}

} // namespace quorvel::avx2
