// Compiled with -mavx2 (and without -mfma): called only where the processor
// has AVX2.
#include <immintrin.h>

#include "engine/escape_kernels.h"
#include "engine/lane_kernel.h"

namespace {

using Vec4 = double __attribute__((vector_size(32)));

unsigned laneBits(decltype(Vec4{} > Vec4{}) m)
{
    return static_cast<unsigned>(_mm256_movemask_pd(reinterpret_cast<__m256d>(m)));
}

struct Avx2 : VectorLanes<Vec4, laneBits> {
    template <class Power>
    static constexpr int vectors = 4;
};

} // namespace

EscapeKernel avx2Kernel(int func) { return kernelFor<Avx2>(func); }
