// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include <immintrin.h>

#include "engine/deep/deep_lane_step.h"

namespace {

using Vec8 = double __attribute__((vector_size(64)));

unsigned laneBits(decltype(Vec8{} < Vec8{}) m)
{
    return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(m), reinterpret_cast<__m512i>(m));
}

} // namespace

DeepLaneKernel avx512DeepLanes() { return deepLanes<Vec8, 2, laneBits>(); }
