#pragma once

// The lane step of deep pixels, for each deep_lanes_<isa>.cpp to compile
// with its own instruction-set flags: internal linkage, and nothing from the
// standard library, so that no code built for a wider instruction set is
// ever picked for a narrower one.

#include "engine/deep/deep_lanes.h"
#include "engine/deep/stray.h"

namespace {

// V: W doubles as a GCC/clang vector extension type; U vectors side by side,
// whose passes are independent, to hide the latency of each one's chain.
// (Every pass that needs the caller stops all of them, though: on the AMD
// EPYC this was measured on, one vector drew deep_bench's copy and shallow
// frames 10% to 20% faster than two of AVX2 or four of SSE2.)
// The arithmetic of a pass is count()'s in doubles, operation for operation.
// Bits(mask) turns a comparison result into one bit per lane; G gathers at
// j = 2m (G::pair: each lane's 2Z, G::one: each lane's double, G::words:
// each lane's 64-bit word), and G::pairAt loads each lane's 2Z from its
// own offset into the table, in doubles, plus a shift common to all.
template <class V, int U, unsigned (*Bits)(decltype(V{} < V{})), class G>
struct DeepLanes {
    using M = decltype(V{} < V{});
    static constexpr int W = static_cast<int>(sizeof(V) / sizeof(double));
    static constexpr int L = W * U;
    static constexpr unsigned everyLane = (1u << W) - 1;
    static_assert(L <= kMostDeepLanes, "the state holds the lanes");

    // A lane's orbit point m is kept as j = 2m. Idle lanes have dz = dc = 0,
    // which any Z keeps so, and rest at m = 0.
    struct Lanes {
        V dzr, dzi, dcr, dci, Z2r, Z2i;  // Z2: 2Z
        V stray, dcStray;                // stray.h: the estimate; constantTerm(|dc|^2)
        M j, busy;                       // busy: all ones or zero
    };

    // The lanes' arrays as vectors; __builtin_memcpy back stores them.
    template <class T, class E>
    static T load(const E* lanes)
    {
        T v;
        __builtin_memcpy(&v, lanes, sizeof v);
        return v;
    }

    static V norm(V re, V im) { return re * re + im * im; }

    static void point(const double* twiceZ, Lanes& l) { G::pair(twiceZ, l.j, l.Z2r, l.Z2i); }

    // Each lane's j, for loads while lanes step on from point to point.
    struct Points {
        std::int64_t at[W];
    };

    // The top of a pass, where z = Z + dz and nz = |z|^2: rebasing, and the
    // lanes to hand back. Pixels start over on an orbit that starts at Z = 0.
    // Start-overs of `live` lanes (not done in this pass) are counted.
    static M top(Lanes& l, const DeepLaneOrbit& o, V zr, V zi, V nz, M live, std::uint64_t& rebased)
    {
        const V zero{};
        const V ndz = norm(l.dzr, l.dzi);
        // Closer to 0 than to the orbit point, the orbit point closer to 0
        // than the pixel to it (but at either orbit's start, where count()
        // makes no such test), or at an orbit's end: start over.
        const V nZ = norm(0.5 * l.Z2r, 0.5 * l.Z2i);
        const M nearZero = (nz < ndz) | ((nZ < ndz) & (l.j != 0) & (l.j != 2 * o.restart));
        const M rebase = nearZero | (l.j == 2 * o.lastPoints[0]) | (l.j == 2 * o.lastPoints[1]);
        V ndzNow = ndz;
        if (Bits(rebase) != 0) {  // seldom
            rebased += static_cast<unsigned>(__builtin_popcount(Bits(nearZero & live)));
            l.stray = rebase ? l.stray + 4.0 * stray::kUnit2 * (nz + nZ) : l.stray;
            l.dzr = rebase ? zr : l.dzr;
            l.dzi = rebase ? zi : l.dzi;
            l.j = rebase ? M{} + 2 * o.restart : l.j;
            l.Z2r = rebase ? zero : l.Z2r;
            l.Z2i = rebase ? zero : l.Z2i;
            ndzNow = rebase ? nz : ndz;
        }
        const M busy = l.busy;
        if (Bits((ndzNow < o.nearBound) & busy) == 0)
            return M{};
        const V ar = l.dzr < zero ? -l.dzr : l.dzr, ai = l.dzi < zero ? -l.dzi : l.dzi;
        const M outOfRange = (ar > ai ? ar : ai) < kDeltaFloor;
        const M bilinear = ndzNow < G::one(o.radii, l.j);
        return (outOfRange | bilinear) & busy;
    }

    // One pass's step, to the next point, at `shift` doubles past the
    // lanes' own: dz -> (2Z + dz) dz + dc; and how far z may have strayed,
    // as stray::passed, given ndz = |dz|^2.
    static void advance(Lanes& v, V ndz, const double* twiceZ, const Points& p, std::int64_t shift)
    {
        const V zr = 0.5 * v.Z2r + v.dzr, zi = 0.5 * v.Z2i + v.dzi;
        v.stray = 4.0 * norm(zr, zi) * (v.stray + 16.0 * stray::kUnit2 * ndz) + v.dcStray;
        const V tr = v.Z2r + v.dzr, ti = v.Z2i + v.dzi;
        const V nr = tr * v.dzr - ti * v.dzi, ni = tr * v.dzi + ti * v.dzr;
        v.dzr = nr + v.dcr;
        v.dzi = ni + v.dci;
        G::pairAt(twiceZ, p.at, shift, v.Z2r, v.Z2i);
    }

    // The quiet ranges compare as unsigned integers, which these vectors do
    // not have: both sides go over as signed ones with their top bit
    // flipped, the norm's by taking the flipped low end (in unsigned
    // arithmetic, which wraps).
    static constexpr long long sign = static_cast<long long>(1ull << 63);
    typedef unsigned long long Unsigned __attribute__((vector_size(sizeof(V))));

    // A quiet range per lane, flipped: every |dz|^2 is quiet on an idle lane.
    struct Quiet {
        M low, span;
    };

    static Quiet quietAt(const Lanes& v, const std::uint64_t* low, const std::uint64_t* span)
    {
        return {(G::words(low, v.j) & v.busy) ^ sign, (G::words(span, v.j) | ~v.busy) ^ sign};
    }

    // Lanes whose pass is quiet, given ndz = |dz|^2 and the range that
    // covers it.
    static M quiet(V ndz, const Quiet& q)
    {
        const Unsigned above = reinterpret_cast<Unsigned>(ndz) - reinterpret_cast<Unsigned>(q.low);
        return q.span > reinterpret_cast<M>(above);
    }

    // Steps the lanes through quiet passes, up to and with the first that is
    // not or the pass `until`; returns the passes taken since the step
    // began. The lanes are copied in and out, so that the loop keeps them in
    // registers. Rather than moving every lane's j on, the loop shifts the
    // tables by the passes it has taken: each busy lane stops at the orbit's
    // end at the latest, which is never quiet, so no lane reads beyond them.
    static std::int64_t quietPasses(Lanes (&lanes)[U], const DeepLaneOrbit& o, std::int64_t passes,
                                    std::int64_t until)
    {
        Lanes v[U];
        Points at[U];
        V ndz[U];  // each pass's |dz|^2, for its test and the next one's estimate
        for (int u = 0; u < U; ++u) {
            v[u] = lanes[u];
            __builtin_memcpy(at[u].at, &v[u].j, sizeof(M));
            ndz[u] = norm(v[u].dzr, v[u].dzi);
        }
        std::int64_t taken = 0;
        for (;;) {
            Quiet window[U];
            for (int u = 0; u < U; ++u)
                window[u] = quietAt(v[u], o.windowLow + taken, o.windowSpan + taken);
            for (int k = 0; k < kQuietWindow; ++k) {
                ++taken;
                M all = M{} - 1;
                for (int u = 0; u < U; ++u) {
                    advance(v[u], ndz[u], o.twiceZ, at[u], 2 * taken);
                    ndz[u] = norm(v[u].dzr, v[u].dzi);
                    all &= quiet(ndz[u], window[u]);
                }
                bool quietPass = Bits(all) == everyLane;
                if (!quietPass) {  // the window's narrowest point may lie ahead
                    all = M{} - 1;
                    for (int u = 0; u < U; ++u)
                        all &= quiet(ndz[u], quietAt(v[u], o.pointLow + taken, o.pointSpan + taken));
                    quietPass = Bits(all) == everyLane;
                }
                if (!quietPass || passes + taken == until) {
                    for (int u = 0; u < U; ++u) {
                        lanes[u] = v[u];
                        lanes[u].j += (2 * taken) & v[u].busy;
                    }
                    return passes + taken;
                }
            }
        }
    }

    static DeepLaneEvents step(DeepLaneState& s, const DeepLaneOrbit& o)
    {
        Lanes l[U];
        M left[U];
        for (int u = 0; u < U; ++u) {
            l[u].dzr = load<V>(s.dzr + u * W);
            l[u].dzi = load<V>(s.dzi + u * W);
            l[u].dcr = load<V>(s.dcr + u * W);
            l[u].dci = load<V>(s.dci + u * W);
            l[u].stray = load<V>(s.stray + u * W);
            l[u].dcStray = stray::constantTerm(norm(l[u].dcr, l[u].dci));
            const M m = load<M>(s.m + u * W);
            l[u].j = m + m;
            l[u].busy = load<M>(s.busy + u * W);
            left[u] = load<M>(s.left + u * W);
        }
        unsigned handBack = 0;
        for (int u = 0; u < U; ++u) {
            point(o.twiceZ, l[u]);
            const V zr = 0.5 * l[u].Z2r + l[u].dzr, zi = 0.5 * l[u].Z2i + l[u].dzi;
            handBack |= Bits(top(l[u], o, zr, zi, norm(zr, zi), l[u].busy, s.rebased)) << (u * W);
        }
        // Passes until the first lane reaches its limit (idle lanes never do).
        std::int64_t untilLimit = INT64_MAX;
        for (int lane = 0; lane < L; ++lane)
            untilLimit = s.left[lane] < untilLimit ? s.left[lane] : untilLimit;
        std::int64_t passes = 0;
        DeepLaneEvents events{0, handBack};
        while (events.handBack == 0) {
            passes = quietPasses(l, o, passes, untilLimit);
            // The last of those passes in full. One test a pass: a lane done
            // in it is finished whatever its next top did, and the others
            // rest at the top of the next pass. A lane within rounding of
            // the escape radius goes back undecided, before its top can
            // rebase it: DeepFrame decides it exactly, from the point.
            unsigned done = 0, undecided = 0;
            handBack = 0;
            for (int u = 0; u < U; ++u) {
                Lanes& v = l[u];
                const V zr = 0.5 * v.Z2r + v.dzr, zi = 0.5 * v.Z2i + v.dzi;
                const V nz = norm(zr, zi);
                const M finished = ((left[u] == passes) | (nz > kFourAbove)) & v.busy;
                const unsigned d = Bits(finished);
                const unsigned near = Bits((nz >= kFourBelow) & v.busy) & ~d;
                done |= d << (u * W);
                undecided |= near << (u * W);
                if (near == 0)  // else these lanes take their top in the next step
                    handBack |= Bits(top(v, o, zr, zi, nz, v.busy & ~finished, s.rebased)) << (u * W);
            }
            events.done = done;
            events.undecided = undecided;
            events.handBack = handBack & ~done;
            if ((done | undecided) != 0)
                break;
        }
        for (int u = 0; u < U; ++u) {
            const M m = l[u].j >> 1, stillLeft = left[u] - passes;
            __builtin_memcpy(s.dzr + u * W, &l[u].dzr, sizeof(V));
            __builtin_memcpy(s.dzi + u * W, &l[u].dzi, sizeof(V));
            __builtin_memcpy(s.stray + u * W, &l[u].stray, sizeof(V));
            __builtin_memcpy(s.m + u * W, &m, sizeof(M));
            __builtin_memcpy(s.left + u * W, &stillLeft, sizeof(M));
        }
        return events;
    }
};

// Gathers element by element, for instruction sets without gathers.
template <class V>
struct ElementGather {
    using M = decltype(V{} < V{});
    static constexpr int W = static_cast<int>(sizeof(V) / sizeof(double));

    static void pair(const double* z, M j, V& re, V& im)
    {
        for (int k = 0; k < W; ++k) {
            re[k] = z[j[k]];
            im[k] = z[j[k] + 1];
        }
    }

    static V one(const double* a, M j)
    {
        V v;
        for (int k = 0; k < W; ++k)
            v[k] = a[j[k] >> 1];
        return v;
    }

    static M words(const std::uint64_t* a, M j)
    {
        M v;
        for (int k = 0; k < W; ++k)
            v[k] = static_cast<long long>(a[j[k] >> 1]);
        return v;
    }

    static void pairAt(const double* z, const std::int64_t* at, std::int64_t shift, V& re, V& im)
    {
        for (int k = 0; k < W; ++k) {
            re[k] = z[at[k] + shift];
            im[k] = z[at[k] + shift + 1];
        }
    }
};

template <class V, int U, unsigned (*Bits)(decltype(V{} < V{})), class G = ElementGather<V>>
DeepLaneKernel deepLanes()
{
    return {DeepLanes<V, U, Bits, G>::step, DeepLanes<V, U, Bits, G>::L};
}

} // namespace
