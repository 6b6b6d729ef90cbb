#pragma once

#include <cstdint>
#include <vector>

#include "engine/deep/complex_exp.h"
#include "engine/deep/reference_orbit.h"

// Bilinear approximation of z^2 + c along one reference orbit. While a
// pixel's delta dz is small enough, `len` steps from orbit point m are
// dz -> A dz + B dc, up to a relative error of about 2^-53: the square of the
// delta is then below the rounding of the linear terms. Steps of one merge
// pairwise into steps of two, four, eight and so on; each keeps the radius
// below which it is valid, so a pixel near the orbit skips thousands of
// iterations with one multiplication.
struct BlaStep {
    Cx A, B;
    double r = 0.0;   // valid while |dz| < r
    double r2 = 0.0;  // r^2, for deltas in doubles
};

class BlaTable {
public:
    BlaTable() = default;
    // dcMax bounds |dc| over the frame; zero for a Julia set, whose deltas
    // have no constant term (B is then zero throughout).
    BlaTable(const ReferenceOrbit& orbit, double dcMax, bool withConstant);

    bool empty() const { return levels_.empty(); }
    // The longest step from orbit point m (1 <= m) that is valid for a delta
    // of magnitude |dz| (given as |dz|^2 when `squared`) and at most
    // `maxLen` long; null when there is none.
    const BlaStep* lookup(std::size_t m, double dzMagnitude, bool squared, std::int64_t maxLen,
                          std::int64_t* len) const
    {
        // Every step starts at an odd m, and no longer step from m holds
        // where the shortest does not: most passes need no more than this.
        if ((m & 1) == 0 || m >= last_)
            return nullptr;
        const BlaStep& shortest = levels_[0][(m - 1) / 2];
        if (!(dzMagnitude < (squared ? shortest.r2 : shortest.r)))
            return nullptr;
        return lookupAt(m, dzMagnitude, squared, maxLen, len);
    }

    // |dz|^2 below which lookup(m, ...) may find a step; zero where it never does.
    double shortestRadius2(std::size_t m) const
    {
        return (m & 1) == 0 || m >= last_ ? 0.0 : levels_[0][(m - 1) / 2].r2;
    }

private:
    const BlaStep* lookupAt(std::size_t m, double dzMagnitude, bool squared, std::int64_t maxLen,
                            std::int64_t* len) const;

    // levels_[j] holds the steps of length 2^(j+1) (shorter at the end of
    // the orbit) from m = 1 + i * 2^(j+1). Single steps are not kept: a
    // pixel that cannot skip two iterations iterates plainly.
    std::vector<std::vector<BlaStep>> levels_;
    std::size_t last_ = 0;  // the last orbit point a step may reach
};
