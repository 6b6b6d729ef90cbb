// Compiled with -mavx2 (and without -mfma): called only where the processor
// has AVX2.
#include <immintrin.h>

#include "engine/deep/deep_lane_step.h"

namespace {

using Vec4 = double __attribute__((vector_size(32)));

unsigned laneBits(decltype(Vec4{} < Vec4{}) m)
{
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
}

} // namespace

DeepLaneKernel avx2DeepLanes() { return deepLanes<Vec4, 2, laneBits>(); }
