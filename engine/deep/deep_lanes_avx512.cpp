// Compiled with -mavx512f: called only where the processor has AVX-512F.
//
// The lane step of deep_lane_step.h written out with AVX-512's mask
// registers: the generic vectors would carry every comparison as a vector of
// all-ones lanes and convert it back for each select. The arithmetic of a
// pass and its tests are the same, operation for operation.
#include <immintrin.h>

#include "engine/deep/deep_lanes.h"
#include "engine/deep/recount_lane_step.h"
#include "engine/deep/stray.h"

namespace {

constexpr int W = 8;  // doubles in a vector
// Vectors side by side, whose passes are independent. One: every pass that
// is not quiet, and every lane that goes back to DeepFrame, stops all the
// lanes stepped together, and sixteen of them stop about twice as often as
// eight; on the AMD EPYC (Zen 4) this was measured on, eight lanes drew the
// deep frames of deep_bench and zoom_bench 8% to 18% faster than sixteen.
constexpr int U = 1;
static_assert(W * U <= kMostDeepLanes, "the state holds the lanes");

// A lane's orbit point m is kept as j = 2m: 2Z's re sits at 8j bytes, its
// im 8 bytes further, and the per-point ranges and radii at 4j bytes. Idle
// lanes have dz = dc = 0, which any Z keeps so, and rest at m = 0.
struct Lanes {
    __m512d dzr, dzi, dcr, dci, Z2r, Z2i;  // Z2: 2Z
    __m512d stray, dcStray;                // stray.h
    __m512i j;
    __mmask8 busy;
};

// A gather into a register zeroed first. A gather merges into its target,
// so that one left over from arithmetic would hold the next pass's loads
// back until this pass's step is done; the compilers see no need to zero it
// when every lane loads. (The tables it reads are not written while lanes
// run, so the asm names only their first element as read.)
template <int Scale, class T>
__m512d gather(const T* base, __m512i at)
{
    __m512d v;
    __mmask8 all;  // every lane; a gather clears its mask
    asm("kxnorw %[all], %[all], %[all]\n\tvpxord %[v], %[v], %[v]\n\t"
        "vgatherqpd (%[base], %[at], %c[scale]), %[v]%{%[all]%}"
        : [v] "=&v"(v), [all] "=&Yk"(all)
        : [base] "r"(base), [at] "v"(at), [scale] "n"(Scale), "m"(*base));
    return v;
}

void point(const double* twiceZ, Lanes& l)
{
    l.Z2r = gather<8>(twiceZ, l.j);
    l.Z2i = gather<8>(twiceZ + 1, l.j);
}

// Where each lane's orbit point lies, for passes in which no lane moves to
// another point than the next: there a pass loads each lane's 2Z, re and im
// side by side, as one 16-byte load, and sorts them into vectors of re and
// of im with two permutes. On Zen 4 this costs less than two gathers.
struct Points {
    const double* at[W];
};

Points pointsOf(const double* twiceZ, __m512i j)
{
    alignas(64) std::int64_t k[W];
    _mm512_store_si512(k, j);
    Points p;
    for (int i = 0; i < W; ++i)
        p.at[i] = twiceZ + k[i];
    return p;
}

void point(const Points& p, std::int64_t shift, Lanes& l)
{
    // (AVX-512F inserts four floats where AVX-512DQ would insert two doubles.)
    const auto pair = [&](int i) { return _mm_castpd_ps(_mm_loadu_pd(p.at[i] + shift)); };
    const auto four = [&](int first) {
        __m512 v = _mm512_castps128_ps512(pair(first));
        v = _mm512_insertf32x4(v, pair(first + 1), 1);
        v = _mm512_insertf32x4(v, pair(first + 2), 2);
        return _mm512_castps_pd(_mm512_insertf32x4(v, pair(first + 3), 3));
    };
    const __m512d low = four(0), high = four(4);
    l.Z2r = _mm512_permutex2var_pd(low, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), high);
    l.Z2i = _mm512_permutex2var_pd(low, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), high);
}

__m512d norm(__m512d re, __m512d im) { return _mm512_add_pd(_mm512_mul_pd(re, re), _mm512_mul_pd(im, im)); }

__m512d half(__m512d v) { return _mm512_mul_pd(_mm512_set1_pd(0.5), v); }

// The top of a pass, where z = Z + dz and nz = |z|^2: rebasing, and the
// lanes to hand back. Pixels start over on an orbit that starts at Z = 0.
__mmask8 top(Lanes& l, const DeepLaneOrbit& o, __m512d nearBound, __m512d zr, __m512d zi, __m512d nz)
{
    const __m512d ndz = norm(l.dzr, l.dzi);
    // Closer to 0 than to the orbit point, the orbit point closer to 0 than
    // the pixel to it (but at the centre's start), or at an orbit's end:
    // start over. (Where Z = 0, starting over changes nothing: 0 + dz is
    // dz.) One comparison for both distances: comparisons go to one port,
    // the minimum to another.
    const __m512d nZ = norm(half(l.Z2r), half(l.Z2i));
    const __mmask8 started = _mm512_test_epi64_mask(l.j, l.j);
    const __mmask8 rebase = _mm512_cmp_pd_mask(_mm512_mask_min_pd(nz, started, nz, nZ), ndz, _CMP_LT_OQ) |
                            _mm512_cmpeq_epi64_mask(l.j, _mm512_set1_epi64(2 * o.lastPoints[0])) |
                            _mm512_cmpeq_epi64_mask(l.j, _mm512_set1_epi64(2 * o.lastPoints[1]));
    __m512d ndzNow = ndz;
    if (rebase != 0) {
        const __m512d rounded = _mm512_mul_pd(_mm512_set1_pd(4.0 * stray::kUnit2), _mm512_add_pd(nz, nZ));
        l.stray = _mm512_mask_add_pd(l.stray, rebase, l.stray, rounded);
        ndzNow = _mm512_mask_blend_pd(rebase, ndz, nz);
        l.dzr = _mm512_mask_blend_pd(rebase, l.dzr, zr);
        l.dzi = _mm512_mask_blend_pd(rebase, l.dzi, zi);
        l.j = _mm512_mask_mov_epi64(l.j, rebase, _mm512_set1_epi64(2 * o.restart));
        l.Z2r = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Z2r);
        l.Z2i = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Z2i);
    }
    // Only near a bilinear step or the end of doubles (DeepLaneOrbit).
    if (_mm512_mask_cmp_pd_mask(l.busy, ndzNow, nearBound, _CMP_LT_OQ) == 0)
        return 0;
    const __m512d ar = _mm512_abs_pd(l.dzr), ai = _mm512_abs_pd(l.dzi);
    const __m512d larger = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(ar, ai, _CMP_GT_OQ), ai, ar);
    const __mmask8 outOfRange = _mm512_cmp_pd_mask(larger, _mm512_set1_pd(kDeltaFloor), _CMP_LT_OQ);
    const __mmask8 bilinear = _mm512_cmp_pd_mask(ndzNow, gather<4>(o.radii, l.j), _CMP_LT_OQ);
    return (outOfRange | bilinear) & l.busy;
}

// One pass's step, to the next point, which twiceZ is shifted to: dz ->
// (2Z + dz) dz + dc; and how far z may have strayed, as stray::passed.
void advance(Lanes& v, const Points& p, std::int64_t shift)
{
    const __m512d zr = _mm512_add_pd(half(v.Z2r), v.dzr), zi = _mm512_add_pd(half(v.Z2i), v.dzi);
    const __m512d rounded = _mm512_mul_pd(_mm512_set1_pd(16.0 * stray::kUnit2), norm(v.dzr, v.dzi));
    v.stray = _mm512_add_pd(
        _mm512_mul_pd(_mm512_mul_pd(_mm512_set1_pd(4.0), norm(zr, zi)), _mm512_add_pd(v.stray, rounded)), v.dcStray);
    const __m512d tr = _mm512_add_pd(v.Z2r, v.dzr), ti = _mm512_add_pd(v.Z2i, v.dzi);
    const __m512d nr = _mm512_sub_pd(_mm512_mul_pd(tr, v.dzr), _mm512_mul_pd(ti, v.dzi));
    const __m512d ni = _mm512_add_pd(_mm512_mul_pd(tr, v.dzi), _mm512_mul_pd(ti, v.dzr));
    v.dzr = _mm512_add_pd(nr, v.dcr);
    v.dzi = _mm512_add_pd(ni, v.dci);
    point(p, shift, v);
}

// A quiet range per lane: every |dz|^2 is quiet on an idle lane.
struct Quiet {
    __m512i low, span;
};

Quiet quietAt(const Lanes& v, const std::uint64_t* low, const std::uint64_t* span)
{
    return {_mm512_mask_i64gather_epi64(_mm512_setzero_si512(), v.busy, v.j, low, 4),
            _mm512_mask_i64gather_epi64(_mm512_set1_epi64(-1), v.busy, v.j, span, 4)};
}

// Lanes whose pass may not be quiet, given the range that covers it.
unsigned unquiet(const Lanes& v, const Quiet& q)
{
    const __m512i above = _mm512_sub_epi64(_mm512_castpd_si512(norm(v.dzr, v.dzi)), q.low);
    return _mm512_cmp_epu64_mask(above, q.span, _MM_CMPINT_NLT);
}

// Steps the lanes through quiet passes, up to and with the first that is
// not or the pass `until`; returns the passes taken since the step began.
// The lanes are copied in and out, so that the loop keeps them in registers.
// Rather than moving every lane's j on, the loop shifts the tables by the
// passes it has taken: each busy lane stops at the orbit's end at the
// latest, which is never quiet, so no lane reads beyond them.
std::int64_t quietPasses(Lanes (&lanes)[U], const DeepLaneOrbit& o, std::int64_t passes, std::int64_t until)
{
    Lanes v[U];
    for (int u = 0; u < U; ++u)
        v[u] = lanes[u];
    Points at[U];
    for (int u = 0; u < U; ++u)
        at[u] = pointsOf(o.twiceZ, v[u].j);
    std::int64_t taken = 0;
    for (;;) {
        Quiet window[U];
        for (int u = 0; u < U; ++u)
            window[u] = quietAt(v[u], o.windowLow + taken, o.windowSpan + taken);
        for (int k = 0; k < kQuietWindow; ++k) {
            ++taken;
            unsigned odd = 0;
            for (int u = 0; u < U; ++u) {
                advance(v[u], at[u], 2 * taken);
                odd |= unquiet(v[u], window[u]);
            }
            if (odd != 0) {  // the window's narrowest point may lie ahead
                odd = 0;
                for (int u = 0; u < U; ++u)
                    odd |= unquiet(v[u], quietAt(v[u], o.pointLow + taken, o.pointSpan + taken));
            }
            if (odd != 0 || passes + taken == until) {
                for (int u = 0; u < U; ++u) {
                    lanes[u] = v[u];
                    lanes[u].j = _mm512_mask_add_epi64(v[u].j, v[u].busy, v[u].j, _mm512_set1_epi64(2 * taken));
                }
                return passes + taken;
            }
        }
    }
}

DeepLaneEvents step(DeepLaneState& s, const DeepLaneOrbit& o)
{
    Lanes l[U];
    __m512i left[U];
    for (int u = 0; u < U; ++u) {
        l[u].dzr = _mm512_load_pd(s.dzr + u * W);
        l[u].dzi = _mm512_load_pd(s.dzi + u * W);
        l[u].dcr = _mm512_load_pd(s.dcr + u * W);
        l[u].dci = _mm512_load_pd(s.dci + u * W);
        l[u].stray = _mm512_load_pd(s.stray + u * W);
        l[u].dcStray = _mm512_load_pd(s.dcStray + u * W);
        const __m512i m = _mm512_load_si512(s.m + u * W);
        l[u].j = _mm512_add_epi64(m, m);
        left[u] = _mm512_load_si512(s.left + u * W);
        l[u].busy = _mm512_test_epi64_mask(_mm512_load_si512(s.busy + u * W), _mm512_set1_epi64(-1));
    }
    const __m512d fourBelow = _mm512_set1_pd(kFourBelow), fourAbove = _mm512_set1_pd(kFourAbove);
    const __m512d nearBound = _mm512_set1_pd(o.nearBound);
    unsigned handBack = 0;
    for (int u = 0; u < U; ++u) {
        point(o.twiceZ, l[u]);
        const __m512d zr = _mm512_add_pd(half(l[u].Z2r), l[u].dzr), zi = _mm512_add_pd(half(l[u].Z2i), l[u].dzi);
        handBack |= static_cast<unsigned>(top(l[u], o, nearBound, zr, zi, norm(zr, zi))) << (u * W);
    }
    // Passes until the first lane reaches its limit (idle lanes never do).
    std::int64_t untilLimit = INT64_MAX;
    for (int lane = 0; lane < W * U; ++lane)
        untilLimit = s.left[lane] < untilLimit ? s.left[lane] : untilLimit;
    std::int64_t passes = 0;
    DeepLaneEvents events{0, handBack};
    while (events.handBack == 0) {
        passes = quietPasses(l, o, passes, untilLimit);
        // The last of those passes in full. One test a pass: a lane done in
        // it is finished whatever its next top did, and the others rest at
        // the top of the next pass.
        // A lane within rounding of the escape radius goes back undecided,
        // before its top can rebase it: DeepFrame decides it exactly.
        const __m512i taken = _mm512_set1_epi64(passes);
        unsigned done = 0, undecided = 0;
        handBack = 0;
        for (int u = 0; u < U; ++u) {
            Lanes& v = l[u];
            const __m512d zr = _mm512_add_pd(half(v.Z2r), v.dzr), zi = _mm512_add_pd(half(v.Z2i), v.dzi);
            const __m512d nz = norm(zr, zi);
            const __mmask8 d =
                (_mm512_cmpeq_epi64_mask(left[u], taken) | _mm512_cmp_pd_mask(nz, fourAbove, _CMP_GT_OQ)) & v.busy;
            const __mmask8 near = _mm512_mask_cmp_pd_mask(v.busy, nz, fourBelow, _CMP_GE_OQ) & static_cast<__mmask8>(~d);
            done |= static_cast<unsigned>(d) << (u * W);
            undecided |= static_cast<unsigned>(near) << (u * W);
            if (near == 0)  // else these lanes take their top in the next step
                handBack |= static_cast<unsigned>(top(v, o, nearBound, zr, zi, nz)) << (u * W);
        }
        events.done = done;
        events.undecided = undecided;
        events.handBack = handBack & ~done;
        if ((done | undecided) != 0)
            break;
    }
    const __m512i taken = _mm512_set1_epi64(passes);
    for (int u = 0; u < U; ++u) {
        _mm512_store_pd(s.dzr + u * W, l[u].dzr);
        _mm512_store_pd(s.dzi + u * W, l[u].dzi);
        _mm512_store_pd(s.stray + u * W, l[u].stray);
        _mm512_store_si512(s.m + u * W, _mm512_maskz_srli_epi64(0xff, l[u].j, 1));
        _mm512_store_si512(s.left + u * W, _mm512_sub_epi64(left[u], taken));
    }
    return events;
}

} // namespace

DeepLaneKernel avx512DeepLanes() { return {step, W * U}; }

RecountKernel avx512RecountLanes() { return recountLanes(); }
