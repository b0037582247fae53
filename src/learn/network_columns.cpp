#include "learn/network_columns.h"

#include <algorithm>
#include <cmath>

namespace quorvel::avx2 {

void pack(const QNetwork& n, Columns& c) {
    for (int i = 0; i <= networkInputs; ++i) {
        for (int u = 0; u < Columns::firstLanes; ++u) {
            c.first[i][u] = n.hidden1.weights[u < hidden1Units ? u : hidden1Units - 1][i];
        }
    }
    for (int i = 0; i <= hidden1Units; ++i) {
        for (int u = 0; u < Columns::secondLanes; ++u) {
            c.second[i][u] = n.hidden2.weights[u < hidden2Units ? u : hidden2Units - 1][i];
        }
    }
    for (int u = 0; u < hidden2Units; ++u) {
        for (int i = 0; i <= hidden1Units; ++i) {
            c.secondRows[u][i] = n.hidden2.weights[u][i];
        }
    }
    for (int i = 0; i <= hidden2Units; ++i) {
        c.output[i] = n.output.weights[0][i];
    }
    c.learningRate = n.learningRate;
}

void pack(const QNetwork& n, RatingWeights& w) {
    pack(n, w.columns);
    w.actionFinite = true;
    for (int j = 0; j < hidden1Units; ++j) {
        const double* a = n.hidden1.weights[j] + stateInputs;
        for (int e = 0; e < actionInputs; ++e) {
            w.actionFinite = w.actionFinite && std::isfinite(a[e]);
        }
        const double travel[4] = {a[0], a[1], a[0], a[1]};
        const double steering[8] = {a[2], a[2], a[3], a[3], a[4], a[4], a[4], a[4]};
        for (int k = 0; k < 4; ++k) {
            w.travel[j][k] = travel[k];
        }
        for (int k = 0; k < 8; ++k) {
            w.steering[j][k] = steering[k];
        }
    }
    for (int q = 0; q < RatingWeights::secondPairs; ++q) {
        for (int i = 0; i <= hidden1Units; ++i) {
            for (int k = 0; k < 4; ++k) {
                const int unit = std::min(2 * q + k / 2, hidden2Units - 1);
                w.pairs[q][i][k] = n.hidden2.weights[unit][i];
            }
        }
    }
}

void unpack(const Columns& c, QNetwork& n) {
    for (int u = 0; u < hidden1Units; ++u) {
        for (int i = 0; i <= networkInputs; ++i) {
            n.hidden1.weights[u][i] = c.first[i][u];
        }
    }
    for (int u = 0; u < hidden2Units; ++u) {
        for (int i = 0; i <= hidden1Units; ++i) {
            n.hidden2.weights[u][i] = c.secondRows[u][i];
        }
    }
    for (int i = 0; i <= hidden2Units; ++i) {
        n.output.weights[0][i] = c.output[i];
    }
    n.learningRate = c.learningRate;
}

void writeScratch(const Scratch& s, bool trained, QNetwork& n) {
    for (int k = 0; k < hidden1Units; ++k) {
        n.hidden1.outputs[k] = s.h1[k];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        n.hidden2.outputs[j] = s.h2[j];
    }
    n.output.outputs[0] = s.y;
    if (!trained) {
        return;
    }
    for (int k = 0; k < hidden1Units; ++k) {
        n.hidden1.deltas[k] = s.d1[k];
        n.hidden2.inputErrors[k] = s.e1[k];
    }
    for (int j = 0; j < hidden2Units; ++j) {
        n.hidden2.deltas[j] = s.d2[j];
        n.output.inputErrors[j] = s.e2[j];
    }
    n.output.deltas[0] = s.dOut;
}

} // namespace quorvel::avx2
