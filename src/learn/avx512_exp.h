#pragma once

// The C library's exp and the logistic sigmoid eight lanes at a time: learn/avx2_exp.h's
// operations, lane for lane, on the wider registers, so every lane has the same bits.
//
// Only for translation units whose functions carry QUORVEL_AVX512, and only called once the
// processor has been found to have AVX-512.
#include "learn/avx2_exp.h"

#include <immintrin.h>

#include <cmath>
#include <cstdint>

namespace quorvel::avx512 {

// Shifts, gathers and permutes through their masked forms with every lane set: GCC 12's plain
// forms start from an undefined register, which -Wuninitialized reports once they are inlined.
constexpr __mmask8 allLanes = 0xff;
QUORVEL_AVX512 inline __m512i shiftLeft(__m512i v, unsigned bits) {
    return _mm512_maskz_slli_epi64(allLanes, v, bits);
}
QUORVEL_AVX512 inline __m512i shiftRight(__m512i v, unsigned bits) {
    return _mm512_maskz_srli_epi64(allLanes, v, bits);
}
QUORVEL_AVX512 inline __m512d permute(__m512i index, __m512d v) {
    return _mm512_maskz_permutexvar_pd(allLanes, index, v);
}

// The lanes whose biased exponent lies in 0x3c9..0x407: 2^-54 <= |x| < 512.
QUORVEL_AVX512 inline __mmask8 fastPathLanes(__m512d x) {
    const __m512i top =
        _mm512_and_si512(shiftRight(_mm512_castpd_si512(x), 52), _mm512_set1_epi64(0x7ff));
    return _mm512_cmpgt_epi64_mask(top, _mm512_set1_epi64(0x3c8)) &
           _mm512_cmpgt_epi64_mask(_mm512_set1_epi64(0x408), top);
}

// Four table entries side by side, each its tail then its base.
QUORVEL_AVX512 inline __m512i tableEntries(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                                           std::uint64_t d) {
    auto entry = [](std::uint64_t k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(&avx2::expTable[k]));
    };
    const __m512i low = _mm512_castsi128_si512(entry(a));
    return _mm512_inserti64x2(_mm512_inserti64x2(_mm512_inserti64x2(low, entry(b), 1), entry(c), 2),
                              entry(d), 3);
}

template <bool Fused> QUORVEL_AVX512 inline __m512d expFastPath(__m512d x) {
    const __m512d invLn2N = _mm512_set1_pd(0x1.71547652b82fep+7);
    const __m512d negLn2hiN = _mm512_set1_pd(-0x1.62e42fefa0000p-8);
    const __m512d negLn2loN = _mm512_set1_pd(-0x1.cf79abc9e3b3ap-47);
    const __m512d shift = _mm512_set1_pd(0x1.8p52);
    const __m512d c2 = _mm512_set1_pd(0x1.ffffffffffdbdp-2);
    const __m512d c3 = _mm512_set1_pd(0x1.555555555543cp-3);
    const __m512d c4 = _mm512_set1_pd(0x1.55555cf172b91p-5);
    const __m512d c5 = _mm512_set1_pd(0x1.1111167a4d017p-7);

    __m512d kd = Fused ? _mm512_fmadd_pd(x, invLn2N, shift)
                       : _mm512_add_pd(_mm512_mul_pd(invLn2N, x), shift);
    const __m512i ki = _mm512_castpd_si512(kd);
    kd = _mm512_sub_pd(kd, shift);
    __m512d r;
    if constexpr (Fused) {
        r = _mm512_fmadd_pd(kd, negLn2hiN, x);
        r = _mm512_fmadd_pd(kd, negLn2loN, r);
    } else {
        r = _mm512_add_pd(_mm512_add_pd(x, _mm512_mul_pd(kd, negLn2hiN)),
                          _mm512_mul_pd(kd, negLn2loN));
    }

    // Table entries: eight 16-byte loads, then tails and bases gathered into lanes 0..7.
    alignas(64) std::uint64_t index[8];
    _mm512_store_si512(index, _mm512_and_si512(ki, _mm512_set1_epi64(127)));
    const __m512i even = tableEntries(index[0], index[2], index[4], index[6]);
    const __m512i odd = tableEntries(index[1], index[3], index[5], index[7]);
    const __m512d tail = _mm512_castsi512_pd(_mm512_maskz_unpacklo_epi64(allLanes, even, odd));
    const __m512i sbase = _mm512_maskz_unpackhi_epi64(allLanes, even, odd);
    const __m512d scale = _mm512_castsi512_pd(_mm512_add_epi64(sbase, shiftLeft(ki, 45)));

    const __m512d r2 = _mm512_mul_pd(r, r);
    if constexpr (Fused) {
        const __m512d p23 = _mm512_fmadd_pd(r, c3, c2);
        const __m512d tr = _mm512_add_pd(r, tail);
        const __m512d p45 = _mm512_fmadd_pd(r, c5, c4);
        const __m512d t = _mm512_fmadd_pd(p23, r2, tr);
        const __m512d r4 = _mm512_mul_pd(r2, r2);
        const __m512d tmp = _mm512_fmadd_pd(r4, p45, t);
        return _mm512_fmadd_pd(scale, tmp, scale);
    } else {
        const __m512d tmp = _mm512_add_pd(
            _mm512_add_pd(_mm512_add_pd(tail, r),
                          _mm512_mul_pd(r2, _mm512_add_pd(c2, _mm512_mul_pd(r, c3)))),
            _mm512_mul_pd(_mm512_mul_pd(r2, r2), _mm512_add_pd(c4, _mm512_mul_pd(r, c5))));
        return _mm512_add_pd(scale, _mm512_mul_pd(scale, tmp));
    }
}

// exp of every lane of N vectors in place; the lanes outside the fast path by the scalar exp.
template <bool Fused, int N> QUORVEL_AVX512 inline void expInPlace(__m512d (&x)[N]) {
    __mmask8 inside = 0xff;
    __mmask8 masks[N];
    for (int i = 0; i < N; ++i) {
        masks[i] = fastPathLanes(x[i]);
        inside &= masks[i];
    }
    for (int i = 0; i < N; ++i) {
        const __m512d fast = expFastPath<Fused>(x[i]);
        if (inside == 0xff || masks[i] == 0xff) {
            x[i] = fast;
            continue;
        }
        alignas(64) double in[8];
        alignas(64) double out[8];
        _mm512_store_pd(in, x[i]);
        _mm512_store_pd(out, fast);
        for (int lane = 0; lane < 8; ++lane) {
            if ((masks[i] & (1 << lane)) == 0) {
                out[lane] = std::exp(in[lane]);
            }
        }
        x[i] = _mm512_load_pd(out);
    }
}

// 1 / (1 + exp(-s)) of every lane of N vectors, in place, by the library's exp (Fused) or the
// scalar exp itself (Scalar).
template <bool Scalar, bool Fused, int N>
QUORVEL_AVX512 inline void sigmoidInPlace(__m512d (&s)[N]) {
    const __m512d one = _mm512_set1_pd(1);
    for (int i = 0; i < N; ++i) {
        s[i] = _mm512_xor_pd(s[i], _mm512_set1_pd(-0.0));
    }
    if constexpr (Scalar) {
        for (int i = 0; i < N; ++i) {
            alignas(64) double e[8];
            _mm512_store_pd(e, s[i]);
            for (double& value : e) {
                value = std::exp(value);
            }
            s[i] = _mm512_load_pd(e);
        }
    } else {
        expInPlace<Fused>(s);
    }
    for (int i = 0; i < N; ++i) {
        s[i] = _mm512_div_pd(one, _mm512_add_pd(one, s[i]));
    }
}

} // namespace quorvel::avx512
