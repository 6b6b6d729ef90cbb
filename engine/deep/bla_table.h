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
//
// Pixels stepped in the vector lanes (deep_lanes.h) have a cheaper way
// through a few passes than a step: their own passes, whereas a step makes
// them hand the pixel back. So lookups for them leave out steps shorter than
// the table's `leastForLanes` passes, unless a step crosses its whole run
// (the stretch between two returns of the orbit near 0, whose steps merge
// from its start) and the run is that short. Pixels iterated one at a time
// take every step.
struct BlaStep {
    Cx A, B;
    double r = 0.0;   // valid while |dz| < r
    double r2 = 0.0;  // r^2, for deltas in doubles
    std::int64_t len = 0;
};

class BlaTable {
public:
    BlaTable() = default;
    // dcMax bounds |dc| over the frame; zero for a Julia set, whose deltas
    // have no constant term (B is then zero throughout). frameDc is the
    // same bound where doubles may not hold it.
    BlaTable(const ReferenceOrbit& orbit, double dcMax, bool withConstant, const CxExp& frameDc = {},
             std::int64_t leastForLanes = 2);

    // How a lookup's delta is given: with an extended exponent, as |dz|; in
    // doubles, as |dz|^2; or in doubles for a pixel that lanes take on.
    enum class Delta { Extended, Doubles, Lanes };

    bool empty() const { return steps_.empty(); }
    // The longest step from orbit point m that is valid for a delta of
    // magnitude `dz` (of the given kind) and at most `maxLen` long; null
    // when there is none.
    const BlaStep* lookup(std::size_t m, double dz, Delta kind, std::int64_t maxLen, std::int64_t* len) const
    {
        // No longer step from m holds where the shortest does not: most
        // passes need no more than this.
        if (m >= shortest2_.size())
            return nullptr;
        switch (kind) {
        case Delta::Extended:
            if (first_[m] == first_[m + 1] || !(dz < steps_[first_[m]].r))
                return nullptr;
            break;
        case Delta::Doubles:
            if (!(dz < shortest2_[m]))
                return nullptr;
            break;
        case Delta::Lanes:
            if (!(dz < lanes2_[m]))
                return nullptr;
            break;
        }
        return lookupAt(m, dz, kind, maxLen, len);
    }

    // Per orbit point, the |dz|^2 below which a lookup for lanes may find a
    // step; zero where it never does. Ends where the steps do.
    const std::vector<double>& laneRadii2() const { return lanes2_; }

private:
    friend struct BlaTableStore;  // reads and writes the steps as bytes
    const BlaStep* lookupAt(std::size_t m, double dz, Delta kind, std::int64_t maxLen, std::int64_t* len) const;

    // The steps from each orbit point, shortest first: those from m are
    // steps_[first_[m]] up to steps_[first_[m + 1]], each at least twice as
    // long as the one before (single steps are not kept: a pixel that
    // cannot skip two iterations iterates plainly). Lanes take those from
    // steps_[forLanes_[m]] on.
    std::vector<BlaStep> steps_;
    std::vector<std::uint32_t> first_, forLanes_;
    std::vector<double> shortest2_;  // steps_[first_[m]].r2, or zero
    std::vector<double> lanes2_;     // steps_[forLanes_[m]].r2, or zero
};
