// Compiled with the target's baseline flags: SSE2 on x86-64, and whatever
// vectors the compiler makes of the generic ones elsewhere.

#include "engine/deep/deep_lane_step.h"
#include "engine/deep/recount_lane_step.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Vec2 = double __attribute__((vector_size(16)));

unsigned laneBits(decltype(Vec2{} < Vec2{}) m)
{
#if defined(__SSE2__)
    return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m)));
#else
    return (m[0] != 0 ? 1u : 0u) | (m[1] != 0 ? 2u : 0u);
#endif
}

#if defined(__SSE2__)
// Each lane's re and im side by side, one 16-byte load, sorted into a
// vector of re and one of im.
struct PairGather : ElementGather<Vec2> {
    static void pairAt(const double* z, const std::int64_t* at, std::int64_t shift, Vec2& re, Vec2& im)
    {
        const __m128d first = _mm_loadu_pd(z + (at[0] + shift)), second = _mm_loadu_pd(z + (at[1] + shift));
        re = reinterpret_cast<Vec2>(_mm_unpacklo_pd(first, second));
        im = reinterpret_cast<Vec2>(_mm_unpackhi_pd(first, second));
    }
};
#else
using PairGather = ElementGather<Vec2>;
#endif

} // namespace

DeepLaneKernel baselineDeepLanes() { return deepLanes<Vec2, 1, laneBits, PairGather>(); }

RecountKernel baselineRecountLanes() { return recountLanes<RecountVec2>(); }
