#pragma once

#include "common/vector_units.h"

namespace quorvel {

// How exp is computed: the C library's scalar exp, or a four-lane replica of one of its two
// roundings. A replica is used only once it has been seen to give the library's bits.
enum class ExpKind { scalar, plain, fused };

const char* expKindName(ExpKind kind);

// The C library's exp, as a plain function to hand to probeExp.
double libraryExp(double x);

// exp of in[0..3] into out[0..3] by the given kind; a replica needs vectorUnitsUsable().
void exp4(ExpKind kind, const double* in, double* out);
// The same for in[0..7] by the eight-lane replicas, which need wideVectorUnitsUsable().
void exp8(ExpKind kind, const double* in, double* out);

// Compares libraryExp with both replicas on a fixed set of inputs, among them enough on which
// the replicas disagree to tell them apart. Returns the replica that matched on every input,
// or scalar when none did (another C library or processor, a static build) or when the
// vector units cannot be used.
ExpKind probeExp(double (*libraryExp)(double), bool vectorUsable);

// The kind this process uses, probed once against the C library's exp. QUORVEL_SCALAR_EXP=1
// in the environment forces scalar.
ExpKind chosenExp();

// How this process computes the network: with the four-lane kernels or not, the eight-lane
// ones for its hottest steps or not, and which exp. Chosen once: the vector units when
// vectorPathOn(), the wide ones likewise (nor with QUORVEL_NO_AVX512=1), and chosenExp().
struct MathPath {
    bool vectorUnits = false;
    bool wideUnits = false;
    ExpKind exp = ExpKind::scalar;
};
const MathPath& activeMathPath();

} // namespace quorvel
