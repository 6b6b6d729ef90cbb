// Compiled with -mavx512f: called only where the processor has AVX-512F.
//
// The lane step of deep_lane_step.h written out with AVX-512's mask
// registers: the generic vectors would carry every comparison as a vector of
// all-ones lanes and convert it back for each select. The arithmetic of a
// pass is the same, operation for operation.
#include <immintrin.h>

#include "engine/deep/deep_lanes.h"

namespace {

constexpr int W = 8;  // doubles in a vector
constexpr int U = 2;  // vectors side by side, whose passes are independent
static_assert(W * U <= kMostDeepLanes, "the state holds the lanes");

struct Lanes {
    __m512d dzr, dzi, dcr, dci, Zr, Zi;
    __m512i m, left;
    __mmask8 busy;
};

__m512d gather(const double* base, __m512i at)
{
    // The masked form: the plain one starts from an undefined vector, which
    // GCC 12 warns of.
    return _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xff, at, base, 8);
}

// Each lane's own orbit point: re at 2m, im at 2m + 1.
void point(const DeepLaneOrbit& o, Lanes& l)
{
    const __m512i at = _mm512_add_epi64(l.m, l.m);
    l.Zr = gather(o.z, at);
    l.Zi = gather(o.z + 1, at);
}

__m512d norm(__m512d re, __m512d im) { return _mm512_add_pd(_mm512_mul_pd(re, re), _mm512_mul_pd(im, im)); }

// The top of a pass, where z = Z + dz and nz = |z|^2: rebasing, and the
// lanes to hand back. The Mandelbrot orbit starts at Z = 0.
__mmask8 top(Lanes& l, const DeepLaneOrbit& o, __m512d nearBound, __m512d zr, __m512d zi, __m512d nz)
{
    const __m512d ndz = norm(l.dzr, l.dzi);
    // Closer to 0 than to the orbit point, the orbit point closer to 0 than
    // the pixel to it, or at the orbit's end: start over. (At the orbit's
    // start, where Z = 0, starting over changes nothing: 0 + dz is dz.)
    // One comparison for both distances: comparisons go to one port, the
    // minimum to another.
    const __mmask8 rebase =
        _mm512_cmp_pd_mask(_mm512_mask_min_pd(nz, 0xff, nz, norm(l.Zr, l.Zi)), ndz, _CMP_LT_OQ) |
        _mm512_cmpeq_epi64_mask(l.m, _mm512_set1_epi64(o.size - 1));
    __m512d ndzNow = ndz;
    if (rebase != 0) {
        ndzNow = _mm512_mask_blend_pd(rebase, ndz, nz);
        l.dzr = _mm512_mask_blend_pd(rebase, l.dzr, zr);
        l.dzi = _mm512_mask_blend_pd(rebase, l.dzi, zi);
        l.m = _mm512_maskz_mov_epi64(static_cast<__mmask8>(~rebase), l.m);
        l.Zr = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Zr);
        l.Zi = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Zi);
    }
    // Only near a bilinear step or the end of doubles (DeepLaneOrbit).
    if ((_mm512_cmp_pd_mask(ndzNow, nearBound, _CMP_LT_OQ) & l.busy) == 0)
        return 0;
    const __m512d ar = _mm512_abs_pd(l.dzr), ai = _mm512_abs_pd(l.dzi);
    const __m512d larger = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(ar, ai, _CMP_GT_OQ), ai, ar);
    const __mmask8 outOfRange = _mm512_cmp_pd_mask(larger, _mm512_set1_pd(kDeltaFloor), _CMP_LT_OQ);
    const __mmask8 bilinear = _mm512_cmp_pd_mask(ndzNow, gather(o.radii, l.m), _CMP_LT_OQ);
    return (outOfRange | bilinear) & l.busy;
}

DeepLaneEvents step(DeepLaneState& s, const DeepLaneOrbit& o)
{
    Lanes l[U];
    for (int u = 0; u < U; ++u) {
        l[u].dzr = _mm512_load_pd(s.dzr + u * W);
        l[u].dzi = _mm512_load_pd(s.dzi + u * W);
        l[u].dcr = _mm512_load_pd(s.dcr + u * W);
        l[u].dci = _mm512_load_pd(s.dci + u * W);
        l[u].m = _mm512_load_si512(s.m + u * W);
        l[u].left = _mm512_load_si512(s.left + u * W);
        l[u].busy = _mm512_test_epi64_mask(_mm512_load_si512(s.busy + u * W), _mm512_set1_epi64(-1));
    }
    const __m512d two = _mm512_set1_pd(2.0), four = _mm512_set1_pd(4.0);
    const __m512i one = _mm512_set1_epi64(1);
    const __m512d nearBound = _mm512_set1_pd(o.nearBound);
    unsigned handBack = 0;
    for (int u = 0; u < U; ++u) {
        point(o, l[u]);
        const __m512d zr = _mm512_add_pd(l[u].Zr, l[u].dzr), zi = _mm512_add_pd(l[u].Zi, l[u].dzi);
        handBack |= static_cast<unsigned>(top(l[u], o, nearBound, zr, zi, norm(zr, zi))) << (u * W);
    }
    // One test a pass: a lane done in it is finished whatever its next top
    // did, and the others rest at the top of the next pass.
    DeepLaneEvents events{0, handBack};
    while (events.handBack == 0) {
        unsigned done = 0;
        handBack = 0;
        for (int u = 0; u < U; ++u) {
            Lanes& v = l[u];
            const __m512d tr = _mm512_add_pd(_mm512_mul_pd(two, v.Zr), v.dzr);
            const __m512d ti = _mm512_add_pd(_mm512_mul_pd(two, v.Zi), v.dzi);
            const __m512d nr = _mm512_sub_pd(_mm512_mul_pd(tr, v.dzr), _mm512_mul_pd(ti, v.dzi));
            const __m512d ni = _mm512_add_pd(_mm512_mul_pd(tr, v.dzi), _mm512_mul_pd(ti, v.dzr));
            v.dzr = _mm512_add_pd(nr, v.dcr);
            v.dzi = _mm512_add_pd(ni, v.dci);
            v.m = _mm512_add_epi64(v.m, one);
            v.left = _mm512_sub_epi64(v.left, one);
            point(o, v);
            const __m512d zr = _mm512_add_pd(v.Zr, v.dzr), zi = _mm512_add_pd(v.Zi, v.dzi);
            const __m512d nz = norm(zr, zi);
            const __mmask8 d = (_mm512_cmpeq_epi64_mask(v.left, _mm512_setzero_si512()) |
                                _mm512_cmp_pd_mask(nz, four, _CMP_GT_OQ)) &
                               v.busy;
            done |= static_cast<unsigned>(d) << (u * W);
            handBack |= static_cast<unsigned>(top(v, o, nearBound, zr, zi, nz)) << (u * W);
        }
        events.done = done;
        events.handBack = handBack & ~done;
        if (done != 0)
            break;
    }
    for (int u = 0; u < U; ++u) {
        _mm512_store_pd(s.dzr + u * W, l[u].dzr);
        _mm512_store_pd(s.dzi + u * W, l[u].dzi);
        _mm512_store_si512(s.m + u * W, l[u].m);
        _mm512_store_si512(s.left + u * W, l[u].left);
    }
    return events;
}

} // namespace

DeepLaneKernel avx512DeepLanes() { return {step, W * U}; }
