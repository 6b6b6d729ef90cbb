#pragma once

// The lane step of deep pixels, for each deep_lanes_<isa>.cpp to compile
// with its own instruction-set flags: internal linkage, and nothing from the
// standard library, so that no code built for a wider instruction set is
// ever picked for a narrower one.

#include "engine/deep/deep_lanes.h"

namespace {

// V: W doubles as a GCC/clang vector extension type; U vectors side by side,
// whose passes are independent, to hide the latency of each one's chain.
// The arithmetic of a pass is count()'s in doubles, operation for operation.
// Bits(mask) turns a comparison result into one bit per lane; G gathers
// (G::pair: each lane's orbit point, G::one: each lane's double).
template <class V, int U, unsigned (*Bits)(decltype(V{} < V{})), class G>
struct DeepLanes {
    using M = decltype(V{} < V{});
    static constexpr int W = static_cast<int>(sizeof(V) / sizeof(double));
    static constexpr int L = W * U;
    static_assert(L <= kMostDeepLanes, "the state holds the lanes");

    // The lanes' arrays as vectors; __builtin_memcpy back stores them.
    template <class T, class E>
    static T load(const E* lanes)
    {
        T v;
        __builtin_memcpy(&v, lanes, sizeof v);
        return v;
    }

    // Each lane's own orbit point: a gather.
    static void point(const DeepLaneOrbit& o, M m, V& re, V& im) { G::pair(o.z, m, re, im); }

    static V radius(const DeepLaneOrbit& o, M m) { return G::one(o.radii, m); }

    static unsigned bits(const M (&mask)[U])
    {
        unsigned b = 0;
        for (int u = 0; u < U; ++u)
            b |= Bits(mask[u]) << (u * W);
        return b;
    }

    static DeepLaneEvents step(DeepLaneState& s, const DeepLaneOrbit& o)
    {
        V dzr[U], dzi[U], dcr[U], dci[U], Zr[U], Zi[U];
        M m[U], left[U], busy[U];
        for (int u = 0; u < U; ++u) {
            dzr[u] = load<V>(s.dzr + u * W);
            dzi[u] = load<V>(s.dzi + u * W);
            dcr[u] = load<V>(s.dcr + u * W);
            dci[u] = load<V>(s.dci + u * W);
            m[u] = load<M>(s.m + u * W);
            left[u] = load<M>(s.left + u * W);
            busy[u] = load<M>(s.busy + u * W);
        }
        const V zero{}, two = zero + 2.0, four = zero + 4.0, floor = zero + kDeltaFloor;
        const M last = M{} + (o.size - 1);
        const V nearBound = zero + o.nearBound;
        // The top of a pass, where z = Z + dz and nz = |z|^2: rebasing, and
        // the lanes to hand back. The Mandelbrot orbit starts at Z = 0.
        const auto top = [&](int u, V zr, V zi, V nz) {
            const V ndz = dzr[u] * dzr[u] + dzi[u] * dzi[u];
            // Closer to 0 than to the orbit point, the orbit point closer to
            // 0 than the pixel to it, or at the orbit's end: start over. (At
            // the orbit's start, where Z = 0, that changes nothing.)
            const V nZ = Zr[u] * Zr[u] + Zi[u] * Zi[u];
            const M rebase = ((nz < nZ ? nz : nZ) < ndz) | (m[u] == last);
            V ndzNow = ndz;
            if (Bits(rebase) != 0) {  // seldom
                dzr[u] = rebase ? zr : dzr[u];
                dzi[u] = rebase ? zi : dzi[u];
                m[u] = rebase ? M{} : m[u];
                Zr[u] = rebase ? zero : Zr[u];
                Zi[u] = rebase ? zero : Zi[u];
                ndzNow = rebase ? nz : ndz;
            }
            if (Bits((ndzNow < nearBound) & busy[u]) == 0)
                return M{};
            const V ar = dzr[u] < zero ? -dzr[u] : dzr[u], ai = dzi[u] < zero ? -dzi[u] : dzi[u];
            const M outOfRange = (ar > ai ? ar : ai) < floor;
            const M bilinear = ndzNow < radius(o, m[u]);
            return (outOfRange | bilinear) & busy[u];
        };
        M handBack[U];
        for (int u = 0; u < U; ++u) {
            point(o, m[u], Zr[u], Zi[u]);
            const V zr = Zr[u] + dzr[u], zi = Zi[u] + dzi[u];
            handBack[u] = top(u, zr, zi, zr * zr + zi * zi);
        }
        // One test a pass: a lane done in it is finished whatever its next
        // top did, and the others rest at the top of the next pass.
        DeepLaneEvents events{0, bits(handBack)};
        while (events.handBack == 0) {
            M done[U], any = M{};
            for (int u = 0; u < U; ++u) {
                const V tr = two * Zr[u] + dzr[u], ti = two * Zi[u] + dzi[u];
                const V nr = tr * dzr[u] - ti * dzi[u], ni = tr * dzi[u] + ti * dzr[u];
                dzr[u] = nr + dcr[u];
                dzi[u] = ni + dci[u];
                m[u] += 1;
                left[u] -= 1;
                point(o, m[u], Zr[u], Zi[u]);
                const V zr = Zr[u] + dzr[u], zi = Zi[u] + dzi[u];
                const V nz = zr * zr + zi * zi;
                done[u] = ((left[u] == 0) | (nz > four)) & busy[u];
                handBack[u] = top(u, zr, zi, nz);
                any |= done[u] | handBack[u];
            }
            if (Bits(any) == 0)
                continue;
            events.done = bits(done);
            events.handBack = bits(handBack) & ~events.done;
            if (events.done != 0)
                break;
        }
        for (int u = 0; u < U; ++u) {
            __builtin_memcpy(s.dzr + u * W, &dzr[u], sizeof(V));
            __builtin_memcpy(s.dzi + u * W, &dzi[u], sizeof(V));
            __builtin_memcpy(s.m + u * W, &m[u], sizeof(M));
            __builtin_memcpy(s.left + u * W, &left[u], sizeof(M));
        }
        return events;
    }
};

// Gathers element by element, for instruction sets without gathers.
template <class V>
struct ElementGather {
    using M = decltype(V{} < V{});
    static constexpr int W = static_cast<int>(sizeof(V) / sizeof(double));

    static void pair(const double* z, M m, V& re, V& im)
    {
        for (int k = 0; k < W; ++k) {
            re[k] = z[2 * m[k]];
            im[k] = z[2 * m[k] + 1];
        }
    }

    static V one(const double* a, M m)
    {
        V v;
        for (int k = 0; k < W; ++k)
            v[k] = a[m[k]];
        return v;
    }
};

template <class V, int U, unsigned (*Bits)(decltype(V{} < V{})), class G = ElementGather<V>>
DeepLaneKernel deepLanes()
{
    return {DeepLanes<V, U, Bits, G>::step, DeepLanes<V, U, Bits, G>::L};
}

} // namespace
