// Compares the speed of two builds of the same workload in one process: loads each build's
// workload library, then times short bursts of the two in turns (A B, then B A), so that the
// host's changing load falls on both alike, and prints the median of the bursts' time ratios.
// Far steadier than separate processes on a shared host, where a run's rate moves by a tenth.
//
//   quorvel_ab A.so B.so BURSTS UNITS   (UNITS: work units a burst, as the library counts them)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Setup = void (*)();
using Work = double (*)(int);

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s A.so B.so BURSTS UNITS\n", argv[0]);
        return 2;
    }
    const int bursts = std::atoi(argv[3]);
    const int units = std::atoi(argv[4]);
    if (bursts < 1 || units < 1) {
        std::fprintf(stderr, "quorvel_ab: BURSTS and UNITS must be positive\n");
        return 2;
    }
    Work work[2];
    for (int v = 0; v < 2; ++v) {
        // Each library keeps its own symbols (linked -Bsymbolic): the two builds never mix.
        void* library = dlopen(argv[1 + v], RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "quorvel_ab: %s\n", dlerror());
            return 1;
        }
        const auto setup = reinterpret_cast<Setup>(dlsym(library, "quorvel_ab_setup"));
        work[v] = reinterpret_cast<Work>(dlsym(library, "quorvel_ab_work"));
        if (setup == nullptr || work[v] == nullptr) {
            std::fprintf(stderr, "quorvel_ab: %s is not a workload library\n", argv[1 + v]);
            return 1;
        }
        setup();
    }
    std::vector<double> ns[2];
    std::vector<double> ratios;
    for (int b = 0; b < bursts; ++b) {
        double taken[2];
        for (int turn = 0; turn < 2; ++turn) {
            const int v = b % 2 == 0 ? turn : 1 - turn;
            const double start = seconds();
            work[v](units);
            taken[v] = seconds() - start;
            ns[v].push_back(taken[v] / units * 1e9);
        }
        ratios.push_back(taken[1] / taken[0]);
    }
    std::printf("A: median %.1f ns a unit   B: median %.1f ns a unit\n", quantile(ns[0], 0.5),
                quantile(ns[1], 0.5));
    std::printf("time B/A, burst by burst: median %.3f (quartiles %.3f to %.3f)\n",
                quantile(ratios, 0.5), quantile(ratios, 0.25), quantile(ratios, 0.75));
}
