#pragma once

// The network's weights in the layout its vector kernels read (learn/network_avx2), and the
// way there and back. Plain data and plain loops: no vector instructions here.
#include "learn/q_network.h"

namespace quorvel::avx2 {

// A network's weights laid out for the kernels: each layer's weights of one input side by
// side for all its units (so a sum over inputs needs no shuffling of weights), units padded
// to whole vectors; the second layer also by unit, for the backward pass.
struct Columns {
    static constexpr int firstLanes = 16;
    static constexpr int secondLanes = 8;
    alignas(64) double first[networkInputs + 1][firstLanes];  // [input, then bias][unit]
    alignas(64) double second[hidden1Units + 1][secondLanes]; // [input, then bias][unit]
    alignas(64) double secondRows[hidden2Units][firstLanes];  // hidden2.weights, row by row
    double output[hidden2Units + 1];
    double learningRate;
};

// What a forward and backward pass leave in the layers, to be handed back to the network.
struct Scratch {
    alignas(64) double h1[Columns::firstLanes];
    alignas(64) double d1[Columns::firstLanes];
    alignas(64) double e1[Columns::firstLanes]; // hidden2's input errors
    alignas(64) double h2[Columns::secondLanes];
    double d2[hidden2Units];
    double e2[hidden2Units]; // the output unit's input errors
    double y;
    double dOut;
};

void pack(const QNetwork& network, Columns& columns);
// The weights (and learning rate) back into the network's rows.
void unpack(const Columns& columns, QNetwork& network);
// The layers' outputs of the last forward pass, and the deltas and input errors of the last
// training step when `trained`.
void writeScratch(const Scratch& scratch, bool trained, QNetwork& network);

// What a rating reads: the columns, and each first-layer unit's action weights as the six
// actions' lanes take them (travel -3, -1, -3, -1 and steering -1, -1, 0, 0 | +1 ...).
struct RatingWeights {
    Columns columns;
    alignas(64) double travel[hidden1Units][4];
    alignas(64) double steering[hidden1Units][8];
    // Actions 4 and 5 of two units share a vector (unit 2q: 4, 5 | unit 2q + 1: 4, 5) from the
    // second layer on; the second layer's weights of each such pair, the last pair's second
    // unit a copy of its first.
    static constexpr int secondPairs = (hidden2Units + 1) / 2;
    alignas(64) double pairs[secondPairs][hidden1Units + 1][4]; // [pair][input, then bias]
    // Whether every one of those weights is finite: then a rating may add the two set
    // entries' weights alone.
    bool actionFinite;
};
void pack(const QNetwork& network, RatingWeights& weights);

} // namespace quorvel::avx2
