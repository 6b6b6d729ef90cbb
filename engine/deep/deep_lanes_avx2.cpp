// Compiled with -mavx2 (and without -mfma): called only where the processor
// has AVX2.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"  // recount_lane_step.h
#endif

#include <immintrin.h>

#include "engine/deep/deep_lane_step.h"
#include "engine/deep/recount_lane_step.h"

namespace {

using Vec4 = double __attribute__((vector_size(32)));

unsigned laneBits(decltype(Vec4{} < Vec4{}) m)
{
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
}

// Gathers at j = 2m: 2Z's re at j, im at j + 1, per-point values at m.
struct Gather {
    using M = decltype(Vec4{} < Vec4{});

    static void pair(const double* z, M j, Vec4& re, Vec4& im)
    {
        const __m256i at = reinterpret_cast<__m256i>(j);
        re = reinterpret_cast<Vec4>(_mm256_i64gather_pd(z, at, 8));
        im = reinterpret_cast<Vec4>(_mm256_i64gather_pd(z + 1, at, 8));
    }

    static Vec4 one(const double* a, M j)
    {
        return reinterpret_cast<Vec4>(_mm256_i64gather_pd(a, reinterpret_cast<__m256i>(j), 4));
    }

    static M words(const std::uint64_t* a, M j)
    {
        return reinterpret_cast<M>(
            _mm256_i64gather_epi64(reinterpret_cast<const long long*>(a), reinterpret_cast<__m256i>(j), 4));
    }
};

} // namespace

DeepLaneKernel avx2DeepLanes() { return deepLanes<Vec4, 2, laneBits, Gather>(); }

RecountKernel avx2RecountLanes() { return recountLanes(); }
