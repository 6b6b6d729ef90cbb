// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include <immintrin.h>

#include "engine/escape_kernels.h"
#include "engine/lane_kernel.h"

namespace {

// Here comparisons give mask registers.
struct Avx512 {
    using Vec = double __attribute__((vector_size(64)));
    template <class Power>
    static constexpr int vectors = 3;

    template <class Power>
    static unsigned pass(Vec& x, Vec& y, Vec cr, Vec ci)
    {
        Vec nx, ny;
        const __m512d t = reinterpret_cast<__m512d>(Power::step(x, y, cr, ci, nx, ny));
        x = nx;
        y = ny;
        return _mm512_cmp_pd_mask(t, _mm512_set1_pd(Power::kBound), _CMP_GT_OQ);
    }
};

} // namespace

EscapeKernel avx512Kernel(int func) { return kernelFor<Avx512>(func); }
