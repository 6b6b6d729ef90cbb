// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include <immintrin.h>

#include "engine/escape_kernels.h"
#include "engine/lane_kernel.h"

namespace {

// Here comparisons give mask registers, which also select the lanes that count.
struct Avx512 {
    using Vec = double __attribute__((vector_size(64)));
    using Count = long long __attribute__((vector_size(64)));
    using Active = __mmask8;
    template <class Power>
    static constexpr int vectors = 3;

    template <class Power>
    static unsigned pass(Vec& x, Vec& y, Vec cr, Vec ci, Active& active, Count& count)
    {
        Vec nx, ny;
        const __m512d t = reinterpret_cast<__m512d>(Power::step(x, y, cr, ci, nx, ny));
        const __mmask8 escaped = _mm512_cmp_pd_mask(t, _mm512_set1_pd(Power::kBound), _CMP_GT_OQ);
        const __mmask8 now = escaped & active;
        active = static_cast<__mmask8>(active & ~escaped);
        count = reinterpret_cast<Count>(
            _mm512_mask_add_epi64(reinterpret_cast<__m512i>(count), active, reinterpret_cast<__m512i>(count), _mm512_set1_epi64(1)));
        x = nx;
        y = ny;
        return now;
    }
    static Active active(Count stored)
    {
        return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(stored), reinterpret_cast<__m512i>(stored));
    }
    static Count stored(Active a) { return reinterpret_cast<Count>(_mm512_maskz_set1_epi64(a, -1)); }
};

} // namespace

EscapeKernel avx512Kernel(int func) { return kernelFor<Avx512>(func); }
