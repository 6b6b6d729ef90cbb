// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include <immintrin.h>

#include "engine/deep/deep_lane_step.h"

namespace {

using Vec8 = double __attribute__((vector_size(64)));

unsigned laneBits(decltype(Vec8{} < Vec8{}) m)
{
    return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(m), reinterpret_cast<__m512i>(m));
}

// The orbit's points are pairs: re at 2m, im at 2m + 1.
struct Gather {
    using M = decltype(Vec8{} < Vec8{});

    static void pair(const double* z, M m, Vec8& re, Vec8& im)
    {
        // The masked forms: the plain ones start from an undefined vector,
        // which GCC 12 warns of.
        const __m512i at = reinterpret_cast<__m512i>(m + m);
        re = reinterpret_cast<Vec8>(_mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xff, at, z, 8));
        im = reinterpret_cast<Vec8>(_mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xff, at, z + 1, 8));
    }

    static Vec8 one(const double* a, M m)
    {
        return reinterpret_cast<Vec8>(
            _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xff, reinterpret_cast<__m512i>(m), a, 8));
    }
};

} // namespace

DeepLaneKernel avx512DeepLanes() { return deepLanes<Vec8, 2, laneBits, Gather>(); }
