// Compiled with -mavx2 (and without -mfma): called only where the processor
// has AVX2.

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

    // Each lane's re and im side by side, one 16-byte load, sorted into
    // vectors of re and of im: on AMD's processors this costs less than
    // two gathers.
    static void pairAt(const double* z, const std::int64_t* at, std::int64_t shift, Vec4& re, Vec4& im)
    {
        const auto pair = [&](int k) { return _mm_loadu_pd(z + (at[k] + shift)); };
        const __m256d even = _mm256_set_m128d(pair(2), pair(0)), odd = _mm256_set_m128d(pair(3), pair(1));
        re = reinterpret_cast<Vec4>(_mm256_unpacklo_pd(even, odd));
        im = reinterpret_cast<Vec4>(_mm256_unpackhi_pd(even, odd));
    }
};

} // namespace

DeepLaneKernel avx2DeepLanes() { return deepLanes<Vec4, 1, laneBits, Gather>(); }

RecountKernel avx2RecountLanes() { return recountLanes<RecountVec4>(); }
