// Compiled with -mavx512f: called only where the processor has AVX-512F.
//
// The lane step of deep_lane_step.h written out with AVX-512's mask
// registers: the generic vectors would carry every comparison as a vector of
// all-ones lanes and convert it back for each select. The arithmetic of a
// pass and its tests are the same, operation for operation; these lanes
// also start pixels over without leaving their loop of passes.
#include <immintrin.h>

#include "engine/deep/deep_lanes.h"
#include "engine/deep/recount_lane_step.h"
#include "engine/deep/stray.h"

namespace {

constexpr int W = 8;  // doubles in a vector, one vector of lanes
// (Sixteen lanes, two vectors side by side, stop twice as often for the
// caller: on the AMD EPYC (Zen 4) this was measured on, eight drew the deep
// frames of deep_bench and zoom_bench 8% to 18% faster.)
static_assert(W <= kMostDeepLanes, "the state holds the lanes");

// A lane's orbit point m is kept as j = 2m: 2Z's re sits at 8j bytes, its
// im 8 bytes further, and the per-point tables at 4j bytes. Idle lanes have
// dz = dc = 0, which any Z keeps so, and rest at m = 0.
struct Lanes {
    __m512d dzr, dzi, dcr, dci, Z2r, Z2i;  // Z2: 2Z
    __m512d stray, dcStray;                // stray.h: the estimate; constantTerm(|dc|^2)
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

// Where each lane's orbit point lies while lanes step on from point to
// point: there a pass loads each lane's 2Z, re and im side by side, as one
// 16-byte load, and sorts them into vectors of re and of im with two
// permutes. On Zen 4 this costs less than two gathers. Offsets, like j, are
// in doubles from the table's start, less the passes taken when they were
// set, which each load adds back. Idle lanes load what a busy one does:
// their own j stays 0 while lanes that start over take the loop on for
// longer than the orbit, and any Z keeps their zero delta.
struct Points {
    std::int64_t at[W];
};

Points pointsOf(__m512i j, __mmask8 busy)
{
    Points p;
    _mm512_storeu_si512(p.at, j);
    const int first = busy != 0 ? __builtin_ctz(busy) : 0;
    for (int i = 0; i < W; ++i)
        if ((busy >> i & 1) == 0)
            p.at[i] = p.at[first];
    return p;
}

void point(const double* twiceZ, const Points& p, std::int64_t shift, Lanes& l)
{
    // (AVX-512F inserts four floats where AVX-512DQ would insert two doubles.)
    const auto pair = [&](int i) { return _mm_castpd_ps(_mm_loadu_pd(twiceZ + (p.at[i] + shift))); };
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

// Where the pixel starts over at the top of a pass, z = Z + dz with nz =
// |z|^2 and ndz = |dz|^2, nZ = |Z|^2, given the lanes `started`, past their
// orbit's start: closer to 0 than to the orbit point, or (if started) the
// orbit point closer to 0 than the pixel to it. One comparison for both
// distances: comparisons go to one port, the minimum to another.
__mmask8 nearZero(__m512d nz, __m512d nZ, __m512d ndz, __mmask8 started)
{
    return _mm512_cmp_pd_mask(_mm512_mask_min_pd(nz, started, nz, nZ), ndz, _CMP_LT_OQ);
}

// Starts the lanes of `rebase` over, on the orbit that starts at Z = 0,
// with the whole point as the delta: its new |dz|^2 is nz.
void startOver(Lanes& l, __mmask8 rebase, __m512d zr, __m512d zi, __m512d nz, __m512d nZ, __m512i restart)
{
    const __m512d rounded = _mm512_mul_pd(_mm512_set1_pd(4.0 * stray::kUnit2), _mm512_add_pd(nz, nZ));
    l.stray = _mm512_mask_add_pd(l.stray, rebase, l.stray, rounded);
    l.dzr = _mm512_mask_blend_pd(rebase, l.dzr, zr);
    l.dzi = _mm512_mask_blend_pd(rebase, l.dzi, zi);
    l.j = _mm512_mask_mov_epi64(l.j, rebase, restart);
    l.Z2r = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Z2r);
    l.Z2i = _mm512_maskz_mov_pd(static_cast<__mmask8>(~rebase), l.Z2i);
}

// The top of a pass, where z = Z + dz and nz = |z|^2: starting over (also
// at an orbit's end), and the lanes to hand back.
// Start-overs of `live` lanes (not done in this pass) are counted.
__mmask8 top(Lanes& l, const DeepLaneOrbit& o, __m512d nearBound, __m512d zr, __m512d zi, __m512d nz,
             __mmask8 live, std::uint64_t& rebased)
{
    const __m512d ndz = norm(l.dzr, l.dzi);
    const __m512d nZ = norm(half(l.Z2r), half(l.Z2i));
    // (count() makes no test of the orbit point at either orbit's start.)
    const __mmask8 started =
        _mm512_test_epi64_mask(l.j, l.j) & _mm512_cmpneq_epi64_mask(l.j, _mm512_set1_epi64(2 * o.restart));
    const __mmask8 closer = nearZero(nz, nZ, ndz, started);
    const __mmask8 rebase = closer | _mm512_cmpeq_epi64_mask(l.j, _mm512_set1_epi64(2 * o.lastPoints[0])) |
                            _mm512_cmpeq_epi64_mask(l.j, _mm512_set1_epi64(2 * o.lastPoints[1]));
    __m512d ndzNow = ndz;
    if (rebase != 0) {
        rebased += static_cast<unsigned>(__builtin_popcount(closer & live));
        ndzNow = _mm512_mask_blend_pd(rebase, ndz, nz);
        startOver(l, rebase, zr, zi, nz, nZ, _mm512_set1_epi64(2 * o.restart));
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

// z = Z + dz at the top of a pass, and the norms its tests and the
// estimate of straying take.
struct Top {
    __m512d zr, zi, nz, ndz;
};

Top topOf(const Lanes& l)
{
    const __m512d zr = _mm512_add_pd(half(l.Z2r), l.dzr), zi = _mm512_add_pd(half(l.Z2i), l.dzi);
    return {zr, zi, norm(zr, zi), norm(l.dzr, l.dzi)};
}

// One pass's step from the top t, to the next point: dz -> (2Z + dz) dz +
// dc; and how far z may have strayed, as stray::passed.
void advance(Lanes& v, const Top& t)
{
    const __m512d rounded = _mm512_mul_pd(_mm512_set1_pd(16.0 * stray::kUnit2), t.ndz);
    v.stray = _mm512_add_pd(_mm512_mul_pd(_mm512_mul_pd(_mm512_set1_pd(4.0), t.nz), _mm512_add_pd(v.stray, rounded)),
                            v.dcStray);
    const __m512d tr = _mm512_add_pd(v.Z2r, v.dzr), ti = _mm512_add_pd(v.Z2i, v.dzi);
    const __m512d nr = _mm512_sub_pd(_mm512_mul_pd(tr, v.dzr), _mm512_mul_pd(ti, v.dzi));
    const __m512d ni = _mm512_add_pd(_mm512_mul_pd(tr, v.dzi), _mm512_mul_pd(ti, v.dzr));
    v.dzr = _mm512_add_pd(nr, v.dcr);
    v.dzi = _mm512_add_pd(ni, v.dci);
}

// Lanes whose |dz|^2 lies below the floor (in bits, which order as
// unsigned integers as non-negative doubles do).
__mmask8 belowFloor(__m512d ndz, __m512i floor)
{
    return _mm512_cmp_epu64_mask(_mm512_castpd_si512(ndz), floor, _MM_CMPINT_LT);
}

// Floors per busy lane; an idle lane's is 0, which every |dz|^2 clears.
__m512i floorsAt(const Lanes& v, const std::uint64_t* floors)
{
    return _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), v.busy, v.j, floors, 4);
}

// Steps the lanes through passes that need no caller, up to and with the
// first that does or the pass `until`; returns the passes taken since the
// step began. A pass needs the caller where a lane may escape or be within
// rounding of the radius, may take a bilinear step or leave doubles (below
// its point's floor), is at an orbit's end, or starts over where it may
// need either. Starting over anywhere else is taken here.
//
// The lanes are copied in and out, so that the loop keeps them in
// registers. Rather than moving every lane's j on, the loop shifts the
// tables by the passes it has taken; a lane that starts over takes a j
// less those passes. Each busy lane stops at the orbit's end at the latest,
// whose floor is never cleared, and idle lanes load what a busy one does,
// so no lane reads beyond the tables.
std::int64_t quietPasses(Lanes& lanes, const DeepLaneOrbit& o, std::int64_t passes, std::int64_t until,
                         std::uint64_t& rebased)
{
    Lanes v = lanes;
    Points at = pointsOf(v.j, v.busy);
    Top t = topOf(v);
    const __m512d fourBelow = _mm512_set1_pd(kFourBelow), nearBound = _mm512_set1_pd(o.nearBound);
    std::int64_t taken = 0;
    for (;;) {
        const __m512i window = floorsAt(v, o.windowFloor + taken);
        for (int k = 0; k < kQuietWindow; ++k) {
            advance(v, t);
            ++taken;
            point(o.twiceZ, at, 2 * taken, v);
            t = topOf(v);
            __mmask8 odd = belowFloor(t.ndz, window) | _mm512_cmp_pd_mask(t.nz, fourBelow, _CMP_GE_OQ);
            if (odd != 0)  // the window's highest floor may lie ahead
                odd = (belowFloor(t.ndz, floorsAt(v, o.pointFloor + taken)) |
                       _mm512_cmp_pd_mask(t.nz, fourBelow, _CMP_GE_OQ)) &
                      v.busy;
            bool stop = odd != 0 || passes + taken == until;
            const __m512d nZ = norm(half(v.Z2r), half(v.Z2i));
            __mmask8 rebase = 0;
            if (!stop && (rebase = nearZero(t.nz, nZ, t.ndz, v.busy)) != 0) {
                const __m512i j = _mm512_add_epi64(v.j, _mm512_set1_epi64(2 * taken));
                rebase = nearZero(t.nz, nZ, t.ndz, _mm512_test_epi64_mask(j, j)) & v.busy;
                // A delta that starts over near a bilinear step: top() decides.
                stop = (_mm512_mask_cmp_pd_mask(rebase, t.nz, nearBound, _CMP_LT_OQ)) != 0;
            }
            if (stop) {
                lanes = v;
                lanes.j = _mm512_mask_add_epi64(v.j, v.busy, v.j, _mm512_set1_epi64(2 * taken));
                return passes + taken;
            }
            if (rebase != 0) {
                rebased += static_cast<unsigned>(__builtin_popcount(rebase));
                startOver(v, rebase, t.zr, t.zi, t.nz, nZ, _mm512_set1_epi64(2 * (o.restart - taken)));
                t.ndz = _mm512_mask_blend_pd(rebase, t.ndz, t.nz);
                at = pointsOf(v.j, v.busy);
                break;  // the window's floors are those of the points left
            }
        }
    }
}

DeepLaneEvents step(DeepLaneState& s, const DeepLaneOrbit& o)
{
    Lanes l;
    l.dzr = _mm512_load_pd(s.dzr);
    l.dzi = _mm512_load_pd(s.dzi);
    l.dcr = _mm512_load_pd(s.dcr);
    l.dci = _mm512_load_pd(s.dci);
    l.stray = _mm512_load_pd(s.stray);
    l.dcStray = _mm512_mul_pd(_mm512_set1_pd(stray::constantTerm(1.0)), norm(l.dcr, l.dci));
    const __m512i m = _mm512_load_si512(s.m);
    l.j = _mm512_add_epi64(m, m);
    const __m512i left = _mm512_load_si512(s.left);
    l.busy = _mm512_test_epi64_mask(_mm512_load_si512(s.busy), _mm512_set1_epi64(-1));
    const __m512d fourBelow = _mm512_set1_pd(kFourBelow), fourAbove = _mm512_set1_pd(kFourAbove);
    const __m512d nearBound = _mm512_set1_pd(o.nearBound);
    point(o.twiceZ, l);
    const __m512d zr0 = _mm512_add_pd(half(l.Z2r), l.dzr), zi0 = _mm512_add_pd(half(l.Z2i), l.dzi);
    DeepLaneEvents events{0, top(l, o, nearBound, zr0, zi0, norm(zr0, zi0), l.busy, s.rebased)};
    // Passes until the first lane reaches its limit (idle lanes never do).
    std::int64_t untilLimit = INT64_MAX;
    for (int lane = 0; lane < W; ++lane)
        untilLimit = s.left[lane] < untilLimit ? s.left[lane] : untilLimit;
    std::int64_t passes = 0;
    while (events.handBack == 0) {
        passes = quietPasses(l, o, passes, untilLimit, s.rebased);
        // The last of those passes in full. One test a pass: a lane done in
        // it is finished whatever its next top did, and the others rest at
        // the top of the next pass.
        // A lane within rounding of the escape radius goes back undecided,
        // before its top can rebase it: DeepFrame decides it exactly.
        const __m512i taken = _mm512_set1_epi64(passes);
        const __m512d zr = _mm512_add_pd(half(l.Z2r), l.dzr), zi = _mm512_add_pd(half(l.Z2i), l.dzi);
        const __m512d nz = norm(zr, zi);
        const __mmask8 done =
            (_mm512_cmpeq_epi64_mask(left, taken) | _mm512_cmp_pd_mask(nz, fourAbove, _CMP_GT_OQ)) & l.busy;
        const __mmask8 near = _mm512_mask_cmp_pd_mask(l.busy, nz, fourBelow, _CMP_GE_OQ) & static_cast<__mmask8>(~done);
        // (Where some lane is near, the others take their top in the next step.)
        const unsigned handBack =
            near == 0 ? top(l, o, nearBound, zr, zi, nz, l.busy & static_cast<__mmask8>(~done), s.rebased) : 0u;
        events.done = done;
        events.undecided = near;
        events.handBack = handBack & ~static_cast<unsigned>(done);
        if ((done | near) != 0)
            break;
    }
    const __m512i taken = _mm512_set1_epi64(passes);
    _mm512_store_pd(s.dzr, l.dzr);
    _mm512_store_pd(s.dzi, l.dzi);
    _mm512_store_pd(s.stray, l.stray);
    _mm512_store_si512(s.m, _mm512_maskz_srli_epi64(0xff, l.j, 1));
    _mm512_store_si512(s.left, _mm512_sub_epi64(left, taken));
    return events;
}

} // namespace

DeepLaneKernel avx512DeepLanes() { return {step, W}; }

RecountKernel avx512RecountLanes() { return recountLanes<RecountVec8>(); }
