#pragma once

// The C library's exp, four lanes at a time, with its bits: the same algorithm, constants and
// table, in either of its two roundings ("plain": every operation rounded on its own;
// "fused": the library's fused multiply-adds). Lanes outside the library's fast path (|x|
// below 2^-54 or from 512 up, infinities, NaN) are handed to the scalar exp.
//
// Only for translation units whose functions carry QUORVEL_AVX2, and only called once the
// processor has been found to have AVX2 and FMA.
#include "common/vector_units.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>

namespace quorvel::avx2 {

struct ExpTableEntry {
    std::uint64_t tail;  // bits of the double nearest (2^(k/128) - H[k]) / H[k]
    std::uint64_t sbase; // bits of H[k], the double nearest 2^(k/128), less k << 45
};
extern const ExpTableEntry expTable[128];

// All-ones in the lanes whose biased exponent lies in 0x3c9..0x407: 2^-54 <= |x| < 512.
QUORVEL_AVX2 inline __m256i fastPathLanes(__m256d x) {
    const __m256i top =
        _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52), _mm256_set1_epi64x(0x7ff));
    return _mm256_and_si256(_mm256_cmpgt_epi64(top, _mm256_set1_epi64x(0x3c8)),
                            _mm256_cmpgt_epi64(_mm256_set1_epi64x(0x408), top));
}

// The fast path for every lane, as the library computes it.
template <bool Fused> QUORVEL_AVX2 inline __m256d expFastPath(__m256d x) {
    const __m256d invLn2N = _mm256_set1_pd(0x1.71547652b82fep+7);
    const __m256d negLn2hiN = _mm256_set1_pd(-0x1.62e42fefa0000p-8);
    const __m256d negLn2loN = _mm256_set1_pd(-0x1.cf79abc9e3b3ap-47);
    const __m256d shift = _mm256_set1_pd(0x1.8p52);
    const __m256d c2 = _mm256_set1_pd(0x1.ffffffffffdbdp-2);
    const __m256d c3 = _mm256_set1_pd(0x1.555555555543cp-3);
    const __m256d c4 = _mm256_set1_pd(0x1.55555cf172b91p-5);
    const __m256d c5 = _mm256_set1_pd(0x1.1111167a4d017p-7);

    __m256d kd = Fused ? _mm256_fmadd_pd(x, invLn2N, shift)
                       : _mm256_add_pd(_mm256_mul_pd(invLn2N, x), shift);
    const __m256i ki = _mm256_castpd_si256(kd);
    kd = _mm256_sub_pd(kd, shift);
    __m256d r;
    if constexpr (Fused) {
        r = _mm256_fmadd_pd(kd, negLn2hiN, x);
        r = _mm256_fmadd_pd(kd, negLn2loN, r);
    } else {
        r = _mm256_add_pd(_mm256_add_pd(x, _mm256_mul_pd(kd, negLn2hiN)),
                          _mm256_mul_pd(kd, negLn2loN));
    }

    // Table entries: four 16-byte loads, then tails and bases gathered into lanes 0..3.
    alignas(32) std::uint64_t index[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index),
                       _mm256_and_si256(ki, _mm256_set1_epi64x(127)));
    auto entry = [&](int lane) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&expTable[index[lane]]));
    };
    const __m256i lanes02 = _mm256_set_m128i(entry(2), entry(0));
    const __m256i lanes13 = _mm256_set_m128i(entry(3), entry(1));
    const __m256d tail = _mm256_castsi256_pd(_mm256_unpacklo_epi64(lanes02, lanes13));
    const __m256i sbase = _mm256_unpackhi_epi64(lanes02, lanes13);
    const __m256d scale = _mm256_castsi256_pd(_mm256_add_epi64(sbase, _mm256_slli_epi64(ki, 45)));

    const __m256d r2 = _mm256_mul_pd(r, r);
    if constexpr (Fused) {
        const __m256d p23 = _mm256_fmadd_pd(r, c3, c2);
        const __m256d tr = _mm256_add_pd(r, tail);
        const __m256d p45 = _mm256_fmadd_pd(r, c5, c4);
        const __m256d t = _mm256_fmadd_pd(p23, r2, tr);
        const __m256d r4 = _mm256_mul_pd(r2, r2);
        const __m256d tmp = _mm256_fmadd_pd(r4, p45, t);
        return _mm256_fmadd_pd(scale, tmp, scale);
    } else {
        const __m256d tmp = _mm256_add_pd(
            _mm256_add_pd(_mm256_add_pd(tail, r),
                          _mm256_mul_pd(r2, _mm256_add_pd(c2, _mm256_mul_pd(r, c3)))),
            _mm256_mul_pd(_mm256_mul_pd(r2, r2), _mm256_add_pd(c4, _mm256_mul_pd(r, c5))));
        return _mm256_add_pd(scale, _mm256_mul_pd(scale, tmp));
    }
}

// exp of every lane with the library's bits.
template <bool Fused> QUORVEL_AVX2 inline __m256d exp(__m256d x) {
    const __m256d fast = expFastPath<Fused>(x);
    const int fastMask = _mm256_movemask_pd(_mm256_castsi256_pd(fastPathLanes(x)));
    if (fastMask == 0xf) {
        return fast;
    }
    alignas(32) double in[4];
    alignas(32) double out[4];
    _mm256_store_pd(in, x);
    _mm256_store_pd(out, fast);
    for (int lane = 0; lane < 4; ++lane) {
        if ((fastMask & (1 << lane)) == 0) {
            out[lane] = std::exp(in[lane]);
        }
    }
    return _mm256_load_pd(out);
}

// exp of every lane of N vectors in place. The fast paths of all run back to back, free of
// branches, and the lanes outside it are put right afterwards.
template <bool Fused, int N> QUORVEL_AVX2 inline void expInPlace(__m256d (&x)[N]) {
    int outside = 0;
    int masks[N];
    for (int i = 0; i < N; ++i) {
        masks[i] = _mm256_movemask_pd(_mm256_castsi256_pd(fastPathLanes(x[i])));
        outside |= masks[i] ^ 0xf;
    }
    if (outside == 0) {
        for (int i = 0; i < N; ++i) {
            x[i] = expFastPath<Fused>(x[i]);
        }
        return;
    }
    for (int i = 0; i < N; ++i) {
        if (masks[i] == 0xf) {
            x[i] = expFastPath<Fused>(x[i]);
            continue;
        }
        alignas(32) double in[4];
        alignas(32) double out[4];
        _mm256_store_pd(in, x[i]);
        _mm256_store_pd(out, expFastPath<Fused>(x[i]));
        for (int lane = 0; lane < 4; ++lane) {
            if ((masks[i] & (1 << lane)) == 0) {
                out[lane] = std::exp(in[lane]);
            }
        }
        x[i] = _mm256_load_pd(out);
    }
}

// The logistic sigmoid 1 / (1 + exp(-s)) of every lane of N vectors, in place, as the scalar
// code computes it. One test of all the lanes' magnitudes decides whether the fast path takes
// every lane without a branch; otherwise expInPlace sorts the lanes. A NaN lane takes no part
// in the test (min and max give their second operand when one is NaN): the fast path gives it
// a NaN, as the library does.
template <bool Fused, int N> QUORVEL_AVX2 inline void sigmoidInPlace(__m256d (&s)[N]) {
    const __m256d one = _mm256_set1_pd(1);
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d fastFrom = _mm256_set1_pd(0x1p-54);
    __m256d smallest = fastFrom;
    __m256d largest = _mm256_setzero_pd();
    for (int i = 0; i < N; ++i) {
        s[i] = _mm256_xor_pd(s[i], sign);
        const __m256d magnitude = _mm256_andnot_pd(sign, s[i]);
        smallest = _mm256_min_pd(magnitude, smallest);
        largest = _mm256_max_pd(magnitude, largest);
    }
    const __m256d outside = _mm256_or_pd(_mm256_cmp_pd(smallest, fastFrom, _CMP_LT_OQ),
                                         _mm256_cmp_pd(largest, _mm256_set1_pd(512), _CMP_GE_OQ));
    if (_mm256_movemask_pd(outside) == 0) [[likely]] {
        for (int i = 0; i < N; ++i) {
            s[i] = expFastPath<Fused>(s[i]);
        }
    } else {
        expInPlace<Fused>(s);
    }
    for (int i = 0; i < N; ++i) {
        s[i] = _mm256_div_pd(one, _mm256_add_pd(one, s[i]));
    }
}

} // namespace quorvel::avx2
