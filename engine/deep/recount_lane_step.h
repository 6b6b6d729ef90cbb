#pragma once

// The step of recounted pixels' lanes, for each deep_lanes_<isa>.cpp to
// compile with its own instruction-set flags: internal linkage, and nothing
// from the standard library, so that no code built for a wider instruction
// set is ever picked for a narrower one.

#include "engine/deep/deep_frame.h"
#include "engine/deep/double_double.h"
#include "engine/deep/recount_lanes.h"
#include "engine/deep/stray.h"

namespace {

// W lanes as GCC/clang vectors of W doubles, one register of the
// instruction set each: a double-double complex number takes four of them,
// and a pass holds several, which wider vectors would spill. The arithmetic
// of a pass is recount()'s, operation for operation.
typedef double RecountVec2 __attribute__((vector_size(16)));
typedef double RecountVec4 __attribute__((vector_size(32)));
typedef double RecountVec8 __attribute__((vector_size(64)));

template <class V>
struct RecountLanes {
    static constexpr int W = sizeof(V) / sizeof(double);
    static_assert(W <= kRecountLanes, "the state holds the lanes");
    using M = decltype(V{} < V{});
    using D = DdOf<V>;
    using C = CxDdOf<V>;

    template <class T, class E>
    static T load(const E* lanes)
    {
        T v;
        __builtin_memcpy(&v, lanes, sizeof v);
        return v;
    }
    template <class T, class E>
    static void store(E* lanes, const T& v)
    {
        __builtin_memcpy(lanes, &v, sizeof v);
    }

    static unsigned bits(M m)
    {
        unsigned b = 0;
        for (int k = 0; k < W; ++k)
            b |= m[k] != 0 ? 1u << k : 0u;
        return b;
    }

    static V normHi(const C& a) { return a.re.hi * a.re.hi + a.im.hi * a.im.hi; }

    static C pick(M mask, const C& a, const C& b)
    {
        return {{mask ? a.re.hi : b.re.hi, mask ? a.re.lo : b.re.lo}, {mask ? a.im.hi : b.im.hi, mask ? a.im.lo : b.im.lo}};
    }

    static RecountEvents step(RecountLaneState& s, const RecountOrbits& o)
    {
        C dz{{load<V>(s.dzrHi), load<V>(s.dzrLo)}, {load<V>(s.dziHi), load<V>(s.dziLo)}};
        const C dc{{load<V>(s.dcrHi), load<V>(s.dcrLo)}, {load<V>(s.dciHi), load<V>(s.dciLo)}};
        V strayed = load<V>(s.stray);
        const V dcStray = load<V>(s.dcStray);
        M m = load<M>(s.m), n = load<M>(s.n), orbit = load<M>(s.orbit), busy = load<M>(s.busy);
        const M size0 = M{} + o.size[0], size1 = M{} + o.size[1];
        RecountEvents events;
        for (;;) {
            C Z;
            for (int k = 0; k < W; ++k) {
                const double* hi = o.hi[orbit[k]] + 2 * m[k];
                const double* lo = o.lo[orbit[k]] + 2 * m[k];
                Z.re.hi[k] = hi[0];
                Z.im.hi[k] = hi[1];
                Z.re.lo[k] = lo[0];
                Z.im.lo[k] = lo[1];
            }
            const V nearRe = Z.re.hi + dz.re.hi, nearIm = Z.im.hi + dz.im.hi;
            const V nz = nearRe * nearRe + nearIm * nearIm;
            // Near the escape radius recount() decides in full: given up.
            const M near = (nz >= kFourBelow) & (nz <= kFourAbove) & busy;
            const M done = ((nz > kFourAbove) | (n == o.maxIters)) & busy & ~near;
            if (bits(near | done) != 0) {
                events.finished = bits(done);
                events.givenUp = bits(near);
                busy &= ~near;
                break;
            }
            const V ndz = normHi(dz), nZ = normHi(Z);
            const M rebase =
                ((nz < ndz) | ((m != 0) & (nZ < ndz)) | (m + 1 == (orbit != 0 ? size1 : size0))) & busy;
            C Zm = Z;
            if (bits(rebase) != 0) {
                strayed = rebase ? strayed + 4.0 * stray::kDdUnit2 * (nz + nZ) : strayed;
                dz = pick(rebase, Z + dz, dz);
                orbit = rebase ? M{} + o.base : orbit;
                m = rebase ? M{} : m;
                Zm = pick(rebase, C{}, Z);
            }
            const V ar = dz.re.hi < 0.0 ? -dz.re.hi : dz.re.hi, ai = dz.im.hi < 0.0 ? -dz.im.hi : dz.im.hi;
            const M under = ((dz.re.hi != 0.0) | (dz.im.hi != 0.0)) & ((ar > ai ? ar : ai) < stray::kDdFloor) & busy;
            if (bits(under) != 0) {
                events.givenUp |= bits(under);
                busy &= ~under;
            }
            strayed = 4.0 * nz * (strayed + 16.0 * stray::kDdUnit2 * normHi(dz)) + dcStray;
            dz = perturbedPass(Zm, dz, dc);
            m -= busy;  // busy lanes are all ones: -1
            n -= busy;
            if (events.givenUp != 0)
                break;
        }
        store(s.dzrHi, dz.re.hi);
        store(s.dzrLo, dz.re.lo);
        store(s.dziHi, dz.im.hi);
        store(s.dziLo, dz.im.lo);
        store(s.stray, strayed);
        store(s.m, m);
        store(s.n, n);
        store(s.orbit, orbit);
        store(s.busy, busy);
        return events;
    }
};

template <class V>
RecountKernel recountLanes()
{
    return {RecountLanes<V>::step, RecountLanes<V>::W};
}

} // namespace
