#include "learn/vector_exp.h"

#include "learn/avx2_exp.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace quorvel {
namespace {

double fromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

std::uint64_t bitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state ^ (state >> 29);
    }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

// The inputs the C library's exp is checked on: special values with their neighbours, and
// millions spread as the fast path's branches and table boundaries call for.
std::vector<double> checkedInputs() {
    std::vector<double> in;
    const double specials[] = {0,
                               DBL_MIN,
                               DBL_MAX,
                               DBL_TRUE_MIN,
                               0x1p-54,
                               0x1p-55,
                               512,
                               1024,
                               709.782712893384,
                               708.3964185322641,
                               745.1332191019412,
                               -708.3964185322641,
                               -745.1332191019412,
                               1,
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               fromBits(0x7ff4000000000000ULL)}; // a signalling pattern
    for (const double s : specials) {
        for (const double sign : {1.0, -1.0}) {
            double x = sign * s;
            for (int i = 0; i < 3; ++i) {
                x = std::nextafter(x, -std::numeric_limits<double>::infinity());
            }
            for (int i = 0; i < 7; ++i) {
                in.push_back(x);
                x = std::nextafter(x, std::numeric_limits<double>::infinity());
            }
        }
    }
    Random r{20261208};
    for (int i = 0; i < 2000000; ++i) {
        in.push_back((r.unit() - 0.5) * 100); // where the network's sums lie
    }
    for (int i = 0; i < 1000000; ++i) {
        in.push_back(fromBits(r.next())); // any pattern at all
    }
    for (int i = 0; i < 1000000; ++i) {
        const double magnitude = std::exp2(-63 + 80 * r.unit()); // 2^-63 .. 2^17
        in.push_back(r.next() & 1 ? magnitude : -magnitude);
    }
    // Near the table's boundaries k ln2 / 128 and their midpoints, within 64 units in the
    // last place, where the reduction's rounding decides.
    const double ln2By128 = std::log(2.0) / 128;
    for (int i = 0; i < 500000; ++i) {
        const double k = std::floor((r.unit() - 0.5) * 2 * 128 * 20) + (r.next() & 1 ? 0.5 : 0);
        const double boundary = k * ln2By128;
        const std::int64_t ulps = static_cast<std::int64_t>(r.next() % 129) - 64;
        in.push_back(fromBits(bitsOf(boundary) + static_cast<std::uint64_t>(ulps)));
    }
    return in;
}

// The inputs on which the replica of `kind` in `width` lanes differs from the library.
std::string mismatchesOf(ExpKind kind, int width, const std::vector<double>& in) {
    std::vector<double> out(in.size() + 8);
    std::size_t mismatches = 0;
    std::string first;
    const std::size_t lanes = static_cast<std::size_t>(width);
    for (std::size_t i = 0; i + lanes <= in.size(); i += lanes) {
        (width == 8 ? exp8 : exp4)(kind, &in[i], &out[i]);
        for (std::size_t j = i; j < i + lanes; ++j) {
            const double library = std::exp(in[j]);
            if (bitsOf(library) != bitsOf(out[j])) {
                if (mismatches++ == 0) {
                    char text[128];
                    std::snprintf(text, sizeof text, "exp(%a): library %a, replica %a", in[j],
                                  library, out[j]);
                    first = text;
                }
            }
        }
    }
    return mismatches == 0 ? "" : std::to_string(mismatches) + " mismatches, first " + first;
}

TEST(VectorExp, EqualsTheLibraryOnSpecialValuesAndMillionsOfInputs) {
    const ExpKind kind = probeExp(libraryExp, vectorUnitsUsable());
    if (const char* expected = std::getenv("QUORVEL_EXPECT_EXP")) {
        EXPECT_STREQ(expKindName(kind), expected);
    }
    if (kind == ExpKind::scalar) {
        GTEST_SKIP() << "no four-lane exp matches the C library on this machine";
    }
    const std::vector<double> in = checkedInputs();
    EXPECT_EQ(mismatchesOf(kind, 4, in), "") << expKindName(kind);
    if (wideVectorUnitsUsable()) {
        EXPECT_EQ(mismatchesOf(kind, 8, in), "") << expKindName(kind) << ", eight lanes";
    }
}

// The C library picks its other rounding when told not to use FMA; the probe must follow it
// and the other replica must match then. Runs this test binary again under that setting.
TEST(VectorExp, TheOtherRoundingWhenTheLibraryUsesIt) {
    const ExpKind kind = probeExp(libraryExp, vectorUnitsUsable());
    if (kind != ExpKind::fused) {
        GTEST_SKIP() << "the C library does not use its fused exp here";
    }
    const std::string command =
        "GLIBC_TUNABLES=glibc.cpu.hwcaps=-FMA QUORVEL_EXPECT_EXP=plain /proc/" +
        std::to_string(getpid()) +
        "/exe --gtest_filter=VectorExp.EqualsTheLibraryOnSpecialValuesAndMillionsOfInputs "
        ">/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

double plainReplica(double x) {
    const double in[4] = {x, x, x, x};
    double out[4];
    exp4(ExpKind::plain, in, out);
    return out[0];
}

double fusedReplica(double x) {
    const double in[4] = {x, x, x, x};
    double out[4];
    exp4(ExpKind::fused, in, out);
    return out[0];
}

// A library whose exp rounds differently from both replicas on rare inputs.
double unknownLibrary(double x) {
    const double y = std::exp(x);
    return (bitsOf(x) & 0xfff) == 0x5a5 ? std::nextafter(y, 0.0) : y;
}

TEST(VectorExp, ProbeTrustsOnlyAReplicaThatMatchesEverywhere) {
    EXPECT_EQ(probeExp(libraryExp, false), ExpKind::scalar);
    if (!vectorUnitsUsable()) {
        GTEST_SKIP() << "no AVX2 and FMA";
    }
    EXPECT_EQ(probeExp(plainReplica, true), ExpKind::plain);
    EXPECT_EQ(probeExp(fusedReplica, true), ExpKind::fused);
    EXPECT_EQ(probeExp(unknownLibrary, true), ExpKind::scalar);
    EXPECT_EQ(probeExp([](double x) { return std::exp(x) * (1 + 0x1p-52); }, true),
              ExpKind::scalar);
}

// A sigmoid of six vectors by the chosen exp, lane for lane against the written form.
QUORVEL_AVX2 void sigmoidsOf(ExpKind kind, double (&values)[24]) {
    __m256d s[6];
    for (int i = 0; i < 6; ++i) {
        s[i] = _mm256_loadu_pd(values + 4 * i);
    }
    if (kind == ExpKind::fused) {
        avx2::sigmoidInPlace<true>(s);
    } else {
        avx2::sigmoidInPlace<false>(s);
    }
    for (int i = 0; i < 6; ++i) {
        _mm256_storeu_pd(values + 4 * i, s[i]);
    }
}

// Each value outside exp's fast path (or on its edges) in every lane of every vector among
// ordinary sums, once alone and once with a NaN in the same lane of a later vector: a NaN
// must not hide from the test the lanes the fast path cannot take.
TEST(VectorExp, SigmoidsTakeEachLaneWhereTheLibraryWould) {
    const ExpKind kind = probeExp(libraryExp, vectorUnitsUsable());
    if (kind == ExpKind::scalar) {
        GTEST_SKIP() << "no four-lane exp matches the C library on this machine";
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double edges[] = {0,    -0.0, 0x1p-55, -0x1p-54, 1e-300, 511.99, 512,
                            -512, 600,  -745.2,  800,      inf,    -inf,   nan};
    Random r{5};
    for (const double edge : edges) {
        for (int at = 0; at < 24; ++at) {
            for (const bool nanAfter : {false, true}) {
                double values[24];
                for (double& v : values) {
                    v = (r.unit() - 0.5) * 20;
                }
                values[at] = edge;
                if (nanAfter && at < 20) {
                    values[at + 4] = nan;
                }
                double want[24];
                for (int i = 0; i < 24; ++i) {
                    want[i] = 1 / (1 + std::exp(-values[i]));
                }
                sigmoidsOf(kind, values);
                for (int i = 0; i < 24; ++i) {
                    ASSERT_TRUE(std::isnan(want[i]) ? std::isnan(values[i])
                                                    : bitsOf(values[i]) == bitsOf(want[i]))
                        << "sigmoid(" << edge << ") in lane " << at << ", lane " << i;
                }
            }
        }
    }
}

} // namespace
} // namespace quorvel
