// Compiled with -mavx512f: called only where the processor has AVX-512F.
#include <immintrin.h>

#include "engine/escape_kernels.h"
#include "engine/lane_kernel.h"

namespace {

// Here comparisons give mask registers.
struct Avx512 {
    using Vec = double __attribute__((vector_size(64)));
    using Mask = long long __attribute__((vector_size(64)));
    // Kept in a general register: a chain of mask-register operations from
    // pass to pass runs markedly slower.
    using Active = unsigned;
    template <class Power>
    static constexpr int vectors = 3;

    static Active active(Mask stored)
    {
        return _mm512_test_epi64_mask(reinterpret_cast<__m512i>(stored), reinterpret_cast<__m512i>(stored));
    }
    static Mask stored(Active a)
    {
        return reinterpret_cast<Mask>(_mm512_maskz_set1_epi64(static_cast<__mmask8>(a), -1));
    }

    template <class Power>
    static unsigned pass(Vec& x, Vec& y, Vec cr, Vec ci, Active& active)
    {
        Vec nx, ny;
        const __m512d t = reinterpret_cast<__m512d>(Power::step(x, y, cr, ci, nx, ny));
        const unsigned escaped = _mm512_cmp_pd_mask(t, _mm512_set1_pd(Power::kBound), _CMP_GT_OQ);
        const unsigned now = escaped & active;
        active &= ~escaped;
        x = nx;
        y = ny;
        return now;
    }
};

} // namespace

EscapeKernel avx512Kernel(int func) { return kernelFor<Avx512>(func); }
